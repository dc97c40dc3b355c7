#include "storage/ui/tp_sto_displ.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "measure/value_text.h"
#include "pages/storage_logic.h"
#include "params/param_key.h"
#include "shell/config_store.h"
#include "shell/page_context.h"
#include "storage/storage_link.h"
#include "storage/ui/fetch_panel.h"
#include "storage/ui/storage_widgets.h"
#include "storage/ui/tp_sto_sett.h"

namespace kd {

namespace {

// The main window's panels lie over the top of the page.
constexpr int kHeaderHeight = 64;
constexpr int kLeftStrip = 56;
constexpr int kHeadStrip = 16;
constexpr int kFootStrip = 18;
// A widget cannot be larger than 16777215 pixels either way.
constexpr int kMaxChartPixels = 16000000;
constexpr double kZoomFactor = 1.0594630943592953;  // 2^(1/12)
constexpr const char* kRegistryGroup = "DisplProfile";

QColor Bgr(uint32_t c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

const char* const kChannelNames[6] = {"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"};

}  // namespace

// A strip beside the chart (value labels, clock times, cursor marks).
class TChartStrip : public QWidget {
  public:
    TChartStrip(const char* name, QWidget* parent, std::function<void(QPainter&, int, int)> paint)
        : QWidget(parent), paint_(std::move(paint)) {
        setObjectName(name);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QImage img = DeviceImage(this, size());
        img.fill(palette().window().color());
        {
            QPainter p(&img);
            paint_(p, width(), height());
        }
        QPainter(this).drawImage(0, 0, img);
    }

  private:
    std::function<void(QPainter&, int, int)> paint_;
};

// The chart: grids, the trigger mark, the channels and the two cursors. Only
// the part the scroll box shows is drawn.
class TRecordChart : public QWidget {
  public:
    TRecordChart(TPStoDispl& page, TPageContext& ctx, QWidget* parent)
        : QWidget(parent), page_(page), ctx_(ctx) {
        setObjectName("LogChart");
    }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent*) override { drag_ = -1; }

