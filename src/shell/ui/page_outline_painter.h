#pragma once
#include <QPainter>

#include "shell/page_outline.h"

namespace kd {

// Draws a page outline with the painter's pen, for a client area of w x h.
void DrawPageOutline(QPainter& painter, const std::vector<TOutlinePoint>& points, int w, int h);

}  // namespace kd
