#include "measure/ui/chart_frame.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/chart_geometry.h"
#include "measure/ui/colors.h"
#include "measure/ui/device_pixels.h"

namespace kd {

namespace {
QIcon ChartZoomIcon(bool vertical, bool in) {
    QPixmap pm(16, 16);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setPen(QPen(Qt::white, 1));
    if (vertical) {
        p.drawLine(4, 1, 4, 14);
        p.drawLine(2, 3, 4, 1);
        p.drawLine(6, 3, 4, 1);
        p.drawLine(2, 12, 4, 14);
        p.drawLine(6, 12, 4, 14);
    } else {
        p.drawLine(1, 4, 14, 4);
        p.drawLine(3, 2, 1, 4);
        p.drawLine(3, 6, 1, 4);
        p.drawLine(12, 2, 14, 4);
        p.drawLine(12, 6, 14, 4);
    }
    p.setPen(QPen(in ? QColor(80, 255, 80) : QColor(255, 90, 90), 2));
    const QPoint c = vertical ? QPoint(11, 8) : QPoint(8, 11);
    p.drawLine(c + QPoint(-3, 0), c + QPoint(3, 0));
    if (in) p.drawLine(c + QPoint(0, -3), c + QPoint(0, 3));
    return QIcon(pm);
}
}  // namespace

ChartPaintBox::ChartPaintBox(TChartFrame* frame) : QWidget(frame), frame_(frame) {
    setObjectName("PaintBox1");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartPaintBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, frame_->BackBitmap());
}

void ChartPaintBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) setCursor(Qt::PointingHandCursor);
}

void ChartPaintBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) unsetCursor();
}

TChartFrame::TChartFrame(QWidget* parent) : QFrame(parent) {
    setObjectName("ChartFrame");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 128));  // teal
    setPalette(pal);
    paintBox_ = new ChartPaintBox(this);
    panel_ = new QFrame(this);
    panel_->setObjectName("Panel1");
    panel_->setAutoFillBackground(true);
    QPalette black = panel_->palette();
    black.setColor(QPalette::Window, Qt::black);
    panel_->setPalette(black);
    struct B {
        const char* name;
        bool vertical, in;
        void (TChartFrame::*click)();
    };
    const B buttons[4] = {{"ZoomUpVert", true, true, &TChartFrame::ZoomUpVertClick},
                          {"ZoomDownVert", true, false, &TChartFrame::ZoomDownVertClick},
                          {"ZoomUpHoriz", false, true, &TChartFrame::ZoomUpHorizClick},
                          {"ZoomDownHoriz", false, false, &TChartFrame::ZoomDownHorizClick}};
    int x = 1;
    for (const B& b : buttons) {
        auto* t = new QToolButton(panel_);
        t->setObjectName(b.name);
        t->setIcon(ChartZoomIcon(b.vertical, b.in));
        t->setAutoRaise(true);
        t->setGeometry(x, 1, 20, 20);
        if (b.vertical)
            t->setCursor(Qt::SizeVerCursor);
        else if (b.in)
            t->setCursor(Qt::SizeHorCursor);
        auto click = b.click;
        connect(t, &QToolButton::clicked, this, [this, click] { (this->*click)(); });
        x += 21;
    }
    panel_->resize(x + 1, 22);
    resize(320, 240);
}

void TChartFrame::SetColors(const ChartColors& c) {
    colors_ = c;
    Refresh();
}

void TChartFrame::SetHScale(double x) {
    if (x == hScale_) return;
    if (!(x >= kChartMinScale && x <= kChartMaxScale)) throw EKestError("chart scale error");
    hScale_ = x;
    Refresh();
}

void TChartFrame::SetVScale(double x) {
    if (x == vScale_) return;
    if (!(x >= kChartMinScale && x <= kChartMaxScale)) throw EKestError("chart scale error");
    vScale_ = x;
    Refresh();
}

void TChartFrame::Refresh() {
    dirty_ = true;
    paintBox_->update();
}

void TChartFrame::Zoom(bool vertical, double factor) {
    try {
        if (vertical)
            SetVScale(vScale_ * factor);
        else
            SetHScale(hScale_ * factor);
        WriteLog(kLogPlain, "set Scale=%f, %f", hScale_, vScale_);
    } catch (const EKestError& e) {
        WriteLog(kLogError, "%s", e.what());
    }
}

void TChartFrame::ZoomUpVertClick() {
    Zoom(true, 2.0);
}
void TChartFrame::ZoomDownVertClick() {
    Zoom(true, 0.5);
}
void TChartFrame::ZoomUpHorizClick() {
    Zoom(false, 2.0);
}
void TChartFrame::ZoomDownHorizClick() {
    Zoom(false, 0.5);
}

void TChartFrame::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    const int w = std::max(width() - 4, 1), h = std::max(height() - 4, 1);
    paintBox_->setGeometry(2, 2, w, h);
    back_ = QImage();  // made anew, in the screen's pixels, at the next paint
    panel_->move(width() - panel_->width() - 2, 2);
    panel_->raise();
    Refresh();
}

const QImage& TChartFrame::BackBitmap() {
    // In the screen's pixels (the paint box's size times the device pixel
    // ratio), drawn in the paint box's own pixels: sharp at any scaling.
    const qreal dpr = paintBox_->devicePixelRatioF();
    const QSize size = DeviceSize(width() - 4, height() - 4, dpr);
    if (back_.size() != size || back_.devicePixelRatio() != dpr) {
        back_ = QImage(size, QImage::Format_RGB32);
        back_.setDevicePixelRatio(dpr);
        dirty_ = true;
    }
    if (dirty_) {
        DrawChart(back_);
        dirty_ = false;
    }
    return back_;
}

