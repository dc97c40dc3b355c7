#include "measure/ui/profile_frame.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "measure/profile_file.h"
#include "measure/ui/colors.h"
#include "measure/ui/device_pixels.h"

namespace kd {

namespace {

constexpr uint32_t kPlotBackground = 0xF0F0F0;
constexpr uint32_t kRangeColor = 0xFFFFFF;
constexpr uint32_t kGridColor = 0xDCDCDC;
constexpr uint32_t kMasterColor = 0xFF0000;
constexpr uint32_t kHCorrectColor = 0xFF0000;
constexpr uint32_t kVCorrectColor = 0xFF00FF;
constexpr uint32_t kTiltColor = 0x008000;

const char* const kAreaKeys[4][6] = {
    {"A1.Func", "A1.Cmp", "A1.Left", "A1.Top", "A1.Right", "A1.Bottom"},
    {"A2.Func", "A2.Cmp", "A2.Left", "A2.Top", "A2.Right", "A2.Bottom"},
    {"A3.Func", "A3.Cmp", "A3.Left", "A3.Top", "A3.Right", "A3.Bottom"},
    {"A4.Func", "A4.Cmp", "A4.Left", "A4.Top", "A4.Right", "A4.Bottom"},
};

Qt::CursorShape CursorShapeOf(CursorKind k) {
    switch (k) {
        case CursorKind::SizeWE:
            return Qt::SizeHorCursor;
        case CursorKind::SizeNS:
            return Qt::SizeVerCursor;
        case CursorKind::SizeNWSE:
            return Qt::SizeFDiagCursor;
        case CursorKind::SizeNESW:
            return Qt::SizeBDiagCursor;
        case CursorKind::SizeAll:
            return Qt::SizeAllCursor;
        case CursorKind::Hand:
            return Qt::PointingHandCursor;
        default:
            return Qt::ArrowCursor;
    }
}

// Zoom image: a double arrow along the axis with a plus or minus.
QIcon ZoomIcon(bool vertical, bool in) {
    QPixmap pm(20, 20);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    if (vertical) {
        p.drawLine(QPointF(6, 2), QPointF(6, 18));
        p.drawPolyline(QPolygonF({QPointF(3, 5), QPointF(6, 2), QPointF(9, 5)}));
        p.drawPolyline(QPolygonF({QPointF(3, 15), QPointF(6, 18), QPointF(9, 15)}));
    } else {
        p.drawLine(QPointF(2, 6), QPointF(18, 6));
        p.drawPolyline(QPolygonF({QPointF(5, 3), QPointF(2, 6), QPointF(5, 9)}));
        p.drawPolyline(QPolygonF({QPointF(15, 3), QPointF(18, 6), QPointF(15, 9)}));
    }
    const QPointF c = vertical ? QPointF(14, 10) : QPointF(10, 14);
    p.setPen(QPen(in ? QColor(0, 110, 0) : QColor(170, 0, 0), 2));
    p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
    if (in) p.drawLine(c + QPointF(0, -3), c + QPointF(0, 3));
    return QIcon(pm);
}

}  // namespace

ProfilePlotWidget::ProfilePlotWidget(TProfileFrame* frame) : QWidget(nullptr), frame_(frame) {
    setObjectName("PaintBox1");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void ProfilePlotWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    frame_->PaintPlot(p, visibleRegion().boundingRect());
}
void ProfilePlotWidget::mousePressEvent(QMouseEvent* e) {
    frame_->MousePress(e);
}
void ProfilePlotWidget::mouseMoveEvent(QMouseEvent* e) {
    frame_->MouseMove(e);
}
void ProfilePlotWidget::mouseReleaseEvent(QMouseEvent* e) {
    frame_->MouseRelease(e);
}
void ProfilePlotWidget::leaveEvent(QEvent*) {
    unsetCursor();
}
void ProfilePlotWidget::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(frame_->LoadProfileAction());
    menu.addAction(frame_->SaveProfileAction());
    if (frame_->ExtraMenu) {
        menu.addSeparator();
        menu.addMenu(frame_->ExtraMenu);
    }
    menu.exec(e->globalPos());
}