  private:
    void Draw(QPainter& p, QImage& img, const QRect& r);
    TPStoDispl& page_;
    TPageContext& ctx_;
    int drag_ = -1;
};

void TRecordChart::paintEvent(QPaintEvent* e) {
    const QRect r = e->rect();
    QImage img = DeviceImage(this, r.size());
    img.fill(Qt::black);
    {
        QPainter p(&img);
        p.translate(-r.topLeft());
        Draw(p, img, r);
    }
    QPainter(this).drawImage(r.topLeft(), img);
}

void TRecordChart::Draw(QPainter& p, QImage& img, const QRect& r) {
    const int h = height();
    const double low = page_.Range.Low, high = page_.Range.High;
    const double span = high - low;
    if (span <= 0 || h <= 0) return;
    auto yOf = [&](double v) { return h - (v - low) * h / span; };
    auto valueAt = [&](double y) { return low + (h - y) * span / h; };
    // Horizontal grid, a class skipped where its lines would lie closer than
    // 20 pixels; only the lines in sight.
    struct TClass {
        int Step;
        uint32_t Color;
        bool Solid;
    };
    static constexpr TClass kClasses[] = {{100, 0x303030, false},
                                          {1000, 0x606060, false},
                                          {10000, 0x808080, true},
                                          {100000, 0x808080, true}};
    const double vMin = std::max(valueAt(r.bottom() + 1), std::floor(low / 1000) * 1000);
    const double vMax = std::min(valueAt(r.top() - 1), high);
    for (const TClass& c : kClasses) {
        if (double(h) * c.Step / span < 20) continue;
        QPen pen(Bgr(c.Color));
        pen.setStyle(c.Solid ? Qt::SolidLine : Qt::DotLine);
        p.setPen(pen);
        for (double v = std::ceil(vMin / c.Step) * c.Step; v <= vMax; v += c.Step)
            p.drawLine(QPointF(r.left(), yOf(v)), QPointF(r.right() + 1, yOf(v)));
    }
    if (low <= 0 && high >= 0) {
        p.setPen(Bgr(0xC0C0C0));
        p.drawLine(QPointF(r.left(), yOf(0)), QPointF(r.right() + 1, yOf(0)));
    }
    const TRecordSet& rec = page_.Records;
    const double ts = page_.TimeScale;
    if (rec.Count > 0 && ts > 0) {
        const auto first = rec.Stamps[0];
        const double lastMs = (rec.Stamps[size_t(rec.Count - 1)] - first) / 10.0;
        const double t0 = r.left() * ts, t1 = (r.right() + 1) * ts;
        // Vertical grid, counted back from the last record.
        auto timeLines = [&](double step, uint32_t color) {
            p.setPen(Bgr(color));
            const double kFrom = std::max(0.0, std::ceil((lastMs - t1) / step));
            for (double k = kFrom; lastMs - k * step >= std::max(0.0, t0 - ts); k += 1) {
                const double x = (lastMs - k * step) / ts;
                p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom() + 1));
            }
        };
        if (100 / ts >= 10) timeLines(100, 0x101010);
        if (1000 / ts > 10) timeLines(1000, 0x404040);
        if (rec.TriggerMark > 0 && rec.TriggerMark < rec.Count) {
            p.setPen(Bgr(0xFF0000));
            const double x = (rec.Stamps[size_t(rec.TriggerMark)] - first) / 10.0 / ts;
            p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom() + 1));
        }
        // The records in sight, one more on each side for the joining lines.
        const auto stampsEnd = rec.Stamps.begin() + rec.Count;
        const auto from = std::lower_bound(rec.Stamps.begin(), stampsEnd,
                                           first + uint32_t(std::max(0.0, t0) * 10));
        const auto to = std::upper_bound(rec.Stamps.begin(), stampsEnd,
                                         first + uint32_t(std::min(4.0e9, t1 * 10)));
        const int lo = std::max(0, int(from - rec.Stamps.begin()) - 1);
        const int hi = std::min(rec.Count - 1, int(to - rec.Stamps.begin()));
        const qreal dpr = img.devicePixelRatio();
        const int mark = std::max(1, int(std::lround(3 * dpr)));
        for (int c = 0; c < kStoreChannels; ++c) {
            if (!(page_.ChannelMask & (1 << c))) continue;
            const QColor col = Bgr(ctx_.Colors.area_sel_color[size_t(c)]);
            const QRgb rgb = col.rgb();
            p.setPen(col);
            const auto& v = rec.Values[size_t(c)];
            bool newerValue = false;
            uint32_t newerStamp = 0;
            QPolygonF run;
            auto flush = [&] {
                if (run.size() > 1) p.drawPolyline(run);
                run.clear();
            };
            // From the newest record back to the oldest.
            for (int i = hi; i >= lo; --i) {
                const uint32_t st = rec.Stamps[size_t(i)];
                if (v[size_t(i)] == kNoStoredValue) {
                    newerValue = false;
                    newerStamp = st;
                    continue;
                }
                const QPointF pt((st - first) / 10.0 / ts, yOf(v[size_t(i)]));
                if (!JoinedToNewer(newerValue, newerStamp, st)) flush();
                run << pt;
                // The 3 x 3 marker, written into the image's pixels.
                const int px = int(std::floor((pt.x() - 1 - r.left()) * dpr));
                const int py = int(std::floor((pt.y() - 1 - r.top()) * dpr));
                for (int y = std::max(py, 0); y < std::min(py + mark, img.height()); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                    for (int x = std::max(px, 0); x < std::min(px + mark, img.width()); ++x)
                        line[x] = rgb;
                }
                newerValue = true;
                newerStamp = st;
            }
            flush();
        }
    }
    QPen dash(Qt::white);
    dash.setStyle(Qt::DashLine);
    p.setPen(dash);
    for (double c : page_.Cursor) {
        const double x = c / ts;
        p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom() + 1));
    }
}

void TRecordChart::mousePressEvent(QMouseEvent* e) {
    drag_ = -1;
    if (e->button() != Qt::LeftButton) return;
    const double x = e->position().x();
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
    page_.ChartHead->update();
}

