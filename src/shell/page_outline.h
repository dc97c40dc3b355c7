#pragma once
// The decorative outline several pages draw: a closed path through points
// whose corners are straight, chamfered or rounded. A negative coordinate
// counts back from the right or bottom edge of the main window's client area.
#include <vector>

namespace kd {

enum class TCornerKind { Straight, Chamfer, Arc };

struct TOutlinePoint {
    int X;
    int Y;
    TCornerKind Kind;
    int Radius;  // chamfer length or arc radius
};

struct TPointF {
    double X;
    double Y;
};

// The outline of the settings screen.
const std::vector<TOutlinePoint>& SettingsOutline();

// The polyline of the outline for a client area of the given size; arcs are
// laid out as short line pieces. The first and last points are equal when the
// list closes on its first point. A corner's cut never reaches beyond the
// middle of its edges, so short edges stay well formed.
std::vector<TPointF> OutlinePolyline(const std::vector<TOutlinePoint>& points, int clientWidth,
                                     int clientHeight);

}  // namespace kd
