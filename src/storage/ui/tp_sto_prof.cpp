#include "storage/ui/tp_sto_prof.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <vector>

#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "params/param_key.h"
#include "shell/config_store.h"
#include "shell/page_context.h"
#include "storage/storage_link.h"
#include "storage/ui/fetch_panel.h"
#include "storage/ui/storage_widgets.h"

namespace kd {

namespace {

// The main window's panels lie over the top of the page.
constexpr int kHeaderHeight = 64;
constexpr int kBarWidth = 84;
constexpr double kZoomFactor = 1.0594630943592953;  // 2^(1/12)
constexpr double kCos30 = 0.86602540378443865;
constexpr double kSin30 = 0.5;
constexpr const char* kRegistryGroup = "StorageProfile";

QRgb RgbOf(uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QColor ColorOf(uint32_t bgr) {
    return QColor::fromRgb(RgbOf(bgr));
}

// "+1.234", "-25.0", "0": a sign and the magnitude, in micrometres as an
// integer or in millimetres with the given decimals.
QString SignedText(int v, bool micrometres, int decimals) {
    const QString sign = v > 0 ? "+" : v < 0 ? "-" : "";
    const int m = std::abs(v);
    return sign + (micrometres ? QString::number(m) : QString::number(m / 1000.0, 'f', decimals));
}

// Rounded down, without a call into the maths library: the pixel
// coordinates stay far inside +-2^24 (what lies beyond is off the image).
inline int Floor(double v) {
    constexpr double kBias = 16777216.0;
    return v <= -kBias ? -int(kBias) : v >= kBias ? int(kBias) : int(v + kBias) - int(kBias);
}

// Lines and points written into the pixels of a 32-bit image.
class TPixels {
  public:
    explicit TPixels(QImage& img)
        : bits_(reinterpret_cast<QRgb*>(img.bits())),
          stride_(img.bytesPerLine() / 4),
          w_(img.width()),
          h_(img.height()) {}
    void Put(int x, int y, QRgb c) {
        if (unsigned(x) < unsigned(w_) && unsigned(y) < unsigned(h_)) bits_[y * stride_ + x] = c;
    }
    void Invert(int x, int y) {
        if (unsigned(x) < unsigned(w_) && unsigned(y) < unsigned(h_))
            bits_[y * stride_ + x] ^= 0x00FFFFFF;
    }
    // Bresenham from (x0, y0), drawn before, to (x1, y1).
    void LineTo(int x0, int y0, int x1, int y1, QRgb c) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        if (dx <= 1 && dy >= -1) {  // neighbours: most points of a profile
            Put(x1, y1, c);
            return;
        }
        // Wholly outside: nothing to walk.
        if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 >= w_ && x1 >= w_) ||
            (y0 >= h_ && y1 >= h_))
            return;
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (int guard = 0; guard < 1 << 16; ++guard) {
            Put(x0, y0, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    int Width() const { return w_; }
    int Height() const { return h_; }

  private:
    QRgb* bits_;
    int stride_, w_, h_;
};

}  // namespace

void DrawProfileSet(QImage& img, const TProfileSet& set, const TProfileView& v) {
    img.fill(QColor(0x20, 0x20, 0x20));
    const double xs = v.Xs, ys = v.Ys, x0 = v.X0, y0 = v.Y0;
    const int held = set.Held();
    const int selected = std::clamp(v.Selected, 0, std::max(held - 1, 0));
    const bool shift = v.View == 1 && v.TimeShift;
    const double selMs = held > 0 ? set.Time(selected) / 10.0 : 0;
    const QSizeF size = img.deviceIndependentSize();
    QPainter p(&img);
    auto field = [&](double dx, double dy, const QColor& fill, const QColor& line) {
        const QPointF pts[4] = {{x0 + dx - 13500 * xs, y0 - dy + 26000 * ys},
                                {x0 + dx + 13500 * xs, y0 - dy + 26000 * ys},
                                {x0 + dx + 8500 * xs, y0 - dy - 26000 * ys},
                                {x0 + dx - 8500 * xs, y0 - dy - 26000 * ys}};
        p.setPen(line);
        p.setBrush(fill);
        p.drawPolygon(pts, 4);
    };
    if (shift && held > 0) {
        // Grid copies every second from the start of the recording, the oldest
        // furthest back and nearest to the background's grey.
        for (double t = 0; t <= selMs; t += 1000) {
            const double dt = selMs - t;
            const double dx = dt * kCos30 * v.Ts, dy = dt * kSin30 * v.Ts;
            const double age = selMs > 0 ? dt / selMs : 0;
            const int shade = int(0x80 - (0x80 - 0x30) * age);
            const QColor c(shade, shade, shade);
            if (x0 + dx - 13500 * xs > size.width() || y0 - dy + 26000 * ys < 0) continue;
            field(dx, dy, QColor(0x20, 0x20, 0x20), c);
            p.setPen(c);
            p.drawText(QPointF(x0 + dx + 13500 * xs + 4, y0 - dy + 26000 * ys),
                       QString("%1 sec").arg(t / 1000, 0, 'f', 3));
        }
    }
    field(0, 0, Qt::black, QColor(0x80, 0x80, 0x80));
    p.setPen(Qt::white);
    p.drawText(QPointF(x0 + 13500 * xs + 4, y0 + 26000 * ys - 4),
               QString("%1sec").arg(selMs / 1000, 0, 'f', 3));
    p.end();

    TPixels px(img);
    const double dpr = img.devicePixelRatio();
    if (held > 0) {
        // The colour of every depth, once per drawing.
        static thread_local std::vector<QRgb> lut(65536);
        for (int z = -32768; z < 32768; ++z)
            lut[size_t(z + 32768)] = RgbOf(DepthColor(z, v.Near, v.Far));
        const double pxs = xs * dpr, pys = ys * dpr;
        auto plot = [&](int i, double dx, double dy) {
            const double ox = (x0 + dx) * dpr, oy = (y0 - dy) * dpr;
            // A profile wholly outside the image is skipped.
            if (ox + 16000 * std::abs(pxs) < 0 || ox - 16000 * std::abs(pxs) >= px.Width() ||
                oy + 33000 * std::abs(pys) < 0 || oy - 33000 * std::abs(pys) >= px.Height())
                return;
            bool joined = false;
            int lx = 0, ly = 0;
            for (const TStoredPoint& pt : set.Points(i)) {
                if (pt.X == kGapCoord || pt.Z == kGapCoord) {
                    joined = false;
                    continue;
                }
                const int qx = Floor(ox + pt.X * pxs);
                const int qy = Floor(oy + pt.Z * pys);
                const QRgb c = lut[size_t(std::clamp(pt.Z, -32768, 32767) + 32768)];
                if (joined)
                    px.LineTo(lx, ly, qx, qy, c);
                else
                    px.Put(qx, qy, c);
                lx = qx;
                ly = qy;
                joined = true;
            }
        };
        if (v.View == 0) {
            plot(selected, 0, 0);
        } else {
            // Oldest first, so that newer profiles lie over older ones.
            const int last = v.View == 2 ? held - 1 : selected;
            for (int i = 0; i <= last; ++i) {
                double dx = 0, dy = 0;
                if (shift) {
                    const double dt = selMs - set.Time(i) / 10.0;
                    dx = dt * kCos30 * v.Ts;
                    dy = dt * kSin30 * v.Ts;
                }
                plot(i, dx, dy);
            }
        }
    }
    QPainter q(&img);
    if (v.DrawAreas) {
        q.setBrush(Qt::NoBrush);
        for (size_t a = 0; a < 4; ++a) {
            const auto& r = v.Areas[a];
            q.setPen(ColorOf(v.AreaColors[a]));
            q.drawRect(QRectF(QPointF(x0 + r[0] * xs, y0 + r[1] * ys),
                              QPointF(x0 + r[2] * xs, y0 + r[3] * ys))
                           .normalized());
        }
    }
    if (v.Cross) {
        // The cursor lines inverted, and where the selected profile crosses
        // them (at most 10 places) the point's coordinates.
        q.end();
        const int cx = int(std::floor((x0 + v.CrossX * xs) * dpr));
        const int cy = int(std::floor((y0 + v.CrossZ * ys) * dpr));
        for (int y = 0; y < px.Height(); ++y) px.Invert(cx, y);
        for (int x = 0; x < px.Width(); ++x)
            if (x != cx) px.Invert(x, cy);
        q.begin(&img);
        int shown = 0;
        if (held > 0) {
            const auto pts = set.Points(selected);
            for (size_t i = 1; i < pts.size() && shown < 10; ++i) {
                const TStoredPoint a = pts[i - 1], b = pts[i];
                if (a.Z == kGapCoord || b.Z == kGapCoord || a.X == kGapCoord || b.X == kGapCoord)
                    continue;
                const bool crossX = (a.X - v.CrossX) * int64_t(b.X - v.CrossX) <= 0 && a.X != b.X;
                const bool crossZ = (a.Z - v.CrossZ) * int64_t(b.Z - v.CrossZ) <= 0 && a.Z != b.Z;
                if (!crossX && !crossZ) continue;
                ++shown;
                const QPointF at(x0 + b.X * xs, y0 + b.Z * ys);
                const QString text = "(" + SignedText(b.X, v.Micrometres, 3) + ", " +
                                     SignedText(b.Z, v.Micrometres, 3) + ")";
                q.setPen(Qt::white);
                q.drawLine(at + QPointF(-5, 0), at + QPointF(5, 0));
                q.drawLine(at + QPointF(0, -5), at + QPointF(0, 5));
                const QPointF t = at + QPointF(6, -4);
                q.setPen(Qt::black);
                q.drawText(t + QPointF(2, 2), text);
                q.setPen(QColor(0x80, 0x80, 0x80));
                q.drawText(t + QPointF(1, 1), text);
                q.setPen(Qt::white);
                q.drawText(t, text);
            }
        }
    }
}

// The chart paint box, three times the scroll box's size; only the part in
// sight is drawn.
class TProfileChart : public QWidget {
  public:
    TProfileChart(TPStoProf& page, QWidget* parent) : QWidget(parent), page_(page) {
        setObjectName("ProfChart");
    }