TProfileFrame::TProfileFrame(ProfileShared& shared, TPageContext* ctx, QWidget* parent)
    : QFrame(parent), shared_(shared), ctx_(ctx) {
    setObjectName("ProfileFrame");
    redrawTimer_.setSingleShot(true);
    connect(&redrawTimer_, &QTimer::timeout, this, [this] {
        lastRedrawMs_ = redrawClock_.elapsed();
        plot_->update();
    });
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 128));  // teal
    setPalette(pal);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("ScrollBox1");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->viewport()->setAutoFillBackground(true);
    scroll_->viewport()->setPalette(pal);
    plot_ = new ProfilePlotWidget(this);
    scroll_->setWidget(plot_);
    // Scrolling moves the labels' visible edges: repaint the whole plot.
    connect(scroll_->horizontalScrollBar(), &QScrollBar::valueChanged, plot_,
            [this] { plot_->update(); });
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, plot_,
            [this] { plot_->update(); });

    panel_ = new QFrame(this);
    panel_->setObjectName("Panel1");
    panel_->setAutoFillBackground(true);
    QPalette white = panel_->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel_->setPalette(white);
    static const char* const kNames[4] = {"ZoomUpVert", "ZoomDownVert", "ZoomUpHoriz",
                                          "ZoomDownHoriz"};
    int x = 2;
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(panel_);
        b->setObjectName(kNames[i]);
        b->setIcon(ZoomIcon(i < 2, i % 2 == 0));
        b->setAutoRaise(true);
        b->setGeometry(x, 2, 22, 22);
        b->setCursor(i < 2 ? Qt::SizeVerCursor : Qt::SizeHorCursor);
        const int tag = i + 1;
        connect(b, &QToolButton::pressed, this, [this, tag] { zoomState_.Press(tag, TickMs()); });
        connect(b, &QToolButton::released, this, [this] { zoomState_.Release(); });
        zoomButtons_[static_cast<size_t>(i)] = b;
        x += 23;
    }
    fitButton_ = new QPushButton("Fit to Window", panel_);
    fitButton_->setObjectName("FitToWindowButton");
    fitButton_->adjustSize();
    fitButton_->setGeometry(x + 2, 2, fitButton_->width(), 22);
    panel_->resize(x + 4 + fitButton_->width() + 2, 26);
    connect(fitButton_, &QPushButton::clicked, this, [this] { FitToWindowClick(); });

    loadAction_ = new QAction("Load Profile...", this);
    loadAction_->setObjectName("LoadProfile");
    saveAction_ = new QAction("Save Profile...", this);
    saveAction_->setObjectName("SaveProfile");
    connect(loadAction_, &QAction::triggered, this, [this] {
        QString f = QFileDialog::getOpenFileName(this, QString(), QString(), CsvFilter());
        if (!f.isEmpty()) LoadProfileFrom(f.toStdString());
    });
    connect(saveAction_, &QAction::triggered, this, [this] {
        QFileDialog dlg(this, QString(), QString(), CsvFilter());
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix("csv");
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            SaveProfileTo(dlg.selectedFiles().first().toStdString());
    });

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { TimerTick(TickMs()); });
    timer_->start();

    const QScreen* screen = QGuiApplication::primaryScreen();
    scale_ = InitialScale(screen ? screen->geometry().width() : 600);
    ResizePlot();
    UpdateActions();
    resize(320, 240);
}

TProfileFrame::~TProfileFrame() = default;

void TProfileFrame::SetContext(TPageContext* ctx) {
    ctx_ = ctx;
    Redraw();
}

std::span<const ProfilePoint> TProfileFrame::MasterProfile() {
    master_.clear();
    if (!ctx_) return {};
    const int bank = std::clamp(ctx_->State.CurrentBank, 0, kBankCount - 1);
    const int count = std::min<int>(ctx_->Masters.MasterCount[static_cast<size_t>(bank)],
                                    TMasterStore::kMaxCount);
    if (count <= 0) return {};
    const auto& words = ctx_->Masters.MasterWords[static_cast<size_t>(bank)];
    master_.resize(static_cast<size_t>(count));
    // The points follow the record's four header words.
    ProfilePointsFromWords(
        std::span<const uint16_t>(words).subspan(4, 2 * static_cast<size_t>(count)), master_);
    return master_;
}

void TProfileFrame::SetColors(const ProfileColors& c) {
    colors_ = c;
    Redraw();
}

