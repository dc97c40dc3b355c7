#pragma once
// Geometry of the profile frame without any drawing: coordinate transforms,
// zoom ladders, fit to window, hit test and cursors, area dragging and the
// limits of the correction lines.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "measure/profile_data.h"

namespace kd {

struct PixelPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const PixelPoint&) const = default;
};

struct FrameScale {
    double X = 0.01;   // pixels per micrometre across
    double Y = 0.005;  // pixels per micrometre down
};

// Converts a real to int, truncating toward zero; values beyond the int range
// are held at its ends instead of overflowing.
int TruncInt(double v);

// Micrometres -> pixel (truncating).
int PixelX(int x, double scaleX);
int PixelY(int z, double scaleY);
// Micrometres -> pixel for area rectangles (rounding).
int RoundPixelX(int x, double scaleX);
int RoundPixelY(int z, double scaleY);
// Pixel -> micrometres (truncating).
int UmX(int px, double scaleX);
int UmZ(int py, double scaleY);
// Size of the plot image: trunc(30000 sx) x trunc(58000 sy).
int PlotWidth(double scaleX);
int PlotHeight(double scaleY);

// Pixel rectangle of an area as the plot draws it: rounded transform, moved by
// the shift in pixels, at least 4 px wide and high.
struct PixelRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const PixelRect&) const = default;
};
PixelRect AreaPixelRect(const AreaBounds& r, const FrameScale& s, int shiftPx = 0, int shiftPy = 0);

// Zoom ladders.
extern const std::array<float, 22> kHorizLadder;
extern const std::array<float, 7> kVertBase;
double ZoomUpHorizScale(double scaleX);
double ZoomDownHorizScale(double scaleX);
struct VertStep {
    int K = 0;  // power of two
    int I = 0;  // index into kVertBase
};
VertStep FindVertStep(double scaleY);
double ZoomUpVertScale(double scaleY);
double ZoomDownVertScale(double scaleY);
// One zoom step by the tag of the zoom image (1 up vert, 2 down vert, 3 up
// horiz, 4 down horiz); other tags change nothing.
FrameScale ZoomStep(int tag, FrameScale s);

// Fit to window for a scroll box of w x h pixels.
FrameScale FitToWindow(int w, int h, FrameScale current);
// Initial scales for a screen of the given width.
FrameScale InitialScale(int screenWidth);
// Saved scales are taken when both lie where the plot's zoom and fit bring
// them (0.01.. and 0.005.. up to 0.16): a value far beyond would make a plot
// image of gigabytes.
bool UsableSavedScale(FrameScale s);

// Press-and-hold timing of the zoom images.
class ZoomButtonState {
  public:
    static constexpr uint32_t kRepeating = 0x4000;
    static constexpr uint32_t kReleased = 0x8000;
    void Press(int tag, uint32_t nowMs);
    void Release();
    // Called by the 100 ms timer; returns the tag to zoom by, or 0.
    int Tick(uint32_t nowMs, bool cameraLive);
    uint32_t State() const { return state_; }

  private:
    uint32_t state_ = 0;
    uint32_t time_ = 0;
};

// Edge codes: bits 1 left, 2 right, 4 top, 8 bottom; 15 the whole area.
enum EdgeCode : int {
    kEdgeNone = 0,
    kEdgeLeft = 1,
    kEdgeRight = 2,
    kEdgeTop = 4,
    kEdgeBottom = 8,
    kEdgeAll = 15
};
int EdgeCodeAt(int x, int z, const AreaBounds& r);
// First area of AreaOrder (from the front) within 5 pixels of (x, z) µm; -1 none.
int HitTestArea(int x, int z, const ProfileShared& shared, const FrameScale& s);

enum class CursorKind { Default, SizeWE, SizeNS, SizeNWSE, SizeNESW, SizeAll, Hand };
CursorKind CursorForEdge(int code);

// Area editing with the mouse: press, move with the left button, release.
class AreaEditor {
  public:
    static constexpr int kDragThreshold = 1;
    static constexpr int kMinSize = 128;

    int SelectedArea = -1;
    AreaBounds Working{};
    AreaBounds Start{};
    PixelPoint PressPoint{};
    int DragCode = 0;

    // Selects an area and copies its rectangle (SelectArea of the frame).
    void Select(int index, ProfileShared& shared);
    // Left press; returns true when an area is selected afterwards.
    bool Press(PixelPoint p, bool shift, ProfileShared& shared, const FrameScale& s);
    // Move with the left button held; returns true when the working rectangle
    // may have changed (repaint).
    bool Move(PixelPoint p, ProfileShared& shared, const FrameScale& s);
    // Left release. Returns the area whose drag ended (-1 when none ran);
    // the ordered rectangle is stored into AreaRects when it changed.
    int Release(ProfileShared& shared);
    bool Dragging() const { return DragCode != 0; }

  private:
    int workingArea_ = -1;  // area the working rectangle was copied from
};

// Correction lines: mode 1 HCorrect (horizontal), 2 VCorrect, 3 TiltCorPos.
// The limits are the keys' raw limits; positions are micrometres (x 2).
struct LineLimits {
    int HMin = -14000, HMax = 14000;
    int VMin = -7500, VMax = 7500;
    int TMin = -7500, TMax = 7500;
};
// True when the pointer lies strictly within 10 px of the line at linePos.
bool LineGrabbed(int mode, int linePos, PixelPoint p, const FrameScale& s);
// New line position for a pointer at (x, z) µm.
int LineDragPos(int mode, int x, int z, const LineLimits& lim, int vCorrect, int tiltCorPos);

// Axis label text: "-" before the absolute value of a negative value, "+"
// before a positive one; micrometres as integers (displUnit 1), else
// millimetres with one decimal.
std::string AxisLabelText(int v, int displUnit);
// Text of the z label on the grid line at z: z itself when AxisDir is set,
// -z otherwise (then "up" is positive).
std::string ZAxisLabelText(int z, int axisDir, int displUnit);

// Splits a polyline into pieces of at most maxPoints points; consecutive
// pieces share their joining point, so the drawn line has no break.
void ForEachPolylinePiece(std::span<const PixelPoint> pts, size_t maxPoints,
                          const std::function<void(std::span<const PixelPoint>)>& draw);

// Pixel points of a profile polyline: points first..count-1 of `points`; a
// missing z is placed at row 65535 (below the plot).
void ProfilePixels(std::span<const ProfilePoint> points, int first, const FrameScale& s,
                   std::vector<PixelPoint>& out);

}  // namespace kd