  protected:
    void paintEvent(QPaintEvent* e) override {
        const QRect r = e->rect();
        QImage img = DeviceImage(this, r.size());
        TProfileView v = page_.ViewState();
        v.X0 -= r.x();
        v.Y0 -= r.y();
        DrawProfileSet(img, *page_.Set, v);
        QPainter(this).drawImage(r.topLeft(), img);
    }
    void mousePressEvent(QMouseEvent* e) override { Track(e); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) Track(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override { Track(e); }

  private:
    void Track(QMouseEvent* e) {
        if (e->button() != Qt::LeftButton && !(e->buttons() & Qt::LeftButton)) return;
        const TProfileView v = page_.ViewState();
        page_.CursorX = int(std::trunc((e->position().x() - v.X0) / page_.XScale));
        page_.CursorZ = int(std::trunc((e->position().y() - v.Y0) / page_.YScale));
        update();
    }
    TPStoProf& page_;
};

// The depth colour bar with its two draggable limits.
class TColorBar : public QWidget {
  public:
    TColorBar(TPStoProf& page, TPageContext& ctx, QWidget* parent)
        : QWidget(parent), page_(page), ctx_(ctx) {
        setObjectName("ColorScale");
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        const int W = width(), H = height();
        if (H <= 0) return;
        QImage img = DeviceImage(this, size());
        img.fill(palette().window().color());
        const int nearZ = page_.Near, farZ = page_.Far;
        const int yN = int((int64_t(nearZ) + 26000) * H / 52000);
        const int yF = int((int64_t(farZ) + 26000) * H / 52000);
        QPainter p(&img);
        for (int y = 0; y < H; ++y) {
            const uint32_t c =
                yN == yF ? 0x0000FF
                         : DepthColor(nearZ + int(int64_t(farZ - nearZ) * (y - yN) / (yF - yN)),
                                      nearZ, farZ);
            p.setPen(ColorOf(c));
            p.drawLine(4, y, W - 5, y);
        }
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        for (int x : {2, W / 2, W - 3}) p.drawLine(x, 0, x, H);
        p.setPen(Qt::black);
        const int th = p.fontMetrics().height();
        const bool um = ctx_.Display.DisplUnit == 1;
        for (int d = -26000; d <= 26000; d += 1000) {
            if (!(d % 25000 == 0 || (d % 5000 == 0 && H / 10 >= 20))) continue;
            const int y = int((int64_t(d) + 26000) * H / 52000) - th / 2;
            p.drawText(QRect(0, y, W - 6, th), Qt::AlignRight | Qt::TextDontClip,
                       SignedText(d, um, 1));
        }
        auto mark = [&](int x1, int y, int x2, const QColor& fill, const QColor& text, int value) {
            p.setPen(Qt::black);
            p.setBrush(fill);
            p.drawRoundedRect(QRect(x1, y - 7, x2 - x1, 14), 4, 4);
            p.setPen(text);
            p.drawText(QRect(x1, y - 7, x2 - x1 - 6, 14),
                       Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip,
                       SignedText(value, um, 1));
        };
        mark(0, yN, W / 2 + 5, QColor(255, 0, 0), Qt::white, nearZ);
        mark(W / 2 - 5, yF, W, QColor(255, 0, 255), QColor(0x80, 0x80, 0x80), farZ);
        p.end();
        QPainter(this).drawImage(0, 0, img);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->position().x() < 20) far_ = false;
        if (e->position().x() > 30) far_ = true;
        Move(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) Move(e);
    }

