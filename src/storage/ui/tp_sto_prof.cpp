#include "storage/ui/tp_sto_prof.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <cmath>

#include "common/atomic_file.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "params/param_key.h"
#include "shell/page_context.h"
#include "storage/storage_link.h"
#include "storage/ui/fetch_panel.h"

namespace kd {

namespace {

// The main window's header lies over the top of the page.
constexpr int kHeaderHeight = 64;

QRgb RgbOf(uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

constexpr double kCos30 = 0.86602540378443865;
constexpr double kSin30 = 0.5;

}  // namespace

void DrawProfileSet(QImage& img, const TProfileSet& set, int view, int selected, double xs,
                    double ys, double ts, bool timeShift, int nearZ, int farZ) {
    img.fill(QColor(0x20, 0x20, 0x20));
    const int w = img.width(), h = img.height();
    const double x0 = 13500 * xs + 100, y0 = h - 26000 * ys - 40;
    QPainter p(&img);
    auto field = [&](double dx, double dy, QColor fill, QColor line) {
        const QPointF pts[4] = {{x0 + dx - 13500 * xs, y0 - dy + 26000 * ys},
                                {x0 + dx + 13500 * xs, y0 - dy + 26000 * ys},
                                {x0 + dx + 8500 * xs, y0 - dy - 26000 * ys},
                                {x0 + dx - 8500 * xs, y0 - dy - 26000 * ys}};
        p.setPen(line);
        p.setBrush(fill);
        p.drawPolygon(pts, 4);
    };
    const int held = set.Held();
    selected = std::clamp(selected, 0, std::max(held - 1, 0));
    const bool shift = view == 1 && timeShift;
    const double selMs = held > 0 ? set.Time(selected) / 10.0 : 0;
    if (shift && held > 0) {
        // Grid copies every second back to the start, fading with age.
        const double lenMs = set.LengthMs();
        for (double t = std::floor(selMs / 1000) * 1000; t >= 0 && t <= lenMs; t -= 1000) {
            const double dt = selMs - t;
            const double dx = dt * kCos30 * ts, dy = dt * kSin30 * ts;
            if (dx > w + 30000 * xs) break;
            const int shade = std::max(0x30, 0x80 - int(dt / 1000) * 8);
            field(dx, dy, QColor(0x20, 0x20, 0x20), QColor(shade, shade, shade));
            p.setPen(QColor(shade, shade, shade));
            p.drawText(QPointF(x0 + dx + 13500 * xs + 4, y0 - dy + 26000 * ys),
                       QString("%1 sec").arg(t / 1000, 0, 'f', 3));
        }
    }
    field(0, 0, Qt::black, QColor(0x80, 0x80, 0x80));
    p.setPen(Qt::white);
    p.drawText(QPointF(x0 + 13500 * xs + 4, y0 + 26000 * ys - 4),
               QString("%1sec").arg(selMs / 1000, 0, 'f', 3));
    p.end();
    if (held == 0) return;
    auto plot = [&](int i, double dx, double dy) {
        const auto pts = set.Points(i);
        for (const TStoredPoint& pt : pts) {
            if (pt.X == kGapCoord || pt.Z == kGapCoord) continue;
            const int px = int(x0 + dx + pt.X * xs), py = int(y0 - dy + pt.Z * ys);
            if (px < 0 || py < 0 || px >= w || py >= h) continue;
            reinterpret_cast<QRgb*>(img.scanLine(py))[px] = RgbOf(DepthColor(pt.Z, nearZ, farZ));
        }
    };
    if (view == 0) {
        plot(selected, 0, 0);
        return;
    }
    // Oldest first, so that newer profiles lie over older ones.
    for (int i = 0; i <= (view == 2 ? held - 1 : selected); ++i) {
        double dx = 0, dy = 0;
        if (shift) {
            const double dt = selMs - set.Time(i) / 10.0;
            dx = dt * kCos30 * ts;
            dy = dt * kSin30 * ts;
        }
        plot(i, dx, dy);
    }
}

class TProfileChart : public QWidget {
  public:
    TProfileChart(TPStoProf& page, QWidget* parent) : QWidget(parent), page_(page) {
        setObjectName("ProfChart");
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QImage img(size(), QImage::Format_RGB32);
        DrawProfileSet(img, *page_.Set, page_.View(), page_.TrackBar1->value(), page_.XScale,
                       page_.YScale, page_.TScale, page_.TimeScaleCheck->isChecked(), page_.Near,
                       page_.Far);
        QPainter(this).drawImage(0, 0, img);
    }

