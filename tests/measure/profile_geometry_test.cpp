#include <gtest/gtest.h>

#include <algorithm>

#include "common/log.h"
#include "measure/profile_geometry.h"

using namespace kd;

TEST(ProfileTransform, TruncationAndRounding) {
    EXPECT_EQ(PixelX(-15000, 0.01), 0);
    EXPECT_EQ(PixelX(15000, 0.01), 300);
    EXPECT_EQ(PixelX(-14901, 0.01), 0);       // 0.99 truncates
    EXPECT_EQ(RoundPixelX(-14951, 0.01), 0);  // 0.49 + 0.5
    EXPECT_EQ(RoundPixelX(-14950, 0.01), 1);  // 0.5 + 0.5
    EXPECT_EQ(PixelY(-29000, 0.005), 0);
    EXPECT_EQ(PixelY(0, 0.005), 145);
    EXPECT_EQ(RoundPixelY(-28900, 0.005), 1);
    EXPECT_EQ(UmX(0, 0.01), -15000);
    EXPECT_EQ(UmX(150, 0.5), -14700);
    EXPECT_EQ(UmX(1, 0.03), -14966);  // 33.33 - 15000 = -14966.67 toward zero
    EXPECT_EQ(UmZ(1, 0.03), -28966);
    EXPECT_EQ(PlotWidth(0.0133f), 398);
    EXPECT_EQ(PlotHeight(0.005), 290);
    EXPECT_EQ(TruncInt(1e12), INT32_MAX);
    EXPECT_EQ(TruncInt(-1e12), INT32_MIN);
    EXPECT_EQ(TruncInt(-1.9), -1);
}

TEST(ProfileTransform, AreaRectangleMinimumSizeAndShift) {
    FrameScale s{0.01, 0.005};
    PixelRect r = AreaPixelRect({-1000, -1000, 1000, 1000}, s);
    EXPECT_EQ(r, (PixelRect{140, 140, 160, 150}));
    r = AreaPixelRect({-1000, -1000, 1000, 1000}, s, 3, -2);
    EXPECT_EQ(r, (PixelRect{143, 138, 163, 148}));
    // 1 px wide becomes 4 px around its middle.
    r = AreaPixelRect({0, 0, 100, 100}, s);
    EXPECT_EQ(r.Right - r.Left, 4);
    EXPECT_EQ(r.Left, (150 + 151) / 2 - 2);
    EXPECT_EQ(r.Bottom - r.Top, 4);
    // Stored out of order: drawn in order.
    EXPECT_EQ(AreaPixelRect({1000, 1000, -1000, -1000}, s), (PixelRect{140, 140, 160, 150}));
}

TEST(ZoomLadder, Horizontal) {
    EXPECT_FLOAT_EQ(ZoomUpHorizScale(0.01), 0.012f);
    EXPECT_FLOAT_EQ(ZoomUpHorizScale(0.08), 0.08f);  // stays at the top
    EXPECT_FLOAT_EQ(ZoomUpHorizScale(0.0799999982), 0.08f);
    EXPECT_FLOAT_EQ(ZoomDownHorizScale(0.01), 0.01f);   // stays at the bottom
    EXPECT_FLOAT_EQ(ZoomUpHorizScale(0.025), 0.0266f);  // between: next higher
    EXPECT_FLOAT_EQ(ZoomDownHorizScale(0.025), 0.024f);
    EXPECT_FLOAT_EQ(ZoomDownHorizScale(0.08f), 0.0756f);
    EXPECT_FLOAT_EQ(ZoomDownHorizScale(0.08), 0.08f);  // the float ladder value lies below
    EXPECT_FLOAT_EQ(ZoomUpHorizScale(0.001), 0.01f);
    EXPECT_FLOAT_EQ(ZoomDownHorizScale(1.0), 0.08f);
}