  private:
    void Move(QMouseEvent* e) {
        const int y = int(e->position().y());
        if (y < 5 || y > height() - 5) return;
        (far_ ? page_.Far : page_.Near) = ColorBarLimit(y, height());
        update();
        page_.LimitsChanged();
    }
    TPStoProf& page_;
    TPageContext& ctx_;
    bool far_ = false;
};

TPStoProf::TPStoProf(TPageContext& ctx, QWidget* parent, TConfigStore* store)
    : QWidget(parent),
      Set(std::make_unique<TProfileSet>()),
      ctx_(ctx),
      zoom_(THeldRepeat::TMode::AfterPress, 300) {
    setObjectName("PStoProf");
    resize(800, 480);
    XScale = ReadStoreDouble(store, kRegistryGroup, "x_scale", 0.01, 1e-6, 1e3);
    YScale = ReadStoreDouble(store, kRegistryGroup, "y_scale", 0.005, 1e-6, 1e3);
    TScale = ReadStoreDouble(store, kRegistryGroup, "t_scale", 0.5, 1e-6, 1e3);
    if (store) {
        Near = std::clamp(store->ReadInt(kRegistryGroup, "NearThreshold").value_or(-25000), -26000,
                          26000);
        Far = std::clamp(store->ReadInt(kRegistryGroup, "FarThreshold").value_or(25000), -26000,
                         26000);
    }
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
    StrProfStart = action("StrProfStart", "Start");
    StrProflRecv = action("StrProflRecv", "Get");
    StrProfSave = action("StrProfSave", "Save");
    StrProfLoad = action("StrProfLoad", "Load");
    StartButton = button("StartButton", "Start");
    StartButton->setCheckable(true);
    BitBtn1 = button("BitBtn1", "Get");
    SaveButton = button("StrProfSaveButton", "Save");
    LoadButton = button("StrProfLoadButton", "Load");
    StrDataClear = button("StrDataClear", "Data Clear");
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
    RadioButton1 = new QRadioButton("1Profile", this);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton2 = new QRadioButton("3D", this);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton2->setChecked(true);
    RadioButton3 = new QRadioButton("OverWrite", this);
    RadioButton3->setObjectName("RadioButton3");
    TimeScaleCheck = new QCheckBox("Time Scale", this);
    TimeScaleCheck->setObjectName("TimeScaleCheck");
    AreaCheck = new QCheckBox("Area", this);
    AreaCheck->setObjectName("AreaCheck");
    CrossCursor = new QCheckBox("dbg:cross cursor", this);
    CrossCursor->setObjectName("CrossCursor");
    CrossCursor->hide();
    TimeScaleCheck->setChecked(store ? store->ReadFlag(kRegistryGroup, "TimeScale").value_or(true)
                                     : true);
    AreaCheck->setChecked(store ? store->ReadFlag(kRegistryGroup, "DrawArea").value_or(true)
                                : true);
    if (store) {
        AutoSaveCheck->setChecked(store->ReadFlag(kRegistryGroup, "AutoSave").value_or(false));
        AutoSaveName =
            QString::fromStdString(store->ReadString(kRegistryGroup, "AutoSaveName").value_or(""));
    }
    const char* const zoomNames[6] = {"ZoomUpHoriz",  "ZoomDownHoriz", "ZoomUpVert",
                                      "ZoomDownVert", "Image2",        "Image3"};
    const char* const zoomGlyphs[6] = {"\u2194+",      "\u2194\u2212", "\u2195+",
                                       "\u2195\u2212", "t+",           "t\u2212"};
    for (int i = 0; i < 6; ++i) {
        ZoomButtons[size_t(i)] = MakeZoomButton(this, zoomNames[i], zoomGlyphs[i]);
        connect(ZoomButtons[size_t(i)], &QToolButton::pressed, this, [this, i] {
            if (const int b = zoom_.Press(i, TickMs()); b >= 0) ZoomStep(b);
        });
        connect(ZoomButtons[size_t(i)], &QToolButton::released, this, [this] {
            if (const int b = zoom_.Release(); b >= 0) ZoomStep(b);
        });
    }
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setRange(0, 0);
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    // The paint box is always larger than the box: both bars always shown.
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ProfChart = new TProfileChart(*this, ScrollBox1);
    ScrollBox1->setWidget(ProfChart);
    ColorScale = new TColorBar(*this, ctx, this);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StrStatusLabel");
    Panel = new TFetchPanel(this);

    for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton3})
        connect(r, &QRadioButton::toggled, this, [this] { ProfChart->update(); });
    for (QCheckBox* c : {TimeScaleCheck, AreaCheck, CrossCursor})
        connect(c, &QCheckBox::toggled, this, [this] { ProfChart->update(); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int v) {
        Edit1->setText(QString::number(v));
        ProfChart->update();
    });
    ConnectStorageControls(
        this, ctx_, Controls(), 2, &AutoSaveName,
        {[this] { StartStop(); }, [this] { Fetch(); }, [this] { Clear(); },
         [this] { UpdateActions(); }, [this](const QString& f) { return Save(f); },
         [this](const QString& f) { return Load(f); }});
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] {
        PollStatus();
        if (const int b = zoom_.Tick(TickMs()); b >= 0) ZoomStep(b);
        if (limitsPending_ && TickMs() - limitsChangedMs_ >= 100) {
            limitsPending_ = false;
            ProfChart->update();
        }
        if (isVisible()) UpdateActions();
    });
    Timer1->start();
    Layout();
    UpdateActions();
}

