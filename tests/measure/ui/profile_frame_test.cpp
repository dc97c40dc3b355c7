#include <gtest/gtest.h>
#include <unistd.h>

#include <QScrollArea>
#include <filesystem>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "measure/ui/profile_frame.h"
#include "tests/support/test_context.h"
#include "ui_test_util.h"

using namespace kd;
using namespace kd::test;

namespace {

class ProfileFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        t.Worker.Open = false;
        frame = std::make_unique<TProfileFrame>(shared, &t.Ctx);
        frame->resize(500, 400);
        frame->SetScaleX(0.01);
        frame->SetScaleY(0.005);
    }
    QImage Grab() {
        frame->show();
        return frame->PlotWidget()->grab().toImage();
    }
    PixelPoint Px(int x, int z) { return {PixelX(x, 0.01), PixelY(z, 0.005)}; }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* w = frame->PlotWidget();
        SendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, mods);
        SendMouse(w, QEvent::MouseMove, from + QPoint(3, 0), Qt::NoButton, Qt::LeftButton);
        SendMouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        SendMouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }

    ProfileShared shared;
    TTestContext t;
    std::unique_ptr<TProfileFrame> frame;
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
};

}  // namespace

TEST_F(ProfileFrameTest, BackgroundRangeAndGrid) {
    QImage img = frame->PlotImage();
    ASSERT_EQ(img.width(), 300);
    ASSERT_EQ(img.height(), 290);
    const int cx = 150, cy = 145;
    EXPECT_EQ(Rgb(img, 5, 5), 0xF0F0F0u);            // outside the range, off the grid
    EXPECT_EQ(Rgb(img, cx + 5, cy + 5), 0xFFFFFFu);  // inside the range
    // Solid 10 mm grid line at x = +10000 µm, near the top where no range is.
    EXPECT_EQ(Rgb(img, cx + 100, 3), 0xDCDCDCu);
    // Dotted 1 mm lines are drawn only from 10 px spacing: at 0.01 they are,
    // at 0.005 (5 px) down they are not.
    EXPECT_EQ(Rgb(img, 5, cy + 5 * 1), 0xF0F0F0u);  // j = 1 would sit at y = cy + 5
    // Centre cross is 2 px wide.
    EXPECT_EQ(Rgb(img, cx, 3), 0xDCDCDCu);
    EXPECT_EQ(Rgb(img, cx - 1, 3), 0xDCDCDCu);
    SavePng(Grab(), "profile_empty");
}

TEST_F(ProfileFrameTest, AreaBodiesFramesLabelsAndMarkers) {
    frame->ShowAreas = true;
    frame->ShowAreaLabels = true;
    frame->SetArea(0, -10000, -10000, -2000, 5000);
    frame->SetArea(1, 1000, 0, 9000, 20000);
    t.Set("A1.Func", 0);  // Average: horizontal marker
    t.Set("A2.Func", 4);  // Peak Position: vertical marker
    shared.AreaResults[0] = 1000;
    shared.AreaResults[1] = 5000;
    frame->PointCount = 10;
    frame->Redraw();
    QImage img = frame->PlotImage();
    const PixelRect r0 = AreaPixelRect(shared.AreaRects[0], {0.01, 0.005});
    const ProfileColors c;
    EXPECT_EQ(Rgb(img, r0.Left + 10, r0.Top + 20), FromRef(c.AreaSel[0]));           // body
    EXPECT_EQ(Rgb(img, r0.Left, r0.Top + 30), FromRef(c.AreaFont[0]));               // frame
    EXPECT_EQ(Rgb(img, r0.Left + 40, PixelY(1000, 0.005)), FromRef(c.AreaFont[0]));  // marker
    const PixelRect r1 = AreaPixelRect(shared.AreaRects[1], {0.01, 0.005});
    EXPECT_EQ(Rgb(img, PixelX(5000, 0.01), r1.Top + 40), FromRef(c.AreaFont[1]));
    // No result: no marker.
    shared.AreaResults[1] = kNoResult;
    frame->Redraw();
    EXPECT_EQ(Rgb(frame->PlotImage(), PixelX(5000, 0.01), r1.Top + 40), FromRef(c.AreaSel[1]));
    SavePng(Grab(), "profile_areas");
}