TPStoDispl::TPStoDispl(TPageContext& ctx, TPStoSett* settings, QWidget* parent, TConfigStore* store)
    : QWidget(parent),
      SettingsPage(settings),
      ctx_(ctx),
      zoom_(THeldRepeat::TMode::AfterTick, 100) {
    setObjectName("PStoDispl");
    resize(800, 480);
    YScale = ReadStoreDouble(store, kRegistryGroup, "y_scale", 5.0, 1e-6, 1e6);
    TimeScale = ReadStoreDouble(store, kRegistryGroup, "time_scale", 10.0, 1e-4, 1e6);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->lower();

    auto action = [this](const char* name, const char* caption) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        addAction(a);
        return a;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        return b;
    };
    StrDisplStart = action("StrDisplStart", "Start");
    StrDisplRecv = action("StrDisplRecv", "Get");
    StrSave = action("StrSave", "Save");
    StrLoad = action("StrLoad", "Load");
    StartButton = button("StartButton", "Start");
    StartButton->setCheckable(true);
    BitBtn1 = button("BitBtn1", "Get");
    SaveButton = button("StrSaveButton", "Save");
    LoadButton = button("StrLoadButton", "Load");
    StrDataClear = button("StrDataClear", "Clear");
    AutoSaveCheck = new QCheckBox("Auto Save", this);
    AutoSaveCheck->setObjectName("AutoSaveCheck");
    StrCountLabel = new QLabel(this);
    StrCountLabel->setObjectName("StrCountLabel");
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
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, Bgr(ctx_.Colors.area_sel_color[size_t(c)]).darker(160));
        box->setPalette(pal);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) {
            ChannelMask = on ? (ChannelMask | (1 << c)) : (ChannelMask & ~(1 << c));
            LogChart->update();
        });
    }
    const char* const zoomNames[4] = {"ZoomUpVert", "ZoomDownVert", "ZoomUpHoriz", "ZoomDownHoriz"};
    const char* const zoomGlyphs[4] = {"\u2195+", "\u2195\u2212", "\u2194+", "\u2194\u2212"};
    for (int i = 0; i < 4; ++i) {
        ZoomButtons[size_t(i)] = MakeZoomButton(this, zoomNames[i], zoomGlyphs[i]);
        connect(ZoomButtons[size_t(i)], &QToolButton::pressed, this,
                [this, i] { zoom_.Press(i, TickMs()); });
        connect(ZoomButtons[size_t(i)], &QToolButton::released, this, [this] {
            if (const int b = zoom_.Release(); b >= 0) ZoomStep(b);
        });
    }
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setBackgroundRole(QPalette::Dark);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LogChart = new TRecordChart(*this, ctx, ScrollBox1);
    ScrollBox1->setWidget(LogChart);
    ChartLeft = new TChartStrip("ChartLeft", this,
                                [this](QPainter& p, int w, int h) { PaintLeft(p, w, h); });
    ChartFoot = new TChartStrip("ChartFoot", this,
                                [this](QPainter& p, int w, int h) { PaintFoot(p, w, h); });
    ChartHead = new TChartStrip("ChartHead", this,
                                [this](QPainter& p, int w, int h) { PaintHead(p, w, h); });
    connect(ScrollBox1->verticalScrollBar(), &QScrollBar::valueChanged, ChartLeft,
            [this] { ChartLeft->update(); });
    connect(ScrollBox1->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        ChartFoot->update();
        ChartHead->update();
    });
    CursorGrid = new QTableWidget(4, 8, this);
    CursorGrid->setObjectName("CursorGrid");
    CursorGrid->verticalHeader()->hide();
    CursorGrid->horizontalHeader()->hide();
    CursorGrid->verticalHeader()->setDefaultSectionSize(18);
    CursorGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CursorGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CursorGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StrStatusLabel");
    Panel = new TFetchPanel(this);

    ConnectStorageControls(
        this, ctx_, Controls(), 1, &AutoSaveName,
        {[this] { StartStop(); }, [this] { Fetch(); }, [this] { Clear(); },
         [this] { UpdateActions(); }, [this](const QString& f) { return Save(f); },
         [this](const QString& f) { return Load(f); }});
    if (store) {
        AutoSaveCheck->setChecked(store->ReadFlag(kRegistryGroup, "AutoSave").value_or(false));
        AutoSaveName =
            QString::fromStdString(store->ReadString(kRegistryGroup, "AutoSaveName").value_or(""));
    }
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] {
        PollStatus();
        if (const int b = zoom_.Tick(TickMs()); b >= 0) ZoomStep(b);
        if (isVisible()) UpdateActions();
    });
    Timer1->start();
    Records.Reset(0);
    Layout();
    RefreshReadout();
    UpdateActions();
}

TPStoDispl::~TPStoDispl() {
    Panel->Abort();
}