TEST(ZoomLadder, VerticalExamples) {
    EXPECT_NEAR(ZoomUpVertScale(0.005), 0.006, 1e-9);
    EXPECT_NEAR(ZoomUpVertScale(0.00945), 0.01, 1e-9);
    EXPECT_NEAR(ZoomUpVertScale(0.0756), 0.08, 1e-8);  // 0.005f x 16
    EXPECT_NEAR(ZoomUpVertScale(0.08), 0.08, 1e-9);
    EXPECT_NEAR(ZoomDownVertScale(0.005), 0.005, 1e-9);
    EXPECT_NEAR(ZoomDownVertScale(0.01), 0.00945, 1e-7);
    EXPECT_NEAR(ZoomDownVertScale(0.012), 0.01, 1e-9);
    EXPECT_NEAR(ZoomUpVertScale(0.001), 0.006, 1e-9);  // below the ladder: step (0, 0)
    // Between two values the nearer one is the step.
    VertStep st = FindVertStep(0.0057);
    EXPECT_EQ(st.K, 0);
    EXPECT_EQ(st.I, 1);
    st = FindVertStep(0.0098);  // nearer to 0.01: step (1, 0)
    EXPECT_EQ(st.K, 1);
    EXPECT_EQ(st.I, 0);
    st = FindVertStep(0.04);
    EXPECT_EQ(st.K, 3);
    EXPECT_EQ(st.I, 0);
}

TEST(ZoomLadder, FullWalkUpAndDownStaysOnTheLadder) {
    double y = 0.005;
    int steps = 0;
    while (y < 0.08 && steps < 100) {
        double n = ZoomUpVertScale(y);
        ASSERT_GT(n, y);
        y = n;
        ++steps;
    }
    // 7 per octave over four octaves reach 0.005f x 16, just below 0.08; one
    // more step lands on the cap itself.
    EXPECT_EQ(steps, 29);
    EXPECT_EQ(y, 0.08);
    while (y > 0.005 && steps < 200) {
        double n = ZoomDownVertScale(y);
        ASSERT_LT(n, y);
        y = n;
        ++steps;
    }
    EXPECT_EQ(steps, 29 + 28);
    FrameScale s{0.01, 0.005};
    s = ZoomStep(3, s);
    EXPECT_FLOAT_EQ(static_cast<float>(s.X), 0.012f);
    s = ZoomStep(1, s);
    EXPECT_NEAR(s.Y, 0.006, 1e-9);
    FrameScale same = ZoomStep(9, s);
    EXPECT_EQ(same.X, s.X);
    EXPECT_EQ(same.Y, s.Y);
}

TEST(FitToWindow, ExampleAndLimits) {
    FrameScale f = FitToWindow(404, 294, {0.02, 0.01});
    EXPECT_NEAR(f.Y, 0.005, 1e-12);
    EXPECT_NEAR(f.X, 0.01, 1e-12);
    // Narrow window: the width decides, aspect kept.
    f = FitToWindow(604, 2000, {0.02, 0.01});
    EXPECT_NEAR(f.X, 0.02, 1e-12);
    EXPECT_NEAR(f.Y, 0.01, 1e-12);
    // Tiny window: held at the lower ends, no upper bound.
    f = FitToWindow(10, 10, {0.02, 0.01});
    EXPECT_EQ(f.X, 0.01);
    EXPECT_EQ(f.Y, 0.005);
    f = FitToWindow(6004, 11604, {0.02, 0.01});
    EXPECT_NEAR(f.X, 0.2, 1e-12);
    EXPECT_NEAR(f.Y, 0.1, 1e-12);
}

TEST(InitialScale, ByScreenWidth) {
    EXPECT_EQ(InitialScale(1920).X, 0.03);
    EXPECT_EQ(InitialScale(1920).Y, 0.015);
    EXPECT_EQ(InitialScale(100).X, 0.01);
    EXPECT_EQ(InitialScale(100000).X, 0.1);
}