TEST_F(ProfileFrameTest, ShiftedAreasWithCompensation) {
    frame->ShowAreas = true;
    frame->SetArea(0, -4500, -4500, 4500, 4500);  // frames off the grid lines
    t.Set("A1.Cmp", 1);
    frame->OffsetX = 2000;  // 20 px
    frame->OffsetZ = 0;
    frame->Redraw();
    QImage img = frame->PlotImage();
    const ProfileColors c;
    const PixelRect r = AreaPixelRect(shared.AreaRects[0], {0.01, 0.005}, 20, 0);
    EXPECT_EQ(Rgb(img, r.Left, r.Top + 20), FromRef(c.AreaFont[0]));
    EXPECT_EQ(Rgb(img, r.Left - 2, r.Top + 20), FromRef(c.AreaSel[0]));  // outer frame
    // Editing frames draw areas where they are stored.
    frame->EditAreas = true;
    frame->Redraw();
    const PixelRect u = AreaPixelRect(shared.AreaRects[0], {0.01, 0.005});
    EXPECT_EQ(Rgb(frame->PlotImage(), u.Left, u.Top + 20), FromRef(c.AreaFont[0]));
}

TEST_F(ProfileFrameTest, ProfileLineSkipsPointZeroAndLeavesAtGaps) {
    const ProfileColors c;
    for (int i = 0; i < 2048; ++i)
        shared.ProfileBuffer[static_cast<size_t>(i)] = {static_cast<int16_t>(-14000 + i * 13),
                                                        static_cast<int16_t>(5000)};
    shared.ProfileBuffer[0] = {3300, 20300};
    for (int i = 1000; i < 1100; ++i) shared.ProfileBuffer[static_cast<size_t>(i)].Z = kMissing;
    frame->PointCount = 2048;
    frame->Redraw();
    QImage img = frame->PlotImage();
    const int y = PixelY(5000, 0.005);
    EXPECT_EQ(Rgb(img, PixelX(-13000, 0.01), y), FromRef(c.ProfileLine));
    EXPECT_EQ(Rgb(img, PixelX(-14000 + 1050 * 13, 0.01), y), 0xFFFFFFu);  // gap
    EXPECT_EQ(Rgb(img, PixelX(-14000 + 2040 * 13, 0.01), y), FromRef(c.ProfileLine));
    // Point 0 is never drawn: nothing reaches its row.
    EXPECT_EQ(Rgb(img, PixelX(3300, 0.01), PixelY(20300, 0.005)), 0xFFFFFFu);
    SavePng(Grab(), "profile_line");
    // A single point draws no line.
    frame->PointCount = 1;
    frame->Redraw();
    EXPECT_NE(Rgb(frame->PlotImage(), PixelX(-13000, 0.01), y), FromRef(c.ProfileLine));
}

TEST_F(ProfileFrameTest, LongMasterProfileIsDrawnWhole) {
    // A full master record of the bank shown: 2046 points after four header words.
    auto& words = t.Masters.MasterWords[0];
    for (int i = 0; i < TMasterStore::kMaxCount; ++i) {
        words[4 + 2 * static_cast<size_t>(i)] = static_cast<uint16_t>(-14000 + i * 12);
        words[5 + 2 * static_cast<size_t>(i)] = static_cast<uint16_t>(-5000);
    }
    t.Masters.MasterCount[0] = TMasterStore::kMaxCount;
    frame->ShowMaster = true;
    frame->Redraw();
    QImage img = frame->PlotImage();
    const int y = PixelY(-5000, 0.005);
    EXPECT_EQ(Rgb(img, PixelX(-13000, 0.01), y), 0x0000FFu);  // master is blue
    SavePng(img, "profile_master");
    EXPECT_EQ(Rgb(img, PixelX(-14000 + 2040 * 12, 0.01), y), 0x0000FFu);  // beyond 2000 points
}

