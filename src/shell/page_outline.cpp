#include "shell/page_outline.h"

#include <algorithm>
#include <cmath>

namespace kd {

const std::vector<TOutlinePoint>& SettingsOutline() {
    static const std::vector<TOutlinePoint> kPoints = {
        {10, 60, TCornerKind::Straight, 0}, {292, 60, TCornerKind::Chamfer, 4},
        {292, 1, TCornerKind::Chamfer, 4},  {-4, 1, TCornerKind::Arc, 16},
        {-4, -8, TCornerKind::Arc, 16},     {10, -8, TCornerKind::Arc, 10},
        {10, 60, TCornerKind::Straight, 0},
    };
    return kPoints;
}

std::vector<TPointF> OutlinePolyline(const std::vector<TOutlinePoint>& points, int clientWidth,
                                     int clientHeight) {
    std::vector<TPointF> out;
    const size_t n = points.size();
    if (n == 0) return out;
    std::vector<TPointF> p(n);
    for (size_t i = 0; i < n; ++i) {
        p[i].X = points[i].X < 0 ? clientWidth + points[i].X : points[i].X;
        p[i].Y = points[i].Y < 0 ? clientHeight + points[i].Y : points[i].Y;
    }
    const bool closed = n > 2 && p[0].X == p[n - 1].X && p[0].Y == p[n - 1].Y;
    auto neighbour = [&](size_t i, int dir) -> const TPointF* {
        if (dir < 0) {
            if (i > 0) return &p[i - 1];
            return closed ? &p[n - 2] : nullptr;
        }
        if (i + 1 < n) return &p[i + 1];
        return closed ? &p[1] : nullptr;
    };
    for (size_t i = 0; i < n; ++i) {
        const TPointF* prev = neighbour(i, -1);
        const TPointF* next = neighbour(i, +1);
        double r = points[i].Radius;
        if (points[i].Kind == TCornerKind::Straight || r <= 0 || !prev || !next) {
            out.push_back(p[i]);
            continue;
        }
        double dx1 = prev->X - p[i].X, dy1 = prev->Y - p[i].Y;
        double dx2 = next->X - p[i].X, dy2 = next->Y - p[i].Y;
        double l1 = std::hypot(dx1, dy1), l2 = std::hypot(dx2, dy2);
        if (l1 <= 0 || l2 <= 0) {
            out.push_back(p[i]);
            continue;
        }
        r = std::min({r, l1 / 2, l2 / 2});
        TPointF a{p[i].X + dx1 / l1 * r, p[i].Y + dy1 / l1 * r};
        TPointF b{p[i].X + dx2 / l2 * r, p[i].Y + dy2 / l2 * r};
        if (points[i].Kind == TCornerKind::Chamfer) {
            out.push_back(a);
            out.push_back(b);
            continue;
        }
        // Rounded corner: a quadratic curve from a to b with the corner as its
        // control point; for a right angle it stays within a pixel of a circle.
        constexpr int kSteps = 8;
        for (int k = 0; k <= kSteps; ++k) {
            double t = static_cast<double>(k) / kSteps;
            double u = 1 - t;
            out.push_back({u * u * a.X + 2 * u * t * p[i].X + t * t * b.X,
                           u * u * a.Y + 2 * u * t * p[i].Y + t * t * b.Y});
        }
    }
    return out;
}

}  // namespace kd