void TProfileFrame::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    scroll_->setGeometry(rect());
    panel_->move(width() - panel_->width(), 0);
    panel_->raise();
}

void TProfileFrame::ResizePlot() {
    plot_->resize(PlotWidth(scale_.X), PlotHeight(scale_.Y));
    stale_ = true;
    plot_->update();
}

void TProfileFrame::SetScaleX(double v) {
    if (v == scale_.X) return;
    scale_.X = v;
    ResizePlot();
}

void TProfileFrame::SetScaleY(double v) {
    if (v == scale_.Y) return;
    scale_.Y = v;
    ResizePlot();
}

void TProfileFrame::Redraw() {
    stale_ = true;
    UpdateActions();
    // Live profiles may come faster than an eye follows them: at most 25
    // repaints a second, the last one always shown.
    const qint64 now = redrawClock_.isValid() ? redrawClock_.elapsed() : -1;
    if (now < 0 || now - lastRedrawMs_ >= kRedrawGapMs) {
        if (!redrawClock_.isValid()) redrawClock_.start();
        lastRedrawMs_ = redrawClock_.elapsed();
        plot_->update();
    } else if (!redrawTimer_.isActive()) {
        redrawTimer_.start(static_cast<int>(kRedrawGapMs - (now - lastRedrawMs_)));
    }
}

void TProfileFrame::UpdateActions() {
    saveAction_->setEnabled(PointCount > 0);
}

void TProfileFrame::SetArea(int index, int left, int top, int right, int bottom) {
    shared_.SetArea(index, left, top, right, bottom);
}

void TProfileFrame::SelectArea(int index) {
    editor_.Select(index, shared_);
}

void TProfileFrame::ZoomBy(int tag) {
    FrameScale s = ZoomStep(tag, scale_);
    SetScaleX(s.X);
    SetScaleY(s.Y);
    WriteLog(kLogPlain, "set Scale=%f, %f", scale_.X, scale_.Y);
}

void TProfileFrame::FitToWindowClick() {
    FrameScale s = FitToWindow(scroll_->width(), scroll_->height(), scale_);
    SetScaleX(s.X);
    SetScaleY(s.Y);
}

void TProfileFrame::TimerTick(uint32_t nowMs) {
    if (ctx_ && ctx_->State.CameraLive) return;
    if (int tag = zoomState_.Tick(nowMs, false)) ZoomBy(tag);
    if (LineMode != 0) {
        blinkSolid_ = nowMs % 300 > 99;
        plot_->update();
    }
}

int TProfileFrame::Bank(const char* key) const {
    return ctx_ ? ctx_->GetBank(key) : 0;
}

int TProfileFrame::Sys(const char* key) const {
    return ctx_ ? ctx_->GetSys(key) : 0;
}

std::pair<int, int> TProfileFrame::AreaShiftPx(int area, bool always) const {
    if (Bank(kAreaKeys[area][1]) == 0 || (!always && EditAreas)) return {0, 0};
    return {TruncInt(OffsetX * scale_.X), TruncInt(OffsetZ * scale_.Y)};
}

const QImage& TProfileFrame::PlotImage() {
    // The image has the screen's pixels (the plot's size times the device
    // pixel ratio) so that lines and text stay sharp at any display scaling;
    // it is drawn in the plot's own pixels.
    const qreal dpr = plot_->devicePixelRatioF();
    const QSize size = DeviceSize(PlotWidth(scale_.X), PlotHeight(scale_.Y), dpr);
    if (image_.size() != size || image_.devicePixelRatio() != dpr) {
        image_ = QImage(size, QImage::Format_RGB32);
        image_.setDevicePixelRatio(dpr);
        stale_ = true;
    }
    if (stale_) {
        DrawPlot(image_);
        stale_ = false;
    }
    return image_;
}