void TPStoDispl::SaveRegistry(TConfigStore& store) const {
    store.WriteDouble(kRegistryGroup, "y_scale", YScale);
    store.WriteDouble(kRegistryGroup, "time_scale", TimeScale);
    store.WriteFlag(kRegistryGroup, "AutoSave", AutoSaveCheck->isChecked());
    store.WriteString(kRegistryGroup, "AutoSaveName", AutoSaveName.toStdString());
}

void TPStoDispl::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Layout();
}

void TPStoDispl::Layout() {
    const int w = std::max(width(), 400), h = std::max(height(), 300);
    const int top = kHeaderHeight;
    PlaceStorageControls(this, Controls(), StrCountLabel, top);
    for (int c = 0; c < 6; ++c)
        if (auto* box = findChild<QCheckBox*>(c < 4 ? QString("Area%1Label").arg(c + 1)
                                                    : QString("Ope%1Label").arg(c - 3)))
            box->setGeometry(8 + c * 84, top + 40, 82, 22);
    for (int i = 0; i < 4; ++i)
        ZoomButtons[size_t(i)]->setGeometry(w - 8 - (4 - i) * 38, top + 38, 36, 24);
    const int chartTop = top + 66;
    const int gridHeight = 4 * 18 + 4, statusHeight = 28;
    const int scrollTop = chartTop + kHeadStrip;
    const int scrollHeight =
        std::max(40, h - scrollTop - kFootStrip - 4 - gridHeight - statusHeight - 4);
    const int scrollLeft = 8 + kLeftStrip;
    const int scrollWidth = w - 8 - scrollLeft;
    ChartHead->setGeometry(scrollLeft, chartTop, scrollWidth, kHeadStrip);
    ScrollBox1->setGeometry(scrollLeft, scrollTop, scrollWidth, scrollHeight);
    ChartLeft->setGeometry(8, scrollTop, kLeftStrip, scrollHeight);
    ChartFoot->setGeometry(scrollLeft, scrollTop + scrollHeight, scrollWidth, kFootStrip);
    const int gridTop = scrollTop + scrollHeight + kFootStrip + 4;
    CursorGrid->setGeometry(8, gridTop, w - 16, gridHeight);
    const int col0 = 40, col = (w - 16 - 4 - col0) / 7;
    CursorGrid->setColumnWidth(0, col0);
    for (int c = 1; c < 8; ++c) CursorGrid->setColumnWidth(c, col);
    StatusLabel->setGeometry(8, gridTop + gridHeight + 2, w - 16, 24);
    Panel->setGeometry(w - 548, gridTop + gridHeight, 540, 28);
    // Without records the chart fills the box; with records it keeps its scales.
    if (Records.Count == 0) {
        const QSize v = ClientSize(ScrollBox1, true, false);
        ResizeChart(v.width(), v.height());
    } else {
        ResizeChart(LogChart->width(), LogChart->height());
    }
}

void TPStoDispl::ResizeChart(int width, int height) {
    const QSize box =
        ClientSize(ScrollBox1, true, height > ClientSize(ScrollBox1, true, false).height());
    if (width > kMaxChartPixels || height > kMaxChartPixels) {
        const std::string why = "a chart of " + std::to_string(width) + " x " +
                                std::to_string(height) + " pixels cannot be made";
        WriteLog(kLogError, "StoDispl: %s", why.c_str());
        if (width > kMaxChartPixels) width = box.width();
        if (height > kMaxChartPixels) height = box.height();
    }
    // A short recording leaves the rest of the box black rather than empty.
    LogChart->resize(std::max(width, box.width()), std::max(height, 1));
    LogChart->update();
    ChartLeft->update();
    ChartFoot->update();
    ChartHead->update();
}

int TPStoDispl::ChartHeight() const {
    return LogChart->height();
}

void TPStoDispl::ZoomStep(int button) {
    switch (button) {
        case 0:
            YScale = std::min(YScale * kZoomFactor, 1e6);
            break;
        case 1:
            YScale = std::max(YScale / kZoomFactor, 1e-6);
            break;
        case 2:
            TimeScale = std::max(TimeScale / kZoomFactor, 1e-4);
            break;
        case 3:
            TimeScale = std::min(TimeScale * kZoomFactor, 1e6);
            break;
        default:
            return;
    }
    const double width = Records.SpanMs() / TimeScale;
    const double height = (Range.High - Range.Low) / 1000 * YScale;
    ResizeChart(int(std::min(width, 2.0e9)), int(std::min(height, 2.0e9)));
}