TPStoProf::~TPStoProf() {
    Panel->Abort();
}

void TPStoProf::SaveRegistry(TConfigStore& store) const {
    store.WriteDouble(kRegistryGroup, "x_scale", XScale);
    store.WriteDouble(kRegistryGroup, "y_scale", YScale);
    store.WriteDouble(kRegistryGroup, "t_scale", TScale);
    store.WriteInt(kRegistryGroup, "NearThreshold", Near);
    store.WriteInt(kRegistryGroup, "FarThreshold", Far);
    store.WriteFlag(kRegistryGroup, "TimeScale", TimeScaleCheck->isChecked());
    store.WriteFlag(kRegistryGroup, "DrawArea", AreaCheck->isChecked());
    store.WriteFlag(kRegistryGroup, "AutoSave", AutoSaveCheck->isChecked());
    store.WriteString(kRegistryGroup, "AutoSaveName", AutoSaveName.toStdString());
}

void TPStoProf::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Layout();
}

void TPStoProf::Layout() {
    const int w = std::max(width(), 400), h = std::max(height(), 300);
    const int top = kHeaderHeight;
    PlaceStorageControls(this, Controls(), StrCountLabel, top);
    RadioButton1->setGeometry(8, top + 40, 104, 22);
    RadioButton2->setGeometry(114, top + 40, 56, 22);
    RadioButton3->setGeometry(172, top + 40, 104, 22);
    TimeScaleCheck->setGeometry(278, top + 40, 108, 22);
    AreaCheck->setGeometry(388, top + 40, 80, 22);
    CrossCursor->setGeometry(470, top + 40, 130, 22);
    for (int i = 0; i < 6; ++i)
        ZoomButtons[size_t(i)]->setGeometry(w - 8 - (6 - i) * 36, top + 38, 34, 24);
    const int chartTop = top + 66;
    const int chartHeight = std::max(60, h - chartTop - 26 - 30 - 4);
    const int chartWidth = w - 16 - kBarWidth - 4;
    ScrollBox1->setGeometry(8, chartTop, chartWidth, chartHeight);
    ColorScale->setGeometry(8 + chartWidth + 4, chartTop, kBarWidth, chartHeight);
    TrackBar1->setGeometry(8, chartTop + chartHeight + 2, w - 16 - 80, 24);
    Edit1->setGeometry(w - 8 - 72, chartTop + chartHeight + 2, 72, 22);
    StatusLabel->setGeometry(8, chartTop + chartHeight + 30, w - 16, 24);
    Panel->setGeometry(w - 548, chartTop + chartHeight + 28, 540, 28);
    // The paint box is three times the box's size, shown from its bottom left.
    const QSize box = ClientSize(ScrollBox1, true, true);
    if (ProfChart->size() != 3 * box) {
        ProfChart->resize(3 * box);
        ScrollBox1->horizontalScrollBar()->setRange(0, 2 * box.width());
        ScrollBox1->verticalScrollBar()->setRange(0, 2 * box.height());
        ScrollBox1->horizontalScrollBar()->setValue(0);
        ScrollBox1->verticalScrollBar()->setValue(2 * box.height());
    }
    ProfChart->update();
}