void TProfileFrame::DrawPlot(QImage& img) {
    QPainter p(&img);
    const int w = LogicalExtent(img.width(), img.devicePixelRatio());
    const int h = LogicalExtent(img.height(), img.devicePixelRatio());
    const int cx = w / 2, cy = h / 2;
    const double sx = scale_.X, sy = scale_.Y;
    p.fillRect(QRectF(QPointF(0, 0), img.deviceIndependentSize()), ColorRef(kPlotBackground));

    // Measuring range: wide at the far end (bottom), narrow near the sensor.
    {
        QPolygon range;
        auto pt = [&](int x, int z) {
            return QPoint(cx + TruncInt(x * sx), cy + TruncInt(z * sy));
        };
        range << pt(-13500, 26000) << pt(13500, 26000) << pt(8500, -26000) << pt(-8500, -26000);
        p.setPen(QPen(ColorRef(kRangeColor), 2));
        p.setBrush(ColorRef(kRangeColor));
        p.drawPolygon(range);
    }

    std::array<PixelRect, kAreas> rects{};
    for (int n = 0; n < kAreas; ++n) {
        auto [dx, dy] = AreaShiftPx(n, false);
        rects[static_cast<size_t>(n)] =
            AreaPixelRect(shared_.AreaRects[static_cast<size_t>(n)], scale_, dx, dy);
    }
    auto qrect = [](const PixelRect& r) {
        return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    };
    // Outline of a rectangle covering the pixels left..right-1, top..bottom-1.
    auto frameRect = [&](const PixelRect& r) {
        p.drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
    };
    if (ShowAreas) {
        p.setPen(Qt::NoPen);
        for (int n = 0; n < kAreas; ++n)
            p.fillRect(qrect(rects[static_cast<size_t>(n)]),
                       ColorRef(colors_.AreaSel[static_cast<size_t>(n)]));
        p.setBrush(Qt::NoBrush);
        for (int n = 0; n < kAreas; ++n) {
            const PixelRect& r = rects[static_cast<size_t>(n)];
            if (Bank(kAreaKeys[n][1]) != 0) {
                p.setPen(QPen(ColorRef(colors_.AreaSel[static_cast<size_t>(n)]), 1));
                frameRect({r.Left - 2, r.Top - 2, r.Right + 2, r.Bottom + 2});
            }
            p.setPen(QPen(ColorRef(colors_.AreaFont[static_cast<size_t>(n)]), 1));
            frameRect(r);
            if (MidLineMask & (1u << n)) {
                const int y = (r.Top + r.Bottom) / 2;
                p.drawLine(r.Left, y, r.Right - 1, y);
            }
        }
    }

    // Grid; the lines through the centre are 2 px wide.
    {
        const QColor grid = ColorRef(kGridColor);
        const bool dotsX = 1000 * sx >= 10, dotsY = 1000 * sy >= 10;
        p.setBrush(Qt::NoBrush);
        for (int i = -16; i <= 16; ++i) {
            if (i % 10 != 0 && !dotsX) continue;
            const int x = cx + TruncInt(i * 1000 * sx);
            p.setPen(QPen(grid, i == 0 ? 2 : 1, i % 10 == 0 ? Qt::SolidLine : Qt::DotLine));
            p.drawLine(x, 0, x, h);
        }
        for (int j = -28; j <= 28; ++j) {
            if (j % 10 != 0 && !dotsY) continue;
            const int y = cy + TruncInt(j * 1000 * sy);
            p.setPen(QPen(grid, j == 0 ? 2 : 1, j % 10 == 0 ? Qt::SolidLine : Qt::DotLine));
            p.drawLine(0, y, w, y);
        }
    }

    if (ShowAreas && PointCount > 0) {
        QFont f = p.font();
        f.setPixelSize(11);
        p.setFont(f);
        for (int n = 0; n < kAreas; ++n) {
            const PixelRect& r = rects[static_cast<size_t>(n)];
            const QColor c = ColorRef(colors_.AreaFont[static_cast<size_t>(n)]);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(c, 2));
            frameRect(r);
            if (ShowAreaLabels) {
                const int ty = r.Top + 2 < 1 ? 2 : r.Top + 2;
                p.setPen(c);
                p.drawText(QPoint(r.Left + 2, ty + p.fontMetrics().ascent()),
                           QString("Area%1").arg(n + 1));
            }
            const int16_t result = shared_.AreaResults[static_cast<size_t>(n)];
            if (result == kNoResult) continue;
            p.setPen(QPen(c, 2));
            switch (Bank(kAreaKeys[n][0])) {
                case 0:
                case 1:
                case 2: {
                    const int y = PixelY(result, sy);
                    p.drawLine(r.Left, y, r.Right - 1, y);
                    break;
                }
                case 4:
                case 5:
                case 6:
                case 12: {
                    const int x = PixelX(result, sx);
                    p.drawLine(x, r.Top, x, r.Bottom - 1);
                    break;
                }
                case 8: {
                    const double th = result * M_PI / (128 * 180);
                    const int mx = (r.Left + r.Right) / 2, my = (r.Top + r.Bottom) / 2;
                    p.drawLine(QPointF(mx - 20 * std::cos(th), my - 20 * std::sin(th)),
                               QPointF(mx + 20 * std::cos(th), my + 20 * std::sin(th)));
                    p.setPen(QPen(c, 1));
                    p.drawEllipse(QPoint(mx, my), 20, 20);
                    break;
                }
                default:
                    break;
            }
        }
    }

    if (ShowShiftedAreas) {
        p.setBrush(Qt::NoBrush);
        for (int n = 0; n < kAreas; ++n) {
            if (Bank(kAreaKeys[n][1]) == 0) continue;
            auto [dx, dy] = AreaShiftPx(n, true);
            PixelRect r = AreaPixelRect(shared_.AreaRects[static_cast<size_t>(n)], scale_, dx, dy);
            p.setPen(QPen(ColorRef(colors_.AreaFont[static_cast<size_t>(n)]), 2));
            frameRect(r);
        }
    }

    auto polyline = [&](std::span<const ProfilePoint> pts, int first) {
        ProfilePixels(pts, first, scale_, pixels_);
        ForEachPolylinePiece(pixels_, kPolylinePoints, [&](std::span<const PixelPoint> piece) {
            static_assert(sizeof(PixelPoint) == sizeof(QPoint));
            std::vector<QPoint> q(piece.size());
            for (size_t i = 0; i < piece.size(); ++i) q[i] = QPoint(piece[i].X, piece[i].Y);
            p.drawPolyline(q.data(), static_cast<int>(q.size()));
        });
    };
    const int count = std::clamp(PointCount, 0, kProfileBufferPoints);
    if (count > 1) {
        const bool grey = fromSensor_ && sensorStale_;
        p.setPen(QPen(grey ? QColor(0x90, 0x90, 0x90) : ColorRef(colors_.ProfileLine), 1));
        polyline(
            std::span<const ProfilePoint>(shared_.ProfileBuffer.data(), static_cast<size_t>(count)),
            1);
    }
    if (ShowMaster) {
        std::span<const ProfilePoint> master = MasterProfile();
        if (!master.empty()) {
            p.setPen(QPen(ColorRef(kMasterColor), 1));
            polyline(master, 0);
        }
    }
}