void TPStoDispl::ShowParams() {
    for (int c = 0; c < 6; ++c) {
        auto* item = new QTableWidgetItem(ChannelCaption(c));
        item->setTextAlignment(Qt::AlignCenter);
        CursorGrid->setItem(0, c + 1, item);
    }
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
    ChartLeft->update();
}

QString TPStoDispl::ChannelCaption(int channel) const {
    const std::string name =
        ctx_.Translate("Ch" + std::to_string(channel + 1) + ".Caption", kChannelNames[channel]);
    const std::string unit = StorageChannelUnit(ctx_, channel);
    return QString::fromStdString(unit.empty() || unit == "?" ? name : name + " [" + unit + "]");
}

TStorageControls TPStoDispl::Controls() const {
    return {StrDisplStart, StrDisplRecv, StrSave,    StrLoad,      StartButton,
            BitBtn1,       SaveButton,   LoadButton, StrDataClear, AutoSaveCheck};
}

void TPStoDispl::UpdateActions() {
    ShowStorageControls(this, ctx_, Controls(), 1, Panel->Running());
}

void TPStoDispl::StartStop() {
    TStorageIo io = StorageIoOf(ctx_, false);
    if (ctx_.State.StorageRunState == 0) {
        TStorageSettings s = StorageSettingsOf(ctx_.Image, ctx_.State.SensorVersion);
        s.Rpt = ctx_.State.StorageRepeat;
        try {
            StartStorage(io, s, 1);
        } catch (...) {
            UpdateActions();
            throw;
        }
        ctx_.Image.SetSys(pk::StrTgt, 1);
        ctx_.State.StorageRunState = 1;
    } else {
        StopStorage(false);
    }
    UpdateActions();
}

void TPStoDispl::StopStorage(bool done) {
    TStorageIo io = StorageIoOf(ctx_, false);
    kd::StopStorage(io);
    if (done) WriteLog(kLogPlain, "storage DONE");
    ctx_.State.StorageRunState = 0;
    UpdateActions();
}

void TPStoDispl::PollStatus() {
    TShellState& st = ctx_.State;
    if (st.LinkState < 2 || !st.StoragePoll || !ctx_.Services.Displ() || st.CameraLive ||
        Panel->Running())
        return;
    // The whole status while a storage page is in sight or a recording runs;
    // otherwise only once after a connect, whether the sensor has a storage.
    const bool inSight = isVisible() || st.CurrentPage == kPageStoDispl ||
                         st.CurrentPage == kPageStoProf || st.StorageRunState != 0;
    if (!inSight && !st.NewConnection) return;
    TStorageIo io = StorageIoOf(ctx_, false);
    try {
        if (!inSight) {
            ctx_.Worker.Command(cmd::GET_STR_STATE);
            st.NewConnection = false;
            ctx_.Services.EnableDataLog(true);
            return;
        }
        const TStorageStatus s = QueryStorageStatus(io, st.SensorVersion);
        st.NewConnection = false;
        ctx_.Services.EnableDataLog(true);
        st.StorageState = s.State;
        st.StorageCount = s.Count;
        st.StorageCount2 = s.Count2;
        if (st.StorageRunState == 0 && s.Run != 0) st.StorageRunState = s.Run;
        const int count = ShownStorageCount(s, st.StorageRepeat, st.SensorVersion);
        StrCountLabel->setText(QString::asprintf("%5d/%5d", count, ctx_.Image.GetSys(pk::StrBuf)));
        if (st.StorageRunState == 1 && s.Run == 0) StopStorage(true);
        UpdateActions();
    } catch (const ECommErrCmd&) {
        // No storage in this sensor: its buttons stay off until the next connect.
        st.StoragePoll = false;
        st.NewConnection = false;
        ctx_.Services.EnableDataLog(false);
        ctx_.Services.UpdateActions();
        UpdateActions();
    } catch (const std::exception& e) {
        WriteLog(kLogError, "StoDispl: %s", e.what());
    }
}

