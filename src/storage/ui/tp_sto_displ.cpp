#include "storage/ui/tp_sto_displ.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "common/atomic_file.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "params/param_key.h"
#include "shell/page_context.h"
#include "storage/storage_link.h"
#include "storage/ui/fetch_panel.h"
#include "storage/ui/tp_sto_sett.h"

namespace kd {

namespace {

// The main window's header lies over the top of the page.
constexpr int kHeaderHeight = 64;

QColor Bgr(uint32_t c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TStorageIo IoOf(TPageContext& ctx) {
    TStorageIo io;
    io.Command = [&ctx](uint16_t code, std::span<const uint8_t> p) {
        return ctx.Worker.Command(code, p);
    };
    io.MemRead = [&ctx](void* b, uint32_t a, uint16_t m, int w) { ctx.Worker.MemRead(b, a, m, w); };
    io.FetchProfile = [](uint32_t, std::span<uint16_t>) -> int {
        throw ECommError("no profile fetch on this page");
    };
    return io;
}

const char* const kChannelNames[6] = {"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"};

}  // namespace

// The chart: grids, the trigger mark, the channels and the two cursors.
class TRecordChart : public QWidget {
  public:
    TRecordChart(TPStoDispl& page, TPageContext& ctx, QWidget* parent)
        : QWidget(parent), page_(page), ctx_(ctx) {
        setObjectName("LogChart");
    }

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent*) override { drag_ = -1; }