TEST(ZoomButtonTiming, ClickHoldAndCameraLive) {
    ZoomButtonState z;
    z.Press(1, 1000);
    EXPECT_EQ(z.Tick(1100, false), 0);
    z.Release();
    EXPECT_EQ(z.Tick(1200, false), 0);
    EXPECT_EQ(z.Tick(1300, false), 1);  // a click zooms once, 300 ms after the press
    EXPECT_EQ(z.State(), 0u);
    EXPECT_EQ(z.Tick(1400, false), 0);
    // Holding repeats every tick after the first 300 ms; the release adds one.
    z.Press(3, 2000);
    EXPECT_EQ(z.Tick(2100, false), 0);
    EXPECT_EQ(z.Tick(2300, false), 3);
    EXPECT_EQ(z.Tick(2400, false), 3);
    EXPECT_EQ(z.Tick(2500, true), 0);  // camera live pauses it
    EXPECT_EQ(z.Tick(2600, false), 3);
    z.Release();
    EXPECT_EQ(z.Tick(2700, false), 3);
    EXPECT_EQ(z.Tick(2800, false), 0);
    // Tick counter wrap.
    z.Press(2, 0xFFFFFF00u);
    EXPECT_EQ(z.Tick(0x00000040u, false), 2);
}

namespace {
ProfileShared TwoAreas() {
    ProfileShared sh;
    sh.SetArea(0, -5000, -5000, 0, 0);
    sh.SetArea(1, -2000, -2000, 5000, 5000);
    return sh;
}
}  // namespace

TEST(HitTest, EdgeCodesAndCursors) {
    AreaBounds r{0, 0, 1000, 1000};
    EXPECT_EQ(EdgeCodeAt(5, 5, r), 5);
    EXPECT_EQ(EdgeCodeAt(5, 995, r), 9);
    EXPECT_EQ(EdgeCodeAt(5, 500, r), 1);
    EXPECT_EQ(EdgeCodeAt(995, 5, r), 6);
    EXPECT_EQ(EdgeCodeAt(995, 995, r), 10);
    EXPECT_EQ(EdgeCodeAt(995, 500, r), 2);
    EXPECT_EQ(EdgeCodeAt(500, 5, r), 4);
    EXPECT_EQ(EdgeCodeAt(500, 995, r), 8);
    EXPECT_EQ(EdgeCodeAt(500, 500, r), 15);
    EXPECT_EQ(EdgeCodeAt(10, 10, r), 15);    // the 10 µm margin is exclusive
    EXPECT_EQ(EdgeCodeAt(-300, 500, r), 1);  // outside: the band of the edge
    EXPECT_EQ(CursorForEdge(0), CursorKind::Default);
    EXPECT_EQ(CursorForEdge(1), CursorKind::SizeWE);
    EXPECT_EQ(CursorForEdge(2), CursorKind::SizeWE);
    EXPECT_EQ(CursorForEdge(4), CursorKind::SizeNS);
    EXPECT_EQ(CursorForEdge(8), CursorKind::SizeNS);
    EXPECT_EQ(CursorForEdge(5), CursorKind::SizeNWSE);
    EXPECT_EQ(CursorForEdge(10), CursorKind::SizeNWSE);
    EXPECT_EQ(CursorForEdge(6), CursorKind::SizeNESW);
    EXPECT_EQ(CursorForEdge(9), CursorKind::SizeNESW);
    EXPECT_EQ(CursorForEdge(15), CursorKind::SizeAll);
}

TEST(HitTest, OrderAndFivePixelTolerance) {
    ProfileShared sh = TwoAreas();
    FrameScale s{0.01, 0.005};                       // tolerance 500 µm across, 1000 µm down
    EXPECT_EQ(HitTestArea(-1000, -1000, sh, s), 0);  // overlap: area 0 is in front
    sh.BringToFront(1);
    EXPECT_EQ(HitTestArea(-1000, -1000, sh, s), 1);
    EXPECT_EQ(HitTestArea(5500, 0, sh, s), 1);
    EXPECT_EQ(HitTestArea(5501, 0, sh, s), -1);
    EXPECT_EQ(HitTestArea(0, 6000, sh, s), 1);
    EXPECT_EQ(HitTestArea(0, 6001, sh, s), -1);
    EXPECT_EQ(HitTestArea(-9000, 0, sh, s), -1);
    // An area never stored is not hit.
    sh.AreaRects[3] = {10000, 10000, 12000, 12000};
    EXPECT_EQ(HitTestArea(11000, 11000, sh, s), -1);
    EXPECT_EQ(HitTestArea(0, 0, sh, {0, 0}), -1);
}