TEST_F(ProfileFrameTest, ZoomTimingAndFitToWindow) {
    ZoomButtonState& z = frame->ZoomState();
    z.Press(1, 1000);
    frame->TimerTick(1100);
    EXPECT_EQ(frame->ScaleY(), 0.005);
    z.Release();
    t.State.CameraLive = true;
    frame->TimerTick(1400);
    EXPECT_EQ(frame->ScaleY(), 0.005);
    t.State.CameraLive = false;
    frame->TimerTick(1500);
    EXPECT_NEAR(frame->ScaleY(), 0.006, 1e-9);
    EXPECT_EQ(frame->PlotWidget()->height(), PlotHeight(frame->ScaleY()));
    EXPECT_EQ(log.back().second, "set Scale=0.010000, 0.006000");
    frame->SetScaleX(0.02);
    frame->SetScaleY(0.01);
    frame->ScrollBox()->resize(404, 294);
    frame->FitToWindowClick();
    EXPECT_NEAR(frame->ScaleY(), 0.005, 1e-12);
    EXPECT_NEAR(frame->ScaleX(), 0.01, 1e-12);
}

TEST_F(ProfileFrameTest, AreaDragIsSentStoredAndReported) {
    frame->EditAreas = true;
    frame->ShowAreas = true;
    frame->SetArea(0, -5000, -5000, 5000, 5000);
    t.Worker.Open = true;
    int selects = 0, changes = 0;
    frame->OnAreaSelect = [&] { ++selects; };
    frame->OnAreaChanged = [&] { ++changes; };
    QImage before = frame->PlotImage();
    const qint64 key = before.cacheKey();
    // Grab the left edge (just outside) and drag it past the right edge.
    PixelPoint p = Px(-5200, 0);
    QWidget* w = frame->PlotWidget();
    SendMouse(w, QEvent::MouseButtonPress, {p.X, p.Y}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(selects, 1);
    SendMouse(w, QEvent::MouseMove, {p.X + 3, p.Y}, Qt::NoButton, Qt::LeftButton);
    SendMouse(w, QEvent::MouseMove, {p.X + 250, p.Y}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(frame->Editor().Working.Left, 5000 - 128);
    // Dragging paints over the plot image; the image itself is not redrawn.
    frame->show();
    QImage during = w->grab().toImage();
    SavePng(during, "profile_drag");
    EXPECT_FALSE(frame->Stale());
    EXPECT_EQ(frame->PlotImage().cacheKey(), key);
    SendMouse(w, QEvent::MouseButtonRelease, {p.X + 250, p.Y}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(t.Worker.Rects.size(), 1u);
    EXPECT_EQ(t.Worker.Rects[0].first, 0);
    EXPECT_EQ(t.Worker.Rects[0].second, (AreaRect{4872, -5000, 5000, 5000}));
    EXPECT_EQ(t.Ctx.GetBank("A1.Left"), 4872);
    EXPECT_EQ(t.Ctx.GetBank("A1.Bottom"), 5000);
    EXPECT_EQ(frame->SelectedArea(), -1);
    EXPECT_TRUE(frame->Stale());
}

TEST_F(ProfileFrameTest, RefusedAreaKeepsEditAndKeysAndStillReports) {
    frame->EditAreas = true;
    frame->SetArea(0, -5000, -5000, 5000, 5000);
    t.Set("A1.Left", -5000);
    t.Worker.Open = true;
    t.Worker.RefuseRect = true;
    int changes = 0;
    frame->OnAreaChanged = [&] { ++changes; };
    PixelPoint p = Px(0, 0);
    Drag({p.X, p.Y}, {p.X + 20, p.Y});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(shared.AreaRects[0], (AreaBounds{-3000, -5000, 7000, 5000}));
    EXPECT_EQ(t.Ctx.GetBank("A1.Left"), -5000);
    EXPECT_EQ(log.back(), (std::pair<int, std::string>{kLogError, "SetArea; invalid rect"}));
    // Not connected: stored, nothing sent, still reported.
    t.Worker.Open = false;
    t.Worker.Rects.clear();
    Drag({p.X + 20, p.Y}, {p.X, p.Y});
    EXPECT_TRUE(t.Worker.Rects.empty());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(shared.AreaRects[0], (AreaBounds{-5000, -5000, 5000, 5000}));
}

TEST_F(ProfileFrameTest, HoverCursorsFollowTheEdgeCode) {
    frame->EditAreas = true;
    frame->SetArea(0, -5000, -5000, 5000, 5000);
    QWidget* w = frame->PlotWidget();
    auto hover = [&](int x, int z) {
        PixelPoint p = Px(x, z);
        SendMouse(w, QEvent::MouseMove, {p.X, p.Y}, Qt::NoButton, Qt::NoButton);
        return w->cursor().shape();
    };
    EXPECT_EQ(hover(-5200, 0), Qt::SizeHorCursor);
    EXPECT_EQ(hover(0, 5400), Qt::SizeVerCursor);
    EXPECT_EQ(hover(-5200, -5400), Qt::SizeFDiagCursor);
    EXPECT_EQ(hover(5200, -5400), Qt::SizeBDiagCursor);
    EXPECT_EQ(hover(0, 0), Qt::SizeAllCursor);
    EXPECT_EQ(hover(12000, 20000), Qt::ArrowCursor);
}

TEST_F(ProfileFrameTest, CorrectionLineDragStopsAtTheOtherLine) {
    t.Set("VCorrect", -1000);
    t.Set("TiltCorPos", 2000);
    t.Set("HCorrect", 0);
    frame->LineMode = 2;
    frame->LinePos = -1000;
    int ups = 0;
    frame->OnMouseUp = [&](Qt::MouseButton) { ++ups; };
    QWidget* w = frame->PlotWidget();
    PixelPoint p = Px(-1000, 0);
    SendMouse(w, QEvent::MouseButtonPress, {p.X + 5, p.Y}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(frame->LineDragging, 2);
    SendMouse(w, QEvent::MouseMove, {p.X + 100, p.Y}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(frame->LinePos, 2000);
    SendMouse(w, QEvent::MouseMove, {p.X + 10, p.Y}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(frame->LinePos, 0);
    SendMouse(w, QEvent::MouseButtonRelease, {p.X + 10, p.Y}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(frame->LineDragging, 0);
    EXPECT_EQ(ups, 1);
    // The tilt line cannot pass VCorrect to the left; a press far away grabs nothing.
    frame->LineMode = 3;
    frame->LinePos = 2000;
    p = Px(2000, 0);
    SendMouse(w, QEvent::MouseButtonPress, {p.X - 50, p.Y}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(frame->LineDragging, 0);
    SendMouse(w, QEvent::MouseButtonRelease, {p.X - 50, p.Y}, Qt::LeftButton, Qt::NoButton);
    SendMouse(w, QEvent::MouseButtonPress, {p.X, p.Y}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(w, QEvent::MouseMove, {0, p.Y}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(frame->LinePos, -1000);
    SendMouse(w, QEvent::MouseButtonRelease, {0, p.Y}, Qt::LeftButton, Qt::NoButton);
    // Lines of the bank: HCorrect blue, VCorrect magenta, TiltCorPos green;
    // the line under edit in mode 3 is black.
    frame->LineMode = 0;
    QImage img = Grab();
    EXPECT_EQ(Rgb(img, PixelX(-1000, 0.01), 20), 0xFF00FFu);
    EXPECT_EQ(Rgb(img, PixelX(2000, 0.01), 20), 0x008000u);
    EXPECT_EQ(Rgb(img, 20, PixelY(0, 0.005)), 0x0000FFu);
    frame->LineMode = 3;
    frame->LinePos = 8000;
    frame->TimerTick(200);  // solid phase
    img = Grab();
    EXPECT_EQ(Rgb(img, PixelX(8000, 0.01), 21), 0x000000u);
    SavePng(img, "profile_lines");
}

TEST_F(ProfileFrameTest, ProfileFileThroughTheFrame) {
    auto dir = std::filesystem::temp_directory_path() / ("kd_pf_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string good = (dir / "good.csv").string();
    const std::string bad = (dir / "bad.csv").string();
    WriteFileAtomic(good, "#KEST profile\r\n1,2\r\n,4\r\n5,\r\n");
    WriteFileAtomic(bad, "#KEST profile\r\n7,8\r\n1 2,3\r\n");
    EXPECT_FALSE(frame->SaveProfileAction()->isEnabled());
    frame->LoadProfileFrom(good);
    EXPECT_EQ(frame->PointCount, 3);
    EXPECT_TRUE(frame->SaveProfileAction()->isEnabled());
    EXPECT_EQ(shared.ProfileBuffer[1], (ProfilePoint{kMissing, 4}));
    frame->LoadProfileFrom(bad);
    EXPECT_EQ(frame->PointCount, 3);
    EXPECT_EQ(shared.ProfileBuffer[0], (ProfilePoint{1, 2}));
    EXPECT_EQ(log.back(),
              (std::pair<int, std::string>{kLogError, "load '" + bad + "': not profile file"}));
    const std::string out = (dir / "out.csv").string();
    frame->SaveProfileTo(out);
    EXPECT_EQ(ReadFileAll(out), "#KEST profile\r\n1,2\r\n,4\r\n5,\r\n");
    std::filesystem::remove_all(dir);
}

TEST_F(ProfileFrameTest, LinkFailureOnReleaseIsLoggedNotThrown) {
    t.Worker.Open = true;
    t.Worker.FailRect = true;
    frame->EditAreas = true;
    frame->SetArea(0, -5000, -5000, 5000, 5000);
    PixelPoint p = Px(0, 0);
    Drag({p.X, p.Y}, {p.X + 20, p.Y});
    EXPECT_EQ(t.Services.Exceptions, (std::vector<std::string>{"no reply"}));
    EXPECT_EQ(shared.AreaRects[0].Left, -3000);  // the edit itself is kept
}

// At a device pixel ratio of 2 the plot is drawn in plot pixels onto twice as
// many screen pixels, as at scale 1 but twice as fine.
TEST_F(ProfileFrameTest, DrawnInLogicalPixelsAtTheDevicePixelRatio) {
    QImage img(600, 580, QImage::Format_RGB32);
    img.setDevicePixelRatio(2);
    frame->DrawPlot(img);
    const int cx = 2 * 150, cy = 2 * 145;
    EXPECT_EQ(Rgb(img, 10, 10), 0xF0F0F0u);
    EXPECT_EQ(Rgb(img, cx + 10, cy + 10), 0xFFFFFFu);
    // the 10 mm line, two screen pixels around its place
    EXPECT_NE(Rgb(img, cx + 198, 6), 0xDCDCDCu);
    EXPECT_EQ(Rgb(img, cx + 199, 6), 0xDCDCDCu);
    EXPECT_EQ(Rgb(img, cx + 200, 6), 0xDCDCDCu);
    EXPECT_NE(Rgb(img, cx + 201, 6), 0xDCDCDCu);
    for (int dx = -2; dx < 2; ++dx) EXPECT_EQ(Rgb(img, cx + dx, 6), 0xDCDCDCu) << dx;  // centre
    EXPECT_EQ(frame->PlotImage().devicePixelRatio(), frame->PlotWidget()->devicePixelRatioF());
}