  private:
    TPStoDispl& page_;
    TPageContext& ctx_;
    int drag_ = -1;
};

void TRecordChart::paintEvent(QPaintEvent*) {
    QImage img(size(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    const int h = height(), w = width();
    const double low = page_.Range.Low, high = page_.Range.High;
    const double span = high - low;
    auto yOf = [&](double v) { return h - (v - low) * h / span; };
    // Horizontal grid, a class skipped where its lines would lie closer than 20 pixels.
    struct Cls {
        int step;
        uint32_t color;
        bool solid;
    };
    const Cls classes[] = {{100, 0x303030, false},
                           {1000, 0x606060, false},
                           {10000, 0x808080, true},
                           {100000, 0x808080, true}};
    if (span > 0) {
        for (const Cls& c : classes) {
            if (double(h) * c.step / span < 20) continue;
            QPen pen(Bgr(c.color));
            pen.setStyle(c.solid ? Qt::SolidLine : Qt::DotLine);
            p.setPen(pen);
            const long long first = (long long)(std::floor(low / 1000.0)) * 1000;
            for (long long v = first; v <= high; v += c.step)
                p.drawLine(0, int(yOf(double(v))), w, int(yOf(double(v))));
        }
        p.setPen(Bgr(0xC0C0C0));
        p.drawLine(0, int(yOf(0)), w, int(yOf(0)));
    }
    const TRecordSet& r = page_.Records;
    const double ts = page_.TimeScale;
    if (r.Count > 0 && ts > 0) {
        // Vertical grid counted back from the last record.
        const double lastMs = (r.Stamps[size_t(r.Count - 1)] - r.Stamps[0]) / 10.0;
        if (100 / ts >= 10) {
            p.setPen(Bgr(0x101010));
            for (double t = lastMs; t >= 0; t -= 100) p.drawLine(int(t / ts), 0, int(t / ts), h);
        }
        if (1000 / ts > 10) {
            p.setPen(Bgr(0x404040));
            for (double t = lastMs; t >= 0; t -= 1000) p.drawLine(int(t / ts), 0, int(t / ts), h);
        }
        if (r.TriggerMark > 0 && r.TriggerMark < r.Count) {
            p.setPen(Bgr(0xFF0000));
            const double t = (r.Stamps[size_t(r.TriggerMark)] - r.Stamps[0]) / 10.0;
            p.drawLine(int(t / ts), 0, int(t / ts), h);
        }
        for (int c = 0; c < kStoreChannels; ++c) {
            if (!(page_.ChannelMask & (1 << c))) continue;
            const QColor col = Bgr(ctx_.Colors.chart_line_color[size_t(c)]);
            p.setPen(col);
            const auto& v = r.Values[size_t(c)];
            bool prevValue = false;
            uint32_t prevStamp = 0;
            QPointF prev;
            for (int i = r.Count - 1; i >= 0; --i) {
                const uint32_t st = r.Stamps[size_t(i)];
                if (v[size_t(i)] == kNoStoredValue) {
                    prevValue = false;
                    prevStamp = st;
                    continue;
                }
                const QPointF pt((st - r.Stamps[0]) / 10.0 / ts, yOf(v[size_t(i)]));
                if (JoinedToNewer(prevValue, prevStamp, st)) p.drawLine(prev, pt);
                p.fillRect(QRectF(pt.x() - 1, pt.y() - 1, 3, 3), col);
                prev = pt;
                prevValue = true;
                prevStamp = st;
            }
        }
    }
    QPen dash(Qt::white);
    dash.setStyle(Qt::DashLine);
    p.setPen(dash);
    for (double c : page_.Cursor) p.drawLine(int(c / ts), 0, int(c / ts), h);
    p.end();
    QPainter(this).drawImage(0, 0, img);
}

void TRecordChart::mousePressEvent(QMouseEvent* e) {
    const double x = e->position().x();
    drag_ = -1;
    for (int k : {1, 0})
        if (std::abs(page_.Cursor[size_t(k)] / page_.TimeScale - x) <= 10) {
            drag_ = k;
            break;
        }
}

void TRecordChart::mouseMoveEvent(QMouseEvent* e) {
    if (drag_ < 0) return;
    page_.Cursor[size_t(drag_)] = std::max(0.0, e->position().x()) * page_.TimeScale;
    page_.RefreshReadout();
    update();
}

TPStoDispl::TPStoDispl(TPageContext& ctx, TPStoSett* settings, QWidget* parent)
    : QWidget(parent), ctx_(ctx), SettingsPage(settings) {
    setObjectName("PStoDispl");
    resize(680, 420);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setGeometry(0, 0, 680, 420);
    auto button = [this](const char* name, const char* caption, int x) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(x, 6, 76, 28);
        return b;
    };
    StartButton = button("StartButton", "Start", 8);
    StartButton->setCheckable(true);
    BitBtn1 = button("StoGetButton", "Get", 88);
    SaveButton = button("StrSaveButton", "Save", 168);
    LoadButton = button("StrLoadButton", "Load", 248);
    StrDataClear = button("StrDataClear", "Clear", 328);
    AutoSaveCheck = new QCheckBox("Auto Save", this);
    AutoSaveCheck->setObjectName("AutoSaveCheck");
    AutoSaveCheck->setGeometry(412, 8, 110, 24);
    StrCountLabel = new QLabel(this);
    StrCountLabel->setObjectName("StrCountLabel");
    StrCountLabel->setGeometry(530, 8, 140, 24);
    auto* start = new QLabel("Start", this);
    start->setObjectName("StartLabel");
    start->hide();
    auto* stop = new QLabel("Stop", this);
    stop->setObjectName("StopLabel");
    stop->hide();
    for (int c = 0; c < 6; ++c) {
        auto* box = new QCheckBox(kChannelNames[c], this);
        box->setObjectName(c < 4 ? QString("Area%1Label").arg(c + 1)
                                 : QString("Ope%1Label").arg(c - 3));
        box->setProperty("tag", c);
        box->setChecked(true);
        box->setGeometry(8 + c * 80, 40, 78, 22);
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, Bgr(ctx_.Colors.chart_line_color[size_t(c)]));
        box->setPalette(pal);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) {
            ChannelMask = on ? (ChannelMask | (1 << c)) : (ChannelMask & ~(1 << c));
            LogChart->update();
        });
    }
    LogChart = new TRecordChart(*this, ctx, this);
    LogChart->setGeometry(8, 66, 664, 180);
    CursorGrid = new QTableWidget(3, 8, this);
    CursorGrid->setObjectName("CursorGrid");
    CursorGrid->setGeometry(8, 250, 664, 74);
    CursorGrid->verticalHeader()->hide();
    CursorGrid->horizontalHeader()->setDefaultSectionSize(82);
    CursorGrid->verticalHeader()->setDefaultSectionSize(18);
    CursorGrid->horizontalHeader()->hide();
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StrStatusLabel");
    StatusLabel->setGeometry(8, 328, 664, 22);
    Panel = new TFetchPanel(this);
    Panel->setGeometry(140, 326, 540, 28);

    connect(StartButton, &QPushButton::clicked, this, [this] {
        try {
            StartStop();
        } catch (const std::exception& e) {
            UpdateActions();
            ctx_.Services.HandleException(e);
        }
    });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { Fetch(); });
    // The page's actions. Get asked for while this page's recording runs
    // fetches once the sensor has finished it.
    auto* startAction = new QAction("Start", this);
    startAction->setObjectName("StrDisplStart");
    addAction(startAction);
    connect(startAction, &QAction::triggered, this, [this] {
        try {
            StartStop();
        } catch (const std::exception& e) {
            UpdateActions();
            ctx_.Services.HandleException(e);
        }
    });
    auto* recvAction = new QAction("Get", this);
    recvAction->setObjectName("StrDisplRecv");
    addAction(recvAction);
    connect(recvAction, &QAction::triggered, this, [this] {
        if (ctx_.State.StorageRunState == 1)
            pendingFetch_ = true;
        else
            Fetch();
    });
    connect(SaveButton, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getSaveFileName(this, {}, {}, "CSV file(*.csv)");
        if (!f.isEmpty()) Save(f.endsWith(".csv") ? f : f + ".csv");
    });
    connect(LoadButton, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, {}, {}, "CSV file(*.csv)");
        if (!f.isEmpty()) Load(f);
    });
    connect(StrDataClear, &QPushButton::clicked, this, [this] { Clear(); });
    connect(AutoSaveCheck, &QCheckBox::clicked, this, [this](bool on) {
        if (!on) return;
        const QString f = QFileDialog::getSaveFileName(this, {}, AutoSaveName, "CSV file(*.csv)");
        if (f.isEmpty())
            AutoSaveCheck->setChecked(false);
        else
            AutoSaveName = f;
    });
    for (QWidget* c : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (c != bevel) c->move(c->x(), c->y() + kHeaderHeight);
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { PollStatus(); });
    Timer1->start();
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (isVisible()) UpdateActions();
    });
    Records.Reset(0);
    RefreshReadout();
    UpdateActions();
}