void TChartFrame::DrawChart(QImage& img) {
    QPainter p(&img);
    const int W = LogicalExtent(img.width(), img.devicePixelRatio());
    const int H = LogicalExtent(img.height(), img.devicePixelRatio());
    p.fillRect(QRectF(QPointF(0, 0), img.deviceIndependentSize()), ColorRef(colors_.Background));
    QFont f = p.font();
    f.setPixelSize(9);
    p.setFont(f);
    const QFontMetrics fm = p.fontMetrics();
    const QColor grid = ColorRef(colors_.Grid);

    ChartValueGrid vg = ChartValueGridFor(H, vScale_, DisplUnit);
    const int labelEnd = fm.horizontalAdvance("+00.000") + 1;
    // Where value labels stand: time labels and channel tags keep clear of them.
    std::vector<QRect> valueLabels;
    int rightColumn = W;  // left edge of the value labels at the right
    // The zoom buttons cover the top-right corner: a right value label under
    // them is left out (its copy at the left stays).
    const QRect panel =
        panel_->isVisible() ? panel_->geometry().translated(-paintBox_->pos()) : QRect();
    for (const ChartValueLine& l : vg.Lines) {
        p.setPen(QPen(grid, 1, l.Solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(0, l.YUp, W, l.YUp);
        p.drawLine(0, l.YDown, W, l.YDown);
        if (!vg.Labels) continue;
        p.setPen(Qt::white);
        for (auto [y, text] : {std::pair{l.YUp, l.UpText}, std::pair{l.YDown, l.DownText}}) {
            const QString t = QString::fromStdString(text);
            const int tw = fm.horizontalAdvance(t);
            const QRect left(labelEnd - tw, y, tw, fm.height()),
                right(W - 5 - tw, y, tw, fm.height());
            p.drawText(QPoint(left.left(), y + fm.ascent()), t);
            valueLabels.push_back(left);
            if (!right.intersects(panel)) {
                p.drawText(QPoint(right.left(), y + fm.ascent()), t);
                valueLabels.push_back(right);
            }
            rightColumn = std::min(rightColumn, right.left());
        }
    }
    auto clear = [&](const QRect& r) {  // with a gap of 3 px
        return std::none_of(valueLabels.begin(), valueLabels.end(),
                            [&](const QRect& v) { return v.adjusted(-3, 0, 3, 0).intersects(r); });
    };
    const int zeroHeight = fm.height();
    for (const ChartTimeLine& l : ChartTimeGridFor(W, hScale_)) {
        p.setPen(QPen(grid, 1, l.Solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(l.X, 0, l.X, H);
        if (!l.Labeled) continue;
        p.setPen(Qt::white);
        const QString t = QString::fromStdString(l.Text);
        const int tw = fm.horizontalAdvance(t);
        const int x = l.X - tw / 2;
        if (clear(QRect(x, 1, tw, fm.height()))) p.drawText(QPoint(x, 1 + fm.ascent()), t);
        if (clear(QRect(x, H - zeroHeight, tw, fm.height())))
            p.drawText(QPoint(x, H - zeroHeight + fm.ascent()), t);
    }

    if (!Data || Data->Count() <= 0) return;
    const double now = Now ? Now() : NowDays();
    std::vector<QPointF> q;
    std::vector<PixelPoint> collapsed;
    std::vector<QPointF> shifts;
    const double dpr = img.devicePixelRatio();
    const int across = std::max(2, static_cast<int>(std::lround(2 * dpr)));
    for (int i = 0; i < across; ++i) shifts.emplace_back(i / dpr, 0.0);
    for (int i = 1; i < across; ++i) shifts.emplace_back(0.0, i / dpr);
    struct Tag {
        QString text;
        QColor color;
        QRect rect;
    };
    std::vector<Tag> tags;
    for (int ch = 0; ch < TChartData::kChannels; ++ch) {
        if (!(ChMask & (1u << ch))) continue;
        const QColor c = ColorRef(colors_.Lines[static_cast<size_t>(ch)]);
        ChartChannelPath path = ChartChannelPathFor(*Data, ch, W, H, hScale_, vScale_, now);
        if (path.HasLabel) {
            const QString t = QString::fromStdString(path.LabelText);
            const int tw = fm.horizontalAdvance(t);
            // ends at the newest sample, or left of the value labels at the right
            const int end = std::min(path.LabelEnd.X, rightColumn - 3);
            tags.push_back({t, c, QRect(end - tw, path.LabelEnd.Y, tw, fm.height())});
        }
        // The 2-px line is drawn as 1-px lines, one on each screen pixel
        // across it (at scale 1: here, one right, one down): the raster
        // engine draws thin lines many times faster than it strokes wide
        // ones, and the result covers the same pixels.
        p.setPen(QPen(c, 0));
        for (const auto& piece : path.Pieces) {
            CollapseColumns(piece, collapsed);
            q.resize(collapsed.size());
            for (const QPointF shift : shifts) {
                for (size_t i = 0; i < collapsed.size(); ++i)
                    q[i] = QPointF(collapsed[i].X, collapsed[i].Y) + shift;
                p.drawPolyline(q.data(), static_cast<int>(q.size()));
            }
        }
    }
    // The tags over the lines, none covering another.
    std::vector<int> tops;
    for (const Tag& t : tags) tops.push_back(t.rect.top());
    tops = StackChartTags(tops, fm.height(), H);
    for (size_t i = 0; i < tags.size(); ++i) tags[i].rect.moveTop(tops[i]);
    for (const Tag& t : tags) {
        p.setPen(t.color);
        p.drawText(QPoint(t.rect.left(), t.rect.top() + fm.ascent()), t.text);
    }
}

}  // namespace kd