TEST(AreaOrder, SetAreaAddsOnceAndLogs) {
    std::vector<std::string> log;
    ScopedLogSink sink([&](int, const std::string& l) { log.push_back(l); });
    ProfileShared sh;
    sh.SetArea(2, 1, 2, 3, 4);
    sh.SetArea(0, 5, 6, 7, 8);
    sh.SetArea(2, -4, -3, -2, -1);
    sh.SetArea(4, 0, 0, 0, 0);
    EXPECT_EQ(sh.AreaOrder, (std::vector<int>{2, 0}));
    EXPECT_EQ(sh.AreaRects[2], (AreaBounds{-4, -3, -2, -1}));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "SetArea(1, 2, 3, 4)");
}

class AreaDrag : public ::testing::Test {
  protected:
    ProfileShared sh = TwoAreas();
    FrameScale s{0.01, 0.005};
    AreaEditor ed;
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
    PixelPoint Px(int x, int z) { return {PixelX(x, s.X), PixelY(z, s.Y)}; }
};

TEST_F(AreaDrag, MoveWholeAreaAndStoreOnRelease) {
    PixelPoint p = Px(-2500, -2500);
    ASSERT_TRUE(ed.Press(p, false, sh, s));
    EXPECT_EQ(ed.SelectedArea, 0);
    EXPECT_FALSE(ed.Move({p.X + 1, p.Y + 1}, sh, s));  // within the threshold
    EXPECT_TRUE(ed.Move({p.X + 2, p.Y}, sh, s));       // starts the drag
    EXPECT_EQ(ed.DragCode, 15);
    EXPECT_TRUE(ed.Move({p.X + 10, p.Y + 5}, sh, s));
    EXPECT_EQ(ed.Working, (AreaBounds{-4000, -4000, 1000, 1000}));
    EXPECT_EQ(sh.AreaRects[0], (AreaBounds{-5000, -5000, 0, 0}));  // not stored yet
    EXPECT_EQ(ed.Release(sh), 0);
    EXPECT_EQ(sh.AreaRects[0], (AreaBounds{-4000, -4000, 1000, 1000}));
    EXPECT_EQ(ed.SelectedArea, -1);
    std::vector<std::string> lines;
    for (auto& [a, l] : log) lines.push_back(l);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "area0: ms_op   F start"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "normal_area(-4000, -4000, 1000, 1000)"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "area0: ms_op   0"), lines.end());
    EXPECT_EQ(lines.back(), "GetNormalArea; ch0 (-4000,-4000, 1000,1000)");
}

TEST_F(AreaDrag, EdgePastTheOppositeEdgeStops128Before) {
    // Grab the left edge of area 1 and drag it far to the right.
    sh.BringToFront(1);
    PixelPoint p = Px(-2000, 1000);
    ASSERT_TRUE(ed.Press(p, false, sh, s));
    ASSERT_EQ(ed.SelectedArea, 1);
    ed.Move({p.X + 5, p.Y}, sh, s);
    ASSERT_EQ(ed.DragCode, 1);
    ed.Move({p.X + 200, p.Y}, sh, s);
    EXPECT_EQ(ed.Working.Left, 5000 - 128);
    EXPECT_EQ(ed.Working.Right, 5000);
    ed.Release(sh);
    EXPECT_EQ(sh.AreaRects[1], (AreaBounds{4872, -2000, 5000, 5000}));
}