void TPStoDispl::Scale(bool fetched) {
    const double span = Records.SpanMs();
    for (double& c : Cursor) c = std::min(c, span);
    if (span > 0) {
        Range = RangeOfRecords(Records);
        const int box = ClientSize(ScrollBox1, true, false).height();
        YScale = box / (Range.High - Range.Low) * 1000;
        const int width = int(std::min(span / TimeScale, 2.0e9));
        if (fetched) {
            ScrollBox1->verticalScrollBar()->setValue(0);
            ResizeChart(width, box);
        } else {
            ResizeChart(width, int(std::trunc((Range.High - Range.Low) / 1000) * YScale));
        }
        ScrollBox1->horizontalScrollBar()->setValue(0);
    }
    RefreshReadout();
    LogChart->update();
    ChartLeft->update();
    ChartFoot->update();
    ChartHead->update();
}

void TPStoDispl::Fetch() {
    if (Panel->Running()) return;
    TStorageIo io = StorageIoOf(ctx_, false);
    TFetchOutcome o;
    TRecordSet fetched;
    StrDisplRecv->setEnabled(false);
    BitBtn1->setEnabled(false);
    // The window handles its events between blocks: the polling tick pauses
    // meanwhile, so that it takes no link time from the download.
    const bool live = ctx_.State.CameraLive;
    ctx_.State.CameraLive = true;
    try {
        o = FetchStoredRecords(
            io, fetched, ctx_.Image.GetSysSigned(pk::StrStl),
            Panel->Begin(QString::fromStdString(ctx_.Translate("fetch_records", "records"))));
    } catch (const std::exception& e) {
        ctx_.State.CameraLive = live;
        Panel->End();
        UpdateActions();
        ctx_.Services.HandleException(e);
        return;
    }
    ctx_.State.CameraLive = live;
    Panel->End();
    if (o.Total > 0) {
        Records = std::move(fetched);
        LastClock = QDateTime::currentDateTime();
        Scale(true);
    }
    LastMessage = OutcomeText(o, false, ctx_);
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
        ReportStorageFile(ctx_, true, file, e.what());
        return false;
    }
}

bool TPStoDispl::Load(const QString& file) {
    std::string text;
    try {
        text = ReadFileAll(file.toStdString(), kStorageCsvLimit);
    } catch (const std::exception& e) {
        ReportStorageFile(ctx_, false, file, e.what());
        return false;
    }
    const TCsvResult r = ReadRecordsCsv(text, Records);
    LastClock = QFileInfo(file).lastModified();
    Scale(false);
    if (!r.Ok) {
        LastMessage = PartlyReadText(file, r.Error, Records.Count, false, ctx_);
        StatusLabel->setText(LastMessage);
        ReportStorageFile(ctx_, false, file,
                          r.Error + " (" + std::to_string(Records.Count) + " records read)");
        return false;
    }
    StatusLabel->setText(QString("%1 records read from %2").arg(Records.Count).arg(file));
    return true;
}

void TPStoDispl::Clear() {
    Records.Count = 0;
    RefreshReadout();
    LogChart->update();
    ChartFoot->update();
}

void TPStoDispl::RefreshReadout() {
    const char* const rows[3] = {"A", "B", "B-A"};
    std::array<int, 2> at{-1, -1};
    for (int k = 0; k < 2; ++k) {
        if (Records.Count == 0) break;
        const uint32_t target = uint32_t(Cursor[size_t(k)] * 10) + Records.Stamps[0];
        auto it = std::lower_bound(Records.Stamps.begin(), Records.Stamps.begin() + Records.Count,
                                   target);
        at[size_t(k)] = int(std::min<long>(it - Records.Stamps.begin(), Records.Count - 1));
    }
    for (int c = 0; c < 6; ++c)
        if (!CursorGrid->item(0, c + 1))
            CursorGrid->setItem(0, c + 1, new QTableWidgetItem(ChannelCaption(c)));
    const int decimals = ctx_.Display.DisplDecimal;
    for (int row = 0; row < 3; ++row) {
        CursorGrid->setItem(row + 1, 0, new QTableWidgetItem(rows[row]));
        for (int c = 0; c < 6; ++c) {
            const std::string unit = StorageChannelUnit(ctx_, c);
            auto val = [&](int k) {
                return at[size_t(k)] < 0 ? kNoStoredValue
                                         : Records.Values[size_t(c)][size_t(at[size_t(k)])];
            };
            QString t = "---";
            if (row < 2 && val(row) != kNoStoredValue)
                t = QString::fromStdString(FormatValue(val(row), decimals, unit));
            if (row == 2 && val(0) != kNoStoredValue && val(1) != kNoStoredValue)
                t = QString::fromStdString(FormatValue(int64_t(val(1)) - val(0), decimals, unit));
            auto* item = new QTableWidgetItem(t);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            CursorGrid->setItem(row + 1, c + 1, item);
        }
        auto timeText = [](double ms) {
            const int m = int(ms);
            return QString::asprintf("%02d:%02d %03d", m / 60000 % 60, m / 1000 % 60, m % 1000);
        };
        QString t = row < 2 ? timeText(Cursor[size_t(row)])
                            : (Cursor[1] >= Cursor[0] ? "+" : "-") +
                                  timeText(std::abs(Cursor[1] - Cursor[0]));
        auto* item = new QTableWidgetItem(t);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        CursorGrid->setItem(row + 1, 7, item);
    }
}