void TProfileFrame::PaintPlot(QPainter& p, const QRect& visible) {
    p.drawImage(0, 0, PlotImage());
    const double sx = scale_.X, sy = scale_.Y;
    const int w = plot_->width(), h = plot_->height();
    const int sel = editor_.SelectedArea;
    if (EditAreas && sel >= 0 && sel < kAreas) {
        const AreaBounds& r = editor_.Working;
        const QColor c = ColorRef(colors_.AreaFont[static_cast<size_t>(sel)]);
        QRect q(QPoint(PixelX(r.Left, sx), PixelY(r.Top, sy)),
                QPoint(PixelX(r.Right, sx), PixelY(r.Bottom, sy)));
        q = q.normalized();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(c, 1, Qt::DotLine));
        p.drawRect(q);
        p.setPen(c);
        QFont f = p.font();
        f.setPixelSize(11);
        p.setFont(f);
        const QFontMetrics fm = p.fontMetrics();
        p.drawText(QPoint(q.left(), q.top() + fm.ascent()),
                   QString::fromStdString(Format("%5d,%5d", r.Left, r.Top)));
        const QString br = QString::fromStdString(Format("%5d,%5d", r.Right, r.Bottom));
        p.drawText(QPoint(q.right() - fm.horizontalAdvance(br), q.bottom() - fm.descent()), br);
    }
    if (ShowCorrectionLines) {
        const int hy = PixelY(Bank("HCorrect"), sy);
        const int vx = PixelX(Bank("VCorrect"), sx);
        const int tx = PixelX(Bank("TiltCorPos"), sx);
        p.setPen(QPen(ColorRef(kHCorrectColor), 1));
        p.drawLine(0, hy, w, hy);
        p.setPen(QPen(ColorRef(kVCorrectColor), 1));
        p.drawLine(vx, 0, vx, h);
        p.setPen(QPen(ColorRef(kTiltColor), 1));
        p.drawLine(tx, 0, tx, h);
    }
    if (LineMode >= 1 && LineMode <= 3) {
        const QColor c = LineMode == 1   ? ColorRef(kHCorrectColor)
                         : LineMode == 2 ? ColorRef(kVCorrectColor)
                                         : QColor(Qt::black);
        p.setPen(QPen(c, 1, blinkSolid_ ? Qt::SolidLine : Qt::DotLine));
        if (LineMode == 1) {
            const int y = PixelY(LinePos, sy);
            p.drawLine(0, y, w, y);
        } else {
            const int x = PixelX(LinePos, sx);
            p.drawLine(x, 0, x, h);
        }
    }
    DrawAxisLabels(p, visible);
}