TProfileView TPStoProf::ViewState() const {
    TProfileView v;
    v.View = View();
    v.Selected = TrackBar1->value();
    v.Xs = XScale;
    v.Ys = YScale;
    v.Ts = TScale;
    v.TimeShift = TimeScaleCheck->isChecked();
    v.Near = Near;
    v.Far = Far;
    v.X0 = 13500 * XScale + 100;
    v.Y0 = ProfChart->height() - 26000 * YScale - 40;
    v.DrawAreas = AreaCheck->isChecked();
    for (size_t a = 0; a < 4; ++a) {
        const std::string n = "A" + std::to_string(a + 1) + ".";
        v.Areas[a] = {ctx_.GetBank(n + "Left"), ctx_.GetBank(n + "Top"), ctx_.GetBank(n + "Right"),
                      ctx_.GetBank(n + "Bottom")};
        v.AreaColors[a] = ctx_.Colors.profile_area_frame_color[a];
    }
    v.Cross = CrossCursor->isVisible() && CrossCursor->isChecked();
    v.CrossX = CursorX;
    v.CrossZ = CursorZ;
    v.Micrometres = ctx_.Display.DisplUnit == 1;
    return v;
}

void TPStoProf::LimitsChanged() {
    limitsPending_ = true;
    limitsChangedMs_ = TickMs();
}

