#include "shell/ui/page_outline_painter.h"

#include <QPolygonF>

namespace kd {

void DrawPageOutline(QPainter& painter, const std::vector<TOutlinePoint>& points, int w, int h) {
    QPolygonF poly;
    for (const TPointF& p : OutlinePolyline(points, w, h)) poly << QPointF(p.X, p.Y);
    painter.drawPolyline(poly);
}

}  // namespace kd