void TProfileFrame::DrawAxisLabels(QPainter& p, const QRect& visible) {
    if (visible.isEmpty()) return;
    const double sx = scale_.X, sy = scale_.Y;
    const int cx = plot_->width() / 2, cy = plot_->height() / 2;
    const int unit = ctx_ ? ctx_->Display.DisplUnit : 0;
    const int axisDir = Sys("AxisDir");
    QFont f = p.font();
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(Qt::black);
    const QFontMetrics fm = p.fontMetrics();
    const int left = visible.left(), top = visible.top();
    const int right = visible.right() + 1, bottom = visible.bottom() + 1;
    const bool allX = 1000 * sx >= 40, allZ = 1000 * sy >= 20;
    // The zoom panel covers the plot's top-right corner: a top x label under
    // it moves below it, a right z label under it is left out (its copy at
    // the left edge stays).
    const QRect panel =
        panel_->isVisible() ? QRect(plot_->mapFrom(this, panel_->pos()), panel_->size()) : QRect();
    for (int x = -15000; x <= 15000; x += 1000) {
        if (x % 10000 != 0 && !allX) continue;
        const QString t = QString::fromStdString(AxisLabelText(x, unit));
        const int tw = fm.horizontalAdvance(t);
        const int px = cx + TruncInt(x * sx) - tw / 2;
        const int ty =
            QRect(px, top + 1, tw, fm.height()).intersects(panel) ? panel.bottom() + 2 : top + 1;
        p.drawText(QPoint(px, ty + fm.ascent()), t);
        p.drawText(QPoint(px, bottom - 1 - fm.descent()), t);
    }
    for (int z = -28000; z <= 28000; z += 1000) {
        if (z % 10000 != 0 && !allZ) continue;
        const QString t = QString::fromStdString(ZAxisLabelText(z, axisDir, unit));
        const int tw = fm.horizontalAdvance(t);
        const int ty = cy + TruncInt(z * sy) - fm.height() / 2;
        p.drawText(QPoint(left + 1, ty + fm.ascent()), t);
        if (!QRect(right - 1 - tw, ty, tw, fm.height()).intersects(panel))
            p.drawText(QPoint(right - 1 - tw, ty + fm.ascent()), t);
    }
}

void TProfileFrame::MousePress(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const PixelPoint pt{e->position().toPoint().x(), e->position().toPoint().y()};
    if (LineMode != 0 && LineGrabbed(LineMode, LinePos, pt, scale_)) LineDragging = LineMode;
    if (EditAreas) {
        if (editor_.Press(pt, e->modifiers() & Qt::ShiftModifier, shared_, scale_) && OnAreaSelect)
            OnAreaSelect();
        plot_->update();
    }
}