void TPStoProf::ZoomStep(int button) {
    double* scales[3] = {&XScale, &YScale, &TScale};
    double& s = *scales[std::clamp(button / 2, 0, 2)];
    s = button % 2 == 0 ? std::min(s * kZoomFactor, 1e3) : std::max(s / kZoomFactor, 1e-6);
    ProfChart->update();
}

int TPStoProf::View() const {
    if (RadioButton1->isChecked()) return 0;
    if (RadioButton3->isChecked()) return 2;
    return 1;
}

TStorageControls TPStoProf::Controls() const {
    return {StrProfStart, StrProflRecv, StrProfSave, StrProfLoad,  StartButton,
            BitBtn1,      SaveButton,   LoadButton,  StrDataClear, AutoSaveCheck};
}

void TPStoProf::UpdateActions() {
    ShowStorageControls(this, ctx_, Controls(), 2, Panel->Running());
}

void TPStoProf::StartStop() {
    TStorageIo io = StorageIoOf(ctx_, false);
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
    TShellState& st = ctx_.State;
    if (st.LinkState < 2 || !st.StoragePoll || !ctx_.Services.Displ() || st.CameraLive ||
        Panel->Running())
        return;
    if (!isVisible() && st.StorageRunState != 2) return;
    TStorageIo io = StorageIoOf(ctx_, false);
    try {
        TStorageStatus s;
        QueryStorageRun(io, s);
        s.Count = st.StorageCount;  // as the data storage page polled them
        s.Count2 = st.StorageCount2;
        ctx_.Services.EnableDataLog(true);
        if (st.StorageRunState == 0 && s.Run != 0) st.StorageRunState = s.Run;
        const int count = ShownStorageCount(s, st.StorageRepeat, st.SensorVersion, true);
        StrCountLabel->setText(QString::asprintf("%5d/%5d", count, ctx_.Image.GetSys(pk::StrBuf)));
        if (st.StorageRunState == 2 && s.Run == 0) {
            StopStorage(io);
            WriteLog(kLogPlain, "storage DONE");
            st.StorageRunState = 0;
        }
        UpdateActions();
    } catch (const ECommErrCmd&) {
        st.StoragePoll = false;
        st.NewConnection = false;
        ctx_.Services.EnableDataLog(false);
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
    TStorageIo io = StorageIoOf(ctx_, true);
    StrProflRecv->setEnabled(false);
    BitBtn1->setEnabled(false);
    const std::string caption = ctx_.Translate("prof_storage_error", "Profile Storage ERROR");
    ctx_.State.CameraLive = true;  // the polling tick pauses meanwhile
    TFetchOutcome o;
    try {
        o = FetchStoredProfiles(
            io, *Set,
            Panel->Begin(QString::fromStdString(ctx_.Translate("fetch_profiles", "profiles"))));
    } catch (const std::exception& e) {
        ctx_.State.CameraLive = false;
        Panel->End();
        AfterNewSet();
        UpdateActions();
        WriteLog(kLogError, "%s", e.what());
        ctx_.Services.Message(caption, e.what());
        return;
    }
    ctx_.State.CameraLive = false;
    Panel->End();
    AfterNewSet();
    LastMessage = OutcomeText(o, true, ctx_);
    StatusLabel->setText(LastMessage);
    if (!o.Complete()) WriteLog(kLogError, "%s", LastMessage.toStdString().c_str());
    if (!o.Error.empty()) ctx_.Services.Message(caption, o.Error);
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
        ReportStorageFile(ctx_, true, file, e.what());
        return false;
    }
}

bool TPStoProf::Load(const QString& file) {
    std::string text;
    try {
        text = ReadFileAll(file.toStdString(), kStorageCsvLimit);
    } catch (const std::exception& e) {
        ReportStorageFile(ctx_, false, file, e.what());
        return false;
    }
    const uint32_t start = TickMs();
    const TCsvResult r = ReadProfilesCsv(text, *Set);
    WriteLog(kLogPlain, "load prof storage: %dmsec", int(TickMs() - start));
    AfterNewSet();
    if (!r.Ok) {
        LastMessage = PartlyReadText(file, r.Error, Set->Held(), true, ctx_);
        StatusLabel->setText(LastMessage);
        ReportStorageFile(ctx_, false, file,
                          r.Error + " (" + std::to_string(Set->Held()) + " profiles read)");
        return false;
    }
    StatusLabel->setText(QString("%1 profiles read from %2").arg(Set->Held()).arg(file));
    return true;
}

void TPStoProf::Clear() {
    Set->Clear();
    AfterNewSet();
}

}  // namespace kd
