#include "measure/profile_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/log.h"

namespace kd {

int TruncInt(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

int PixelX(int x, double scaleX) {
    return TruncInt((x - kRangeLeft) * scaleX);
}
int PixelY(int z, double scaleY) {
    return TruncInt((z - kRangeTop) * scaleY);
}
int RoundPixelX(int x, double scaleX) {
    return TruncInt((x - kRangeLeft) * scaleX + 0.5);
}
int RoundPixelY(int z, double scaleY) {
    return TruncInt((z - kRangeTop) * scaleY + 0.5);
}
int UmX(int px, double scaleX) {
    return TruncInt(px / scaleX + kRangeLeft);
}
int UmZ(int py, double scaleY) {
    return TruncInt(py / scaleY + kRangeTop);
}
int PlotWidth(double scaleX) {
    return std::max(0, TruncInt(kRangeWidth * scaleX));
}
int PlotHeight(double scaleY) {
    return std::max(0, TruncInt(kRangeHeight * scaleY));
}

PixelRect AreaPixelRect(const AreaBounds& rect, const FrameScale& s, int shiftPx, int shiftPy) {
    AreaBounds r = rect.Ordered();
    PixelRect p{RoundPixelX(r.Left, s.X) + shiftPx, RoundPixelY(r.Top, s.Y) + shiftPy,
                RoundPixelX(r.Right, s.X) + shiftPx, RoundPixelY(r.Bottom, s.Y) + shiftPy};
    if (p.Right - p.Left < 4) {
        p.Left = (p.Left + p.Right) / 2 - 2;
        p.Right = p.Left + 4;
    }
    if (p.Bottom - p.Top < 4) {
        p.Top = (p.Top + p.Bottom) / 2 - 2;
        p.Bottom = p.Top + 4;
    }
    return p;
}

const std::array<float, 22> kHorizLadder = {
    0.01f, 0.012f,  0.0133f, 0.0141f, 0.015f, 0.0168f, 0.0189f, 0.02f, 0.024f,  0.0266f, 0.0282f,
    0.03f, 0.0336f, 0.0378f, 0.04f,   0.048f, 0.0532f, 0.0564f, 0.06f, 0.0672f, 0.0756f, 0.08f};
const std::array<float, 7> kVertBase = {0.005f,  0.006f,  0.00665f, 0.00705f,
                                        0.0075f, 0.0084f, 0.00945f};

double ZoomUpHorizScale(double scaleX) {
    for (float v : kHorizLadder)
        if (static_cast<double>(v) > scaleX) return v;
    return kHorizLadder.back();
}

double ZoomDownHorizScale(double scaleX) {
    for (auto it = kHorizLadder.rbegin(); it != kHorizLadder.rend(); ++it)
        if (static_cast<double>(*it) < scaleX) return *it;
    return kHorizLadder.front();
}

namespace {
double VertValue(int i) {
    return i < 7 ? static_cast<double>(kVertBase[static_cast<size_t>(i)]) : 0.01;
}
double VertScale(VertStep st) {
    return std::ldexp(VertValue(st.I), st.K);
}
}  // namespace

VertStep FindVertStep(double scaleY) {
    VertStep st;
    if (!(scaleY >= 0.005)) return st;  // below the ladder (or not a number)
    double v = scaleY;
    while (v >= 0.01 && st.K < 64) {
        v *= 0.5;
        ++st.K;
    }
    for (int i = 0; i < 7; ++i)
        if ((VertValue(i) + VertValue(i + 1)) / 2 > v) {
            st.I = i;
            return st;
        }
    st.I = 0;
    ++st.K;
    return st;
}

double ZoomUpVertScale(double scaleY) {
    VertStep st = FindVertStep(scaleY);
    if (++st.I == 7) {
        st.I = 0;
        ++st.K;
    }
    return std::min(VertScale(st), 0.08);
}

double ZoomDownVertScale(double scaleY) {
    VertStep st = FindVertStep(scaleY);
    if (st.K != 0 || st.I != 0) {
        if (--st.I < 0) {
            st.I = 6;
            --st.K;
        }
    }
    return std::max(VertScale(st), 0.005);
}

FrameScale ZoomStep(int tag, FrameScale s) {
    switch (tag) {
        case 1:
            s.Y = ZoomUpVertScale(s.Y);
            break;
        case 2:
            s.Y = ZoomDownVertScale(s.Y);
            break;
        case 3:
            s.X = ZoomUpHorizScale(s.X);
            break;
        case 4:
            s.X = ZoomDownHorizScale(s.X);
            break;
        default:
            break;
    }
    return s;
}

FrameScale FitToWindow(int w, int h, FrameScale cur) {
    if (!(cur.X > 0) || !(cur.Y > 0)) cur = FrameScale{};
    double ny = (h - 4) / 58000.0;
    double nx = ny * cur.X / cur.Y;
    if ((w - 4) < nx * 30000) {
        nx = (w - 4) / 30000.0;
        ny = nx * cur.Y / cur.X;
    }
    return {std::max(nx, 0.01), std::max(ny, 0.005)};
}

bool UsableSavedScale(FrameScale s) {
    // The ladders hold 32-bit floats: 0.01f lies a hair below 0.01.
    constexpr double kSlack = 1e-6;
    constexpr double kMax = 0.16;
    return s.X >= 0.01 - kSlack && s.X <= kMax && s.Y >= 0.005 - kSlack && s.Y <= kMax;
}

FrameScale InitialScale(int screenWidth) {
    int a = std::clamp(screenWidth / 600, 1, 10);
    return {a * 0.01, a * 0.005};
}

void ZoomButtonState::Press(int tag, uint32_t nowMs) {
    state_ = static_cast<uint32_t>(tag) & 7u;
    time_ = nowMs;
}

void ZoomButtonState::Release() {
    if (state_ != 0) state_ |= kReleased;
}

int ZoomButtonState::Tick(uint32_t nowMs, bool cameraLive) {
    if (cameraLive || state_ == 0) return 0;
    if (!(state_ & kRepeating) && nowMs - time_ < 300) return 0;
    int tag = static_cast<int>(state_ & 7u);
    state_ |= kRepeating;
    if (state_ & kReleased) state_ = 0;
    time_ = nowMs;
    return tag;
}

int EdgeCodeAt(int x, int z, const AreaBounds& r) {
    if (x < r.Left + 10) return z < r.Top + 10 ? 5 : z > r.Bottom - 10 ? 9 : 1;
    if (x > r.Right - 10) return z < r.Top + 10 ? 6 : z > r.Bottom - 10 ? 10 : 2;
    return z < r.Top + 10 ? 4 : z > r.Bottom - 10 ? 8 : 15;
}

int HitTestArea(int x, int z, const ProfileShared& shared, const FrameScale& s) {
    if (!(s.X > 0) || !(s.Y > 0)) return -1;
    const int tx = TruncInt(5 / s.X);
    const int tz = TruncInt(5 / s.Y);
    for (int n : shared.AreaOrder) {
        if (n < 0 || n >= kAreas) continue;
        const AreaBounds& r = shared.AreaRects[static_cast<size_t>(n)];
        if (r.Left - tx <= x && x <= r.Right + tx && r.Top - tz <= z && z <= r.Bottom + tz)
            return n;
    }
    return -1;
}

CursorKind CursorForEdge(int code) {
    switch (code) {
        case 1:
        case 2:
            return CursorKind::SizeWE;
        case 4:
        case 8:
            return CursorKind::SizeNS;
        case 5:
        case 10:
            return CursorKind::SizeNWSE;
        case 6:
        case 9:
            return CursorKind::SizeNESW;
        case 15:
            return CursorKind::SizeAll;
        default:
            return CursorKind::Default;
    }
}

void AreaEditor::Select(int index, ProfileShared& shared) {
    if (index == SelectedArea || index < 0 || index >= kAreas) return;
    SelectedArea = index;
    shared.BringToFront(index);
    Working = Start = shared.AreaRects[static_cast<size_t>(index)];
    workingArea_ = index;
}

bool AreaEditor::Press(PixelPoint p, bool shift, ProfileShared& shared, const FrameScale& s) {
    PressPoint = p;
    if (!shift && s.X > 0 && s.Y > 0) {
        int hit = HitTestArea(UmX(p.X, s.X), UmZ(p.Y, s.Y), shared, s);
        SelectedArea = hit;
        if (hit >= 0) {
            Working = Start = shared.AreaRects[static_cast<size_t>(hit)];
            shared.BringToFront(hit);
        }
    }
    workingArea_ = SelectedArea;
    return SelectedArea >= 0;
}

bool AreaEditor::Move(PixelPoint p, ProfileShared& shared, const FrameScale& s) {
    if (!(s.X > 0) || !(s.Y > 0)) return false;
    if (!Dragging()) {
        if (SelectedArea < 0) return false;
        if (std::abs(p.X - PressPoint.X) <= kDragThreshold &&
            std::abs(p.Y - PressPoint.Y) <= kDragThreshold)
            return false;
        const int px = UmX(PressPoint.X, s.X);
        const int pz = UmZ(PressPoint.Y, s.Y);
        int hit = HitTestArea(px, pz, shared, s);
        SelectedArea = hit;
        if (hit < 0) {
            WriteLog(kLogError, "target lost");
            return true;
        }
        // With Shift held the selection was kept: the drag moves the area
        // under the press point, so take its rectangle when it is another one.
        if (hit != workingArea_) {
            Working = Start = shared.AreaRects[static_cast<size_t>(hit)];
            shared.BringToFront(hit);
            workingArea_ = hit;
        }
        DragCode = EdgeCodeAt(px, pz, shared.AreaRects[static_cast<size_t>(hit)]);
        WriteLog(kLogPlain, "area%d: ms_op%4X start", hit, static_cast<unsigned>(DragCode));
        return true;
    }
    const int cx = std::clamp(p.X, 0, PlotWidth(s.X));
    const int cy = std::clamp(p.Y, 0, PlotHeight(s.Y));
    const int dx = cx - PressPoint.X;
    const int dy = cy - PressPoint.Y;
    if (DragCode & kEdgeLeft) Working.Left = TruncInt(Start.Left + dx / s.X);
    if (DragCode & kEdgeRight) Working.Right = TruncInt(Start.Right + dx / s.X);
    if (DragCode & kEdgeTop) Working.Top = TruncInt(Start.Top + dy / s.Y);
    if (DragCode & kEdgeBottom) Working.Bottom = TruncInt(Start.Bottom + dy / s.Y);
    if ((DragCode & kEdgeLeft) && Working.Right - Working.Left < kMinSize)
        Working.Left = Working.Right - kMinSize;
    if ((DragCode & kEdgeRight) && Working.Right - Working.Left < kMinSize)
        Working.Right = Working.Left + kMinSize;
    if ((DragCode & kEdgeTop) && Working.Bottom - Working.Top < kMinSize)
        Working.Top = Working.Bottom - kMinSize;
    if ((DragCode & kEdgeBottom) && Working.Bottom - Working.Top < kMinSize)
        Working.Bottom = Working.Top + kMinSize;
    return true;
}

int AreaEditor::Release(ProfileShared& shared) {
    if (!Dragging()) return -1;
    const int area = SelectedArea;
    AreaBounds& stored = shared.AreaRects[static_cast<size_t>(area)];
    if (!(Working == Start)) {
        stored = Working.Ordered();
        WriteLog(kLogPlain, "normal_area(%d, %d, %d, %d)", stored.Left, stored.Top, stored.Right,
                 stored.Bottom);
    }
    DragCode = 0;
    WriteLog(kLogPlain, "area%d: ms_op%4X", area, 0u);
    SelectedArea = -1;
    WriteLog(kLogPlain, "GetNormalArea; ch%d (%d,%d, %d,%d)", area, stored.Left, stored.Top,
             stored.Right, stored.Bottom);
    return area;
}

bool LineGrabbed(int mode, int linePos, PixelPoint p, const FrameScale& s) {
    if (mode == 1) return std::abs(p.Y - PixelY(linePos, s.Y)) < 10;
    if (mode == 2 || mode == 3) return std::abs(p.X - PixelX(linePos, s.X)) < 10;
    return false;
}

int LineDragPos(int mode, int x, int z, const LineLimits& lim, int vCorrect, int tiltCorPos) {
    switch (mode) {
        case 1:
            return std::clamp(z, 2 * lim.HMin, 2 * lim.HMax);
        case 2:
            if (x < 2 * lim.VMin) return 2 * lim.VMin;
            if (x > 2 * lim.VMax) return 2 * lim.VMax;
            return x < tiltCorPos ? x : tiltCorPos;
        case 3:
            if (x < 2 * lim.TMin) return 2 * lim.TMin;
            if (x > 2 * lim.TMax) return 2 * lim.TMax;
            return x > vCorrect ? x : vCorrect;
        default:
            return 0;
    }
}

std::string AxisLabelText(int v, int displUnit) {
    const char* sign = v < 0 ? "-" : v > 0 ? "+" : "";
    const long a = std::labs(static_cast<long>(v));
    if (displUnit == 1) return Format("%s%ld", sign, a);
    return Format("%s%.1f", sign, a * 0.001);
}

std::string ZAxisLabelText(int z, int axisDir, int displUnit) {
    return AxisLabelText(axisDir != 0 ? z : -z, displUnit);
}

void ForEachPolylinePiece(std::span<const PixelPoint> pts, size_t maxPoints,
                          const std::function<void(std::span<const PixelPoint>)>& draw) {
    if (maxPoints < 2) maxPoints = 2;
    size_t start = 0;
    while (pts.size() - start > maxPoints) {
        draw(pts.subspan(start, maxPoints));
        start += maxPoints - 1;  // the next piece starts at this one's last point
    }
    if (pts.size() - start > 0) draw(pts.subspan(start));
}

void ProfilePixels(std::span<const ProfilePoint> points, int first, const FrameScale& s,
                   std::vector<PixelPoint>& out) {
    out.clear();
    if (first < 0) first = 0;
    for (size_t i = static_cast<size_t>(first); i < points.size(); ++i) {
        const ProfilePoint& p = points[i];
        out.push_back({PixelX(p.X, s.X), p.Z == kMissing ? 65535 : PixelY(p.Z, s.Y)});
    }
}

}  // namespace kd