void TPStoDispl::PaintLeft(QPainter& p, int w, int h) {
    // The value of each grid line, where labels lie at least 50 pixels apart.
    const int ch = LogChart->height();
    const double low = Range.Low, high = Range.High, span = high - low;
    if (span <= 0 || ch <= 0) return;
    int step = 100;
    while (double(ch) * step / span < 50 && step < 1000000000) step *= 10;
    const int offset = ScrollBox1->verticalScrollBar()->value();
    p.setPen(palette().windowText().color());
    const int th = p.fontMetrics().height();
    const bool um = ctx_.Display.DisplUnit == 1;
    for (double v = std::ceil(low / step) * step; v <= high; v += step) {
        const double y = ch - (v - low) * ch / span - offset;
        if (y < -th || y > h + th) continue;
        const QString text = um ? QString::number(qint64(v)) : QString::number(v / 1000.0, 'f', 1);
        p.drawText(QRectF(0, y - th / 2.0, w - 4, th), Qt::AlignRight | Qt::AlignVCenter, text);
    }
}

void TPStoDispl::PaintFoot(QPainter& p, int w, int h) {
    // The clock time of every second counted back from the last record, when
    // a second is more than 10 pixels; labels kept apart by their width.
    if (Records.Count < 1 || TimeScale <= 0 || 1000 / TimeScale <= 10) return;
    const double lastMs = (Records.Stamps[size_t(Records.Count - 1)] - Records.Stamps[0]) / 10.0;
    const int offset = ScrollBox1->horizontalScrollBar()->value();
    p.setPen(palette().windowText().color());
    const int labelWidth = p.fontMetrics().horizontalAdvance("00:00:00") + 12;
    int every = 1;
    for (int n : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600}) {
        every = n;
        if (n * 1000 / TimeScale >= labelWidth) break;
    }
    const double t0 = offset * TimeScale, t1 = (offset + w) * TimeScale;
    const double kFrom = std::max(0.0, std::ceil((lastMs - t1) / 1000));
    for (double k = kFrom; lastMs - k * 1000 >= t0 - labelWidth * TimeScale; k += 1) {
        const double x = (lastMs - k * 1000) / TimeScale - offset;
        const QDateTime at = LastClock.addMSecs(-qint64(k) * 1000);
        p.drawLine(QPointF(x, 0), QPointF(x, 3));
        if (at.toSecsSinceEpoch() % every != 0) continue;
        p.drawText(QRectF(x - labelWidth / 2.0, 2, labelWidth, h - 2), Qt::AlignCenter,
                   at.toString("h:mm:ss"));
    }
}

void TPStoDispl::PaintHead(QPainter& p, int w, int h) {
    (void)w;
    const int offset = ScrollBox1->horizontalScrollBar()->value();
    const char* const names[2] = {"A", "B"};
    for (int k = 0; k < 2; ++k) {
        const double x = Cursor[size_t(k)] / TimeScale - offset;
        const QPointF tri[3] = {{x - 5, 0}, {x + 5, 0}, {x, double(h) - 1}};
        p.setPen(Qt::black);
        p.setBrush(k == 0 ? QColor(0xFF, 0xE0, 0x80) : QColor(0x80, 0xE0, 0xFF));
        p.drawPolygon(tri, 3);
        p.drawText(QRectF(x + 6, 0, 20, h), Qt::AlignLeft | Qt::AlignVCenter, names[k]);
    }
}

}  // namespace kd
