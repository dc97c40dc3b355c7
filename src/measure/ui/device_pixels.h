#pragma once
// Off-screen plot images in the screen's own pixels: a plot of w × h logical
// pixels is kept as an image of w × h times the device pixel ratio, painted in
// logical coordinates, so that it is shown sharp at any display scaling.
#include <QSize>
#include <algorithm>
#include <cmath>

namespace kd {

// The image size for a plot of w × h logical pixels; rounded up, so that the
// image covers every screen pixel of the plot.
inline QSize DeviceSize(int w, int h, double dpr) {
    return QSize(std::max(1, static_cast<int>(std::ceil(std::max(w, 1) * dpr - 1e-9))),
                 std::max(1, static_cast<int>(std::ceil(std::max(h, 1) * dpr - 1e-9))));
}

// The logical extent of an image side of n screen pixels (inverse of DeviceSize).
inline int LogicalExtent(int n, double dpr) {
    return dpr > 0 ? static_cast<int>(std::floor(n / dpr + 1e-9)) : n;
}

}  // namespace kd