TEST_F(AreaDrag, CornerDragUpwardKeepsMinimumAndPointerIsClampedToThePlot) {
    sh.BringToFront(1);
    PixelPoint p = Px(5200, 5400);  // in the band outside the bottom-right corner
    ASSERT_TRUE(ed.Press(p, false, sh, s));
    ed.Move({p.X - 3, p.Y - 3}, sh, s);
    ASSERT_EQ(ed.DragCode, 10);
    ed.Move({-500, -500}, sh, s);  // clamped to (0, 0)
    EXPECT_EQ(ed.Working.Right, -2000 + 128);
    EXPECT_EQ(ed.Working.Bottom, -2000 + 128);
    // Clamp to the bottom-right of the plot.
    ed.Move({100000, 100000}, sh, s);
    EXPECT_EQ(ed.Working.Right, 5000 + static_cast<int>((300 - p.X) / 0.01));
    ed.Release(sh);
    AreaBounds st = sh.AreaRects[1];
    EXPECT_LE(st.Left, st.Right);
    EXPECT_LE(st.Top, st.Bottom);
}

TEST_F(AreaDrag, PressOutsideAndTargetLost) {
    EXPECT_FALSE(ed.Press(Px(12000, 20000), false, sh, s));
    EXPECT_EQ(ed.SelectedArea, -1);
    EXPECT_FALSE(ed.Move(Px(0, 0), sh, s));
    EXPECT_EQ(ed.Release(sh), -1);
    // Selected, then the area moves away before the drag starts.
    PixelPoint p = Px(-2500, -2500);
    ASSERT_TRUE(ed.Press(p, false, sh, s));
    sh.AreaRects[0] = {10000, 10000, 11000, 11000};
    sh.AreaRects[1] = {10000, 10000, 11000, 11000};
    EXPECT_TRUE(ed.Move({p.X + 5, p.Y}, sh, s));
    EXPECT_FALSE(ed.Dragging());
    EXPECT_EQ(ed.SelectedArea, -1);
    EXPECT_EQ(log.back(), (std::pair<int, std::string>{kLogError, "target lost"}));
    // Scales of zero ignore moves.
    EXPECT_FALSE(ed.Move({1, 1}, sh, {0, 0}));
}

TEST_F(AreaDrag, ShiftPressKeepsSelectionDragMovesTheAreaUnderThePointer) {
    ed.Select(0, sh);
    sh.AreaRects[0] = {-5000, -5000, 0, 0};
    PixelPoint p = Px(3000, 3000);  // inside area 1 only
    EXPECT_TRUE(ed.Press(p, true, sh, s));
    EXPECT_EQ(ed.SelectedArea, 0);
    ed.Move({p.X + 10, p.Y}, sh, s);
    EXPECT_EQ(ed.SelectedArea, 1);
    ed.Move({p.X + 20, p.Y}, sh, s);
    EXPECT_EQ(ed.Working, (AreaBounds{0, -2000, 7000, 5000}));
    ed.Release(sh);
    EXPECT_EQ(sh.AreaRects[1], (AreaBounds{0, -2000, 7000, 5000}));
    EXPECT_EQ(sh.AreaRects[0], (AreaBounds{-5000, -5000, 0, 0}));
}