void TPStoDispl::ShowParams() {
    CursorGrid->setItem(
        0, 7, new QTableWidgetItem(QString::fromStdString(ctx_.Translate("time", "time"))));
    if (ctx_.State.LinkState != 0 && SettingsPage) {
        try {
            SettingsPage->ReadBack();
        } catch (const std::exception& e) {
            ctx_.Services.HandleException(e);
        }
    }
    RefreshReadout();
}

void TPStoDispl::UpdateActions() {
    const int run = ctx_.State.StorageRunState;
    StartButton->setEnabled(ctx_.State.LinkState != 0 && run != 2 && ctx_.State.StoragePoll);
    StartButton->setChecked(run == 1);
    StartButton->setText(findChild<QLabel*>(run == 1 ? "StopLabel" : "StartLabel")->text());
    BitBtn1->setEnabled(ctx_.State.LinkState != 0 && !Panel->Running() && ctx_.State.StoragePoll);
}

void TPStoDispl::StartStop() {
    TStorageIo io = IoOf(ctx_);
    if (ctx_.State.StorageRunState == 0) {
        TStorageSettings s = StorageSettingsOf(ctx_.Image, ctx_.State.SensorVersion);
        s.Rpt = ctx_.State.StorageRepeat;
        StartStorage(io, s, 1);
        ctx_.Image.SetSys(pk::StrTgt, 1);
        ctx_.State.StorageRunState = 1;
    } else {
        StopStorage(false);
    }
    UpdateActions();
}

void TPStoDispl::StopStorage(bool done) {
    TStorageIo io = IoOf(ctx_);
    kd::StopStorage(io);
    if (done) WriteLog(kLogPlain, "storage DONE");
    ctx_.State.StorageRunState = 0;
    UpdateActions();
}

void TPStoDispl::PollStatus() {
    if (ctx_.State.LinkState < 2 || !ctx_.State.StoragePoll || !ctx_.Services.Displ() ||
        Panel->Running() || (!isVisible() && ctx_.State.StorageRunState != 1))
        return;
    try {
        TStorageIo io = IoOf(ctx_);
        const TStorageStatus s = QueryStorageStatus(io, ctx_.State.SensorVersion);
        if (ctx_.State.StorageRunState == 0 && s.Run != 0) ctx_.State.StorageRunState = s.Run;
        lastCount_ = ShownStorageCount(s, ctx_.State.StorageRepeat, ctx_.State.SensorVersion);
        StrCountLabel->setText(
            QString::asprintf("%5d/%5d", lastCount_, ctx_.Image.GetSys(pk::StrBuf)));
        if (ctx_.State.StorageRunState == 1 && s.Run == 0) {
            StopStorage(true);
            if (pendingFetch_) {
                pendingFetch_ = false;
                Fetch();
            }
        }
        UpdateActions();
    } catch (const ECommErrCmd&) {
        ctx_.State.StoragePoll = false;  // no storage in this sensor, until the next connect
        ctx_.Services.UpdateActions();
        UpdateActions();
    } catch (const std::exception& e) {
        WriteLog(kLogError, "StoDispl: %s", e.what());
    }
}