void TProfileFrame::MouseMove(QMouseEvent* e) {
    if (!(scale_.X > 0) || !(scale_.Y > 0)) return;
    const PixelPoint pt{e->position().toPoint().x(), e->position().toPoint().y()};
    const int x = UmX(pt.X, scale_.X), z = UmZ(pt.Y, scale_.Y);
    if (LineMode != 0) {
        if (LineDragging != 0) {
            LineLimits lim;
            if (ctx_) {
                auto limit = [](int key, bool max) {
                    const TParamKey* k = FindKeyIn(TKeyBlock::Bank, key);
                    return k ? static_cast<int>(max ? k->Max : k->Min) : 0;
                };
                lim = {limit(pk::HCorrect, false),   limit(pk::HCorrect, true),
                       limit(pk::VCorrect, false),   limit(pk::VCorrect, true),
                       limit(pk::TiltCorPos, false), limit(pk::TiltCorPos, true)};
            }
            LinePos = LineDragPos(LineMode, x, z, lim, Bank("VCorrect"), Bank("TiltCorPos"));
            plot_->update();
        } else {
            const bool in = LineGrabbed(LineMode, LinePos, pt, scale_);
            plot_->setCursor(!in             ? Qt::ArrowCursor
                             : LineMode == 1 ? Qt::SizeVerCursor
                                             : Qt::SizeHorCursor);
        }
    }
    if (!EditAreas) return;
    if ((e->buttons() & Qt::LeftButton) && editor_.SelectedArea >= 0) {
        if (editor_.Move(pt, shared_, scale_)) plot_->update();
        return;
    }
    if (!editor_.Dragging() && LineMode == 0) {
        const int hit = HitTestArea(x, z, shared_, scale_);
        const int code =
            hit < 0 ? 0 : EdgeCodeAt(x, z, shared_.AreaRects[static_cast<size_t>(hit)]);
        plot_->setCursor(CursorShapeOf(CursorForEdge(code)));
    }
}

void TProfileFrame::MouseRelease(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        plot_->setCursor(Qt::ArrowCursor);
        if (LineDragging != 0) {
            LineDragging = 0;
            plot_->update();
        }
        if (EditAreas) {
            const int area = editor_.Release(shared_);
            try {
                if (area >= 0) FinishAreaDrag(area);
            } catch (const std::exception& ex) {
                // No exception leaves the event handler.
                if (ctx_)
                    ctx_->Services.HandleException(ex);
                else
                    WriteLog(kLogError, "%s", ex.what());
            }
            plot_->update();
        }
    }
    if (OnMouseUp) OnMouseUp(e->button());
}

void TProfileFrame::FinishAreaDrag(int area) {
    if (ctx_ && ctx_->Worker.IsOpen()) {
        const AreaBounds r = shared_.AreaRects[static_cast<size_t>(area)];
        try {
            const AreaRect sent = ctx_->Worker.SetAreaRect(area, r.Left, r.Top, r.Right, r.Bottom);
            ctx_->SetBank(kAreaKeys[area][2], sent.x0);
            ctx_->SetBank(kAreaKeys[area][3], sent.y0);
            ctx_->SetBank(kAreaKeys[area][4], sent.x1);
            ctx_->SetBank(kAreaKeys[area][5], sent.y1);
            Redraw();
        } catch (const ECommErrData&) {
            WriteLog(kLogError, "SetArea; invalid rect");
        }
    }
    if (OnAreaChanged) OnAreaChanged();
}

void TProfileFrame::SetSensorProfileStale(bool stale) {
    if (stale == sensorStale_) return;
    sensorStale_ = stale;
    if (fromSensor_) Redraw();
}

void TProfileFrame::LoadProfileFrom(const std::string& path) {
    try {
        PointCount = LoadProfileFile(path, shared_.ProfileBuffer);
        fromSensor_ = false;
        Redraw();
    } catch (const EKestError& e) {
        ReportFailure(false, path, e);
    }
}

QString TProfileFrame::CsvFilter() const {
    const std::string name = ctx_ ? ctx_->Translate("filter_csv", "CSV file") : "CSV file";
    return QString::fromStdString(name) + "(*.csv)";
}

void TProfileFrame::ReportFailure(bool save, const std::string& path, const std::exception& e) {
    if (ctx_)
        ctx_->Services.ReportFileFailure(save, path, e.what());
    else
        WriteLog(kLogError, "%s", e.what());
}

void TProfileFrame::SaveProfileTo(const std::string& path) {
    try {
        const int n = std::clamp(PointCount, 0, kProfileBufferPoints);
        SaveProfileFile(path, std::span<const ProfilePoint>(shared_.ProfileBuffer.data(),
                                                            static_cast<size_t>(n)));
    } catch (const EKestError& e) {
        ReportFailure(true, path, e);
    }
}

}  // namespace kd