  private:
    TPStoProf& page_;
};

class TColorBar : public QWidget {
  public:
    TColorBar(TPStoProf& page, QWidget* parent) : QWidget(parent), page_(page) {
        setObjectName("ColorScale");
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        const int W = width(), H = height();
        QImage img(W, H, QImage::Format_RGB32);
        img.fill(palette().window().color());
        const int yN = int((int64_t(page_.Near) + 26000) * H / 52000);
        const int yF = int((int64_t(page_.Far) + 26000) * H / 52000);
        for (int y = 0; y < H; ++y) {
            const uint32_t c = yN == yF
                                   ? 0x0000FF
                                   : DepthColor(page_.Near + int(int64_t(page_.Far - page_.Near) *
                                                                 (y - yN) / (yF - yN)),
                                                page_.Near, page_.Far);
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 4; x < W - 4; ++x) line[x] = RgbOf(c);
        }
        QPainter p(&img);
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        for (int x : {2, W / 2, W - 3}) p.drawLine(x, 0, x, H);
        p.setPen(Qt::black);
        const int th = p.fontMetrics().height();
        for (int d = -26000; d <= 26000; d += 1000) {
            if (!(d % 25000 == 0 || (d % 5000 == 0 && H / 10 >= 20))) continue;
            const int y = int((int64_t(d) + 26000) * H / 52000) - th / 2;
            p.drawText(QRect(0, y, W - 6, th), Qt::AlignRight,
                       QString("%1%2")
                           .arg(d > 0   ? "+"
                                : d < 0 ? "-"
                                        : "")
                           .arg(std::abs(d) / 1000.0, 0, 'f', 1));
        }
        auto mark = [&](int x1, int y, int x2, QColor fill, QColor text, int v) {
            p.setPen(Qt::black);
            p.setBrush(fill);
            p.drawRoundedRect(QRect(x1, y - 7, x2 - x1, 14), 4, 4);
            p.setPen(text);
            p.drawText(QRect(x1, y - 7, x2 - x1 - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(v / 1000.0, 'f', 1));
        };
        mark(0, yN, W / 2 + 5, QColor(255, 0, 0), Qt::white, page_.Near);
        mark(W / 2 - 5, yF, W, QColor(255, 0, 255), QColor(0x80, 0x80, 0x80), page_.Far);
        p.end();
        QPainter(this).drawImage(0, 0, img);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->position().x() < 20) far_ = false;
        if (e->position().x() > 30) far_ = true;
        Move(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override { Move(e); }

  private:
    void Move(QMouseEvent* e) {
        const int y = int(e->position().y());
        if (y < 5 || y > height() - 5) return;
        (far_ ? page_.Far : page_.Near) = ColorBarLimit(y, height());
        update();
        page_.ProfChart->update();
    }
    TPStoProf& page_;
    bool far_ = false;
};

TPStoProf::TPStoProf(TPageContext& ctx, QWidget* parent)
    : QWidget(parent), Set(std::make_unique<TProfileSet>()), ctx_(ctx) {
    setObjectName("PStoProf");
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
    SaveButton = button("StrProfSaveButton", "Save", 168);
    LoadButton = button("StrProfLoadButton", "Load", 248);
    StrDataClear = button("StrDataClear", "Data Clear", 328);
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
    RadioButton1 = new QRadioButton("1Profile", this);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton1->setGeometry(8, 40, 90, 22);
    RadioButton2 = new QRadioButton("3D", this);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton2->setGeometry(100, 40, 60, 22);
    RadioButton2->setChecked(true);
    RadioButton3 = new QRadioButton("OverWrite", this);
    RadioButton3->setObjectName("RadioButton3");
    RadioButton3->setGeometry(162, 40, 100, 22);
    TimeScaleCheck = new QCheckBox("Time Scale", this);
    TimeScaleCheck->setObjectName("TimeScaleCheck");
    TimeScaleCheck->setChecked(true);
    TimeScaleCheck->setGeometry(270, 40, 110, 22);
    AreaCheck = new QCheckBox("Area", this);
    AreaCheck->setObjectName("AreaCheck");
    AreaCheck->setChecked(true);
    AreaCheck->setGeometry(384, 40, 80, 22);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit1->setGeometry(600, 40, 70, 22);
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setGeometry(8, 292, 664, 20);
    TrackBar1->setRange(0, 0);
    ProfChart = new TProfileChart(*this, this);
    ProfChart->setGeometry(8, 66, 604, 224);
    ColorScale = new TColorBar(*this, this);
    ColorScale->setGeometry(616, 66, 56, 224);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StrStatusLabel");
    StatusLabel->setGeometry(8, 316, 664, 22);
    Panel = new TFetchPanel(this);
    Panel->setGeometry(140, 314, 540, 28);

    for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton3})
        connect(r, &QRadioButton::toggled, this, [this] { ProfChart->update(); });
    connect(TimeScaleCheck, &QCheckBox::toggled, this, [this] { ProfChart->update(); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int v) {
        Edit1->setText(QString::number(v));
        ProfChart->update();
    });
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
    startAction->setObjectName("StrProfStart");
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
    recvAction->setObjectName("StrProflRecv");
    addAction(recvAction);
    connect(recvAction, &QAction::triggered, this, [this] {
        if (ctx_.State.StorageRunState == 2)
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
    UpdateActions();
}

TPStoProf::~TPStoProf() {
    Panel->Abort();
}

int TPStoProf::View() const {
    if (RadioButton1->isChecked()) return 0;
    if (RadioButton3->isChecked()) return 2;
    return 1;
}

void TPStoProf::UpdateActions() {
    const int run = ctx_.State.StorageRunState;
    StartButton->setEnabled(ctx_.State.LinkState != 0 && run != 1 && ctx_.State.StoragePoll);
    StartButton->setChecked(run == 2);
    StartButton->setText(findChild<QLabel*>(run == 2 ? "StopLabel" : "StartLabel")->text());
    BitBtn1->setEnabled(ctx_.State.LinkState != 0 && !Panel->Running() && ctx_.State.StoragePoll);
}

void TPStoProf::StartStop() {
    TStorageIo io;
    io.Command = [this](uint16_t code, std::span<const uint8_t> p) {
        return ctx_.Worker.Command(code, p);
    };
    if (ctx_.State.StorageRunState == 0) {
        TStorageSettings s = StorageSettingsOf(ctx_.Image, ctx_.State.SensorVersion);
        s.Rpt = ctx_.State.StorageRepeat;
        StartStorage(io, s, 2);
        ctx_.Image.SetSys(pk::StrTgt, 2);
        ctx_.State.StorageRunState = 2;
    } else {
        StopStorage(io);
        ctx_.State.StorageRunState = 0;
    }
    UpdateActions();
}

void TPStoProf::PollStatus() {
    if (ctx_.State.LinkState < 2 || !ctx_.State.StoragePoll || !ctx_.Services.Displ() ||
        Panel->Running() || (!isVisible() && ctx_.State.StorageRunState != 2))
        return;
    TStorageIo io;
    io.Command = [this](uint16_t code, std::span<const uint8_t> p) {
        return ctx_.Worker.Command(code, p);
    };
    try {
        const TStorageStatus s = QueryStorageStatus(io, ctx_.State.SensorVersion);
        if (ctx_.State.StorageRunState == 0 && s.Run != 0) ctx_.State.StorageRunState = s.Run;
        const int count = ShownStorageCount(s, ctx_.State.StorageRepeat, ctx_.State.SensorVersion);
        StrCountLabel->setText(QString::asprintf("%5d/%5d", count, ctx_.Image.GetSys(pk::StrBuf)));
        if (ctx_.State.StorageRunState == 2 && s.Run == 0) {
            StopStorage(io);
            WriteLog(kLogPlain, "storage DONE");
            ctx_.State.StorageRunState = 0;
            if (pendingFetch_) {
                pendingFetch_ = false;
                UpdateActions();
                Fetch();
            }
        }
        UpdateActions();
    } catch (const ECommErrCmd&) {
        ctx_.State.StoragePoll = false;
        ctx_.Services.UpdateActions();
        UpdateActions();
    } catch (const std::exception& e) {
        WriteLog(kLogError, "StoProf: %s", e.what());
    }
}

void TPStoProf::AfterNewSet() {
    const int held = Set->Held();
    TrackBar1->setRange(0, std::max(held - 1, 0));
    TrackBar1->setValue(std::max(held - 1, 0));
    Edit1->setText(QString::number(TrackBar1->value()));
    ProfChart->update();
}

void TPStoProf::Fetch() {
    if (Panel->Running()) return;
    TStorageIo io;
    io.Command = [this](uint16_t code, std::span<const uint8_t> p) {
        return ctx_.Worker.Command(code, p);
    };
    io.FetchProfile = [this](uint32_t a, std::span<uint16_t> b) {
        if (auto* t = dynamic_cast<TThreadWorker*>(&ctx_.Worker))
            return t->Thread().FetchProfile(a, b, 1);
        // One stored profile: its header first, then the rest.
        std::array<uint16_t, 2> head{};
        ctx_.Worker.MemRead(head.data(), a, 0x111, 2);
        const int count = head[0] >> 5;
        if (count > kProfilePoints) throw ECommError("illegal profile size");
        const int words = 2 * count + 2;
        if (size_t(words) > b.size()) throw ECommError("illegal profile size");
        ctx_.Worker.MemRead(b.data(), a, 0x111, words);
        return count;
    };
    BitBtn1->setEnabled(false);
    ctx_.State.CameraLive = true;  // the polling tick pauses meanwhile
    TFetchOutcome o;
    try {
        o = FetchStoredProfiles(io, *Set, Panel->Begin("profiles"));
    } catch (const std::exception& e) {
        ctx_.State.CameraLive = false;
        Panel->End();
        UpdateActions();
        QMessageBox::warning(this, "Profile Storage ERROR", e.what());
        return;
    }
    ctx_.State.CameraLive = false;
    Panel->End();
    AfterNewSet();
    LastMessage = OutcomeText(o, "profiles");
    StatusLabel->setText(LastMessage);
    if (!o.Error.empty()) {
        WriteLog(kLogError, "%s", LastMessage.toStdString().c_str());
        QMessageBox::warning(this, "Profile Storage ERROR", QString::fromStdString(o.Error));
    }
    if (o.Complete() && o.Total > 0 && AutoSaveCheck->isChecked() && !AutoSaveName.isEmpty())
        Save(QString::fromStdString(AutoSaveFileNameNow(AutoSaveName.toStdString())));
    UpdateActions();
}

bool TPStoProf::Save(const QString& file) {
    try {
        WriteFileAtomic(file.toStdString(), WriteProfilesCsv(*Set, View() == 0));
        StatusLabel->setText(QString("%1 profiles saved to %2")
                                 .arg(View() == 0 ? std::min(1, Set->Held()) : Set->Held())
                                 .arg(file));
        return true;
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
        return false;
    }
}

bool TPStoProf::Load(const QString& file) {
    try {
        const std::string text = ReadFileAll(file.toStdString(), kStorageCsvLimit);
        const TCsvResult r = ReadProfilesCsv(text, *Set);
        AfterNewSet();
        if (!r.Ok) {
            LastMessage = QString("%1: %2 (%3 profiles read)")
                              .arg(file, QString::fromStdString(r.Error))
                              .arg(Set->Held());
            StatusLabel->setText(LastMessage);
            WriteLog(kLogError, "%s", LastMessage.toStdString().c_str());
            return false;
        }
        StatusLabel->setText(QString("%1 profiles read from %2").arg(Set->Held()).arg(file));
        return true;
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
        return false;
    }
}

void TPStoProf::Clear() {
    Set->Clear();
    AfterNewSet();
}

}  // namespace kd