TEST(CorrectionLines, GrabBandAndLimits) {
    FrameScale s{0.01, 0.005};
    // HCorrect at z = 0 -> row 145; strictly within 10 px.
    EXPECT_TRUE(LineGrabbed(1, 0, {0, 154}, s));
    EXPECT_FALSE(LineGrabbed(1, 0, {0, 155}, s));
    EXPECT_TRUE(LineGrabbed(2, 0, {141, 0}, s));
    EXPECT_FALSE(LineGrabbed(3, 0, {140, 0}, s));
    EXPECT_FALSE(LineGrabbed(0, 0, {150, 145}, s));
    LineLimits lim;
    EXPECT_EQ(LineDragPos(1, 0, 99999, lim, 0, 0), 28000);
    EXPECT_EQ(LineDragPos(1, 0, -99999, lim, 0, 0), -28000);
    EXPECT_EQ(LineDragPos(1, 0, 1234, lim, 0, 0), 1234);
    // VCorrect stops at TiltCorPos when dragged right; its own limits first.
    EXPECT_EQ(LineDragPos(2, 3000, 0, lim, -1000, 2000), 2000);
    EXPECT_EQ(LineDragPos(2, 1000, 0, lim, -1000, 2000), 1000);
    EXPECT_EQ(LineDragPos(2, -20000, 0, lim, -1000, 2000), -15000);
    EXPECT_EQ(LineDragPos(2, 20000, 0, lim, -1000, 20000), 15000);
    // TiltCorPos stops at VCorrect when dragged left.
    EXPECT_EQ(LineDragPos(3, -3000, 0, lim, -1000, 2000), -1000);
    EXPECT_EQ(LineDragPos(3, 500, 0, lim, -1000, 2000), 500);
    EXPECT_EQ(LineDragPos(3, 16000, 0, lim, -1000, 2000), 15000);
    EXPECT_EQ(LineDragPos(0, 5, 5, lim, 0, 0), 0);
}

TEST(Polyline, PiecesNeverExceedTheBufferAndStayJoined) {
    std::vector<PixelPoint> pts;
    for (int i = 0; i < 4500; ++i) pts.push_back({i, i * 2});
    std::vector<std::vector<PixelPoint>> pieces;
    ForEachPolylinePiece(
        pts, 2000, [&](std::span<const PixelPoint> p) { pieces.emplace_back(p.begin(), p.end()); });
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 2000u);
    EXPECT_EQ(pieces[1].front(), pieces[0].back());
    EXPECT_EQ(pieces[2].back(), pts.back());
    size_t total = 0;
    for (auto& p : pieces) total += p.size();
    EXPECT_EQ(total, 4500u + 2u);
    pieces.clear();
    ForEachPolylinePiece(
        std::span<const PixelPoint>(pts.data(), 2000), 2000,
        [&](std::span<const PixelPoint> p) { pieces.emplace_back(p.begin(), p.end()); });
    EXPECT_EQ(pieces.size(), 1u);
    pieces.clear();
    ForEachPolylinePiece(
        {}, 2000, [&](std::span<const PixelPoint> p) { pieces.emplace_back(p.begin(), p.end()); });
    EXPECT_TRUE(pieces.empty());
}

TEST(Polyline, ProfilePixelsSkipPointZeroAndDropGapsBelow) {
    std::vector<ProfilePoint> prof = {{0, 0}, {-15000, -29000}, {0, kMissing}, {15000, 29000}};
    std::vector<PixelPoint> out;
    ProfilePixels(prof, 1, {0.01, 0.005}, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], (PixelPoint{0, 0}));
    EXPECT_EQ(out[1], (PixelPoint{150, 65535}));
    EXPECT_EQ(out[2], (PixelPoint{300, 290}));
    ProfilePixels(std::span<const ProfilePoint>(prof.data(), 1), 1, {0.01, 0.005}, out);
    EXPECT_TRUE(out.empty());
}

TEST(AxisLabels, SignsUnitsAndAxisDirection) {
    EXPECT_EQ(AxisLabelText(-15000, 0), "-15.0");
    EXPECT_EQ(AxisLabelText(10000, 0), "+10.0");
    EXPECT_EQ(AxisLabelText(0, 0), "0.0");
    EXPECT_EQ(AxisLabelText(0, 1), "0");
    EXPECT_EQ(AxisLabelText(-1000, 1), "-1000");
    EXPECT_EQ(AxisLabelText(28000, 1), "+28000");
    // AxisDir 0: the label above the centre (z = -10000) reads plus.
    EXPECT_EQ(ZAxisLabelText(-10000, 0, 0), "+10.0");
    EXPECT_EQ(ZAxisLabelText(-10000, 1, 0), "-10.0");
    EXPECT_EQ(ZAxisLabelText(20000, 0, 1), "-20000");
}