void TPStoDispl::Scale() {
    Range = RangeOfRecords(Records);
    const double span = Records.SpanMs();
    for (double& c : Cursor) c = std::min(c, span);
    if (span > 0) TimeScale = std::max(span / std::max(LogChart->width() - 1, 1), 1e-3);
    RefreshReadout();
    LogChart->update();
}

void TPStoDispl::Fetch() {
    if (Panel->Running()) return;
    TStorageIo io = IoOf(ctx_);
    TFetchOutcome o;
    TRecordSet fetched;
    BitBtn1->setEnabled(false);
    try {
        o = FetchStoredRecords(io, fetched, ctx_.Image.GetSys(pk::StrStl), Panel->Begin("records"));
    } catch (const std::exception& e) {
        Panel->End();
        UpdateActions();
        ctx_.Services.HandleException(e);
        return;
    }
    Panel->End();
    if (o.Total > 0) {
        Records = std::move(fetched);
        Scale();
    }
    LastMessage = OutcomeText(o, "records");
    StatusLabel->setText(LastMessage);
    if (!o.Complete()) WriteLog(kLogError, "%s", LastMessage.toStdString().c_str());
    // A partial set is never auto-saved as if it were whole.
    if (o.Complete() && o.Total > 0 && AutoSaveCheck->isChecked() && !AutoSaveName.isEmpty())
        Save(QString::fromStdString(AutoSaveFileNameNow(AutoSaveName.toStdString())));
    UpdateActions();
}

bool TPStoDispl::Save(const QString& file) {
    try {
        WriteFileAtomic(file.toStdString(), WriteRecordsCsv(Records));
        StatusLabel->setText(QString("%1 records saved to %2").arg(Records.Count).arg(file));
        return true;
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
        return false;
    }
}

bool TPStoDispl::Load(const QString& file) {
    try {
        const std::string text = ReadFileAll(file.toStdString(), kStorageCsvLimit);
        const TCsvResult r = ReadRecordsCsv(text, Records);
        Scale();
        if (!r.Ok) {
            LastMessage = QString("%1: %2 (%3 records read)")
                              .arg(file, QString::fromStdString(r.Error))
                              .arg(Records.Count);
            StatusLabel->setText(LastMessage);
            WriteLog(kLogError, "%s", LastMessage.toStdString().c_str());
            return false;
        }
        StatusLabel->setText(QString("%1 records read from %2").arg(Records.Count).arg(file));
        return true;
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
        return false;
    }
}

void TPStoDispl::Clear() {
    Records.Count = 0;
    Scale();
}

void TPStoDispl::RefreshReadout() {
    for (int c = 0; c < 6; ++c)
        CursorGrid->setItem(0, c + 1, new QTableWidgetItem(kChannelNames[c]));
    const char* const rows[3] = {"A", "B", "B-A"};
    std::array<int, 2> at{-1, -1};
    for (int k = 0; k < 2; ++k) {
        if (Records.Count == 0) break;
        const uint32_t target = uint32_t(Cursor[size_t(k)] * 10) + Records.Stamps[0];
        auto it = std::lower_bound(Records.Stamps.begin(), Records.Stamps.begin() + Records.Count,
                                   target);
        at[size_t(k)] = int(std::min<long>(it - Records.Stamps.begin(), Records.Count - 1));
    }
    CursorGrid->setRowCount(4);
    for (int row = 0; row < 3; ++row) {
        CursorGrid->setItem(row + 1, 0, new QTableWidgetItem(rows[row]));
        for (int c = 0; c < 6; ++c) {
            QString t = "---";
            auto val = [&](int k) {
                return at[size_t(k)] < 0 ? kNoStoredValue
                                         : Records.Values[size_t(c)][size_t(at[size_t(k)])];
            };
            if (row < 2 && val(row) != kNoStoredValue)
                t = QString::number(val(row) / 1000.0, 'f', 3);
            if (row == 2 && val(0) != kNoStoredValue && val(1) != kNoStoredValue)
                t = QString::number((double(val(1)) - val(0)) / 1000.0, 'f', 3);
            CursorGrid->setItem(row + 1, c + 1, new QTableWidgetItem(t));
        }
        auto timeText = [](double ms) {
            const int m = int(ms);
            return QString::asprintf("%02d:%02d %03d", m / 60000 % 60, m / 1000 % 60, m % 1000);
        };
        QString t = row < 2 ? timeText(Cursor[size_t(row)])
                            : (Cursor[1] >= Cursor[0] ? "+" : "-") +
                                  timeText(std::abs(Cursor[1] - Cursor[0]));
        CursorGrid->setItem(row + 1, 7, new QTableWidgetItem(t));
    }
}

}  // namespace kd
