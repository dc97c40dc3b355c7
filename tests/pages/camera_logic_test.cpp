// The camera page's rules: the sensor window of a dragged window, grabbing
// and dragging, the Fast picture and its turn, the section's band, the zoom
// ladder, the camera mode's two keys and the automatic exposure's read-back.
#include <gtest/gtest.h>

#include "common/log.h"
#include "link/commands.h"
#include "pages/camera_logic.h"
#include "pages/settings_table.h"
#include "tests/support/test_context.h"

using namespace kd;
using namespace kd::camera;
using kd::test::TFakeWorker;
using kd::test::TTestContext;

TEST(CameraLogic, DraggedWindowBecomesASensorWindowOnTheGrid) {
    struct Case {
        TViewRect View;
        CamRect Sent;  // left, top, height, width
    };
    const Case cases[] = {
        // Past the right edge: x = 0, the width less the overhang.
        {{432, 0, 832, 160}, {0, 0, 160, 368}},
        // Rounded outwards so that it still covers the window.
        {{100, 20, 500, 120}, {288, 16, 112, 416}},
        // Above the top: the height less the overhang.
        {{0, -48, 800, 752}, {0, 0, 752, 800}},
        // Past the left edge (beyond the sensor's last column): cut there.
        {{-96, 0, 304, 160}, {496, 0, 160, 304}},
        // A sliver at the far edge still gives a window the sensor takes.
        {{799, 799, 830, 830}, {0, 784, 16, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>{c.View.left, c.View.top}));
        const CamRect r = SensorWindowFor(c.View);
        EXPECT_EQ(r, c.Sent);
        for (int v : {r.left, r.top, r.height, r.width}) EXPECT_EQ(v % 16, 0);
        EXPECT_LE(r.left + r.width, 800);
        EXPECT_LE(r.top + r.height, 800);
        EXPECT_FALSE(OutsidePicture(c.View));
    }
    EXPECT_TRUE(OutsidePicture({-300, 0, -1, 100}));
    EXPECT_TRUE(OutsidePicture({800, 0, 900, 100}));
    EXPECT_TRUE(OutsidePicture({0, 800, 100, 900}));
    // A window of the image and of the sensor in view coordinates (x mirrored).
    EXPECT_EQ(WindowOfSensor({288, 16, 112, 416}), (TViewRect{96, 16, 512, 128}));
}

TEST(CameraLogic, GrabCodesAndDragging) {
    const TViewRect w{100, 100, 300, 200};
    struct Case {
        int X, Y, Code;
    };
    for (const Case& c : std::vector<Case>{{85, 150, 0},
                                           {92, 150, 1},
                                           {305, 150, 2},
                                           {200, 95, 4},
                                           {200, 195, 8},
                                           {105, 105, 5},
                                           {295, 195, 10},
                                           {200, 150, 15}}) {
        EXPECT_EQ(GrabCode(w, c.X, c.Y), c.Code) << c.X << "," << c.Y;
    }
    TWindowDrag d;
    d.Start(w, 15);
    d.Move(35, -20, 1.0, 1.0);
    EXPECT_EQ(d.Live, (TViewRect{135, 80, 335, 180}));
    EXPECT_EQ(d.Snapped, (TViewRect{132, 84, 332, 184}));
    // At zoom 2 the pointer moves twice as far for the same pixels.
    d.Start(w, 15);
    d.Move(70, 0, 2.0, 2.0);
    EXPECT_EQ(d.Snapped.left, 132);
    // The left edge stops before it would pass the right one.
    d.Start(w, 1);
    d.Move(150, 0, 1.0, 1.0);
    EXPECT_EQ(d.Live.left, 250);
    d.Move(250, 0, 1.0, 1.0);
    EXPECT_EQ(d.Live.left, 250);
    EXPECT_EQ(d.Live.right, 300);
}

TEST(CameraLogic, FastPictureIsHalfSizeAndTurnedToFillTheWindow) {
    const TViewRect w{200, 100, 600, 260};  // 400 wide, 160 high
    const TPictureSize s = PictureSizeFor(w, 2);
    EXPECT_EQ(s.Width, 80);
    EXPECT_EQ(s.Height, 200);
    EXPECT_EQ(PictureSizeFor(w, 0).Width, 160);
    TBitmap src;
    src.width = s.Width;
    src.height = s.Height;
    src.pixels.resize(80 * 200);
    for (int r = 0; r < 200; ++r)
        for (int c = 0; c < 80; ++c) src.pixels[static_cast<size_t>(r * 80 + c)] = (r + c) & 0xFF;
    const TBitmap v = TurnIntoView(src, 400, 160);
    ASSERT_EQ(v.width, 400);
    ASSERT_EQ(v.height, 160);
    auto at = [&](int x, int y) { return v.pixels[static_cast<size_t>(y * 400 + x)]; };
    // View (x, y) shows column y and row w - 1 - x, both halved.
    EXPECT_EQ(at(0, 0), (199 + 0) & 0xFF);
    EXPECT_EQ(at(399, 0), 0);
    EXPECT_EQ(at(10, 150), ((389 / 2) + 75) & 0xFF);
    // A picture that does not hold its pixels is not read.
    src.pixels.resize(10);
    EXPECT_EQ(TurnIntoView(src, 400, 160).width, 0);
}

TEST(CameraLogic, SectionBandAndLinePositions) {
    std::vector<uint8_t> s(100, 5);
    EXPECT_EQ(FindPeak(s, 32, 20).Value, 0);  // nothing reaches the threshold: no band
    for (int i = 40; i < 50; ++i) s[static_cast<size_t>(i)] = 100;
    s[44] = 200;
    s[46] = 200;  // the first on ties
    const TSectionPeak p = FindPeak(s, 32, 30);
    EXPECT_EQ(p.Value, 200);
    EXPECT_EQ(p.Level, 60);
    EXPECT_EQ(p.Upper, 39);
    EXPECT_EQ(p.Lower, 50);
    std::vector<uint8_t> top(10, 90);
    const TSectionPeak whole = FindPeak(top, 10, 50);
    EXPECT_EQ(whole.Upper, 0);
    EXPECT_EQ(whole.Lower, 10);

    // Entries after the header, in 1/64 pixel, with the head offsets.
    const std::vector<uint16_t> second = {2 << 5, 0, 300 * 64, 400 * 64, 310 * 64, 64 * 64};
    const auto line = LinePositions(second, 5, 1, 2);  // more counted than held
    ASSERT_EQ(line.size(), 2u);
    EXPECT_DOUBLE_EQ(line[0].x, 8 - 300 + 800);
    EXPECT_DOUBLE_EQ(line[0].y, 400 - 16);
}

TEST(CameraLogic, ZoomLadder) {
    EXPECT_DOUBLE_EQ(ZoomUp(1.0), 1.2f);
    EXPECT_DOUBLE_EQ(ZoomUp(2.0), 2.0);
    EXPECT_DOUBLE_EQ(ZoomUp(0.1), 0.25);
    EXPECT_DOUBLE_EQ(ZoomDown(1.0), 0.945f);
    EXPECT_DOUBLE_EQ(ZoomDown(0.25), 0.25);
    EXPECT_DOUBLE_EQ(ZoomDown(1.5), 1.41f);
}

TEST(CameraLogic, CameraModeKeysAndReadBack) {
    TTestContext t;
    std::vector<std::string> log;
    ScopedLogSink sink{[&](int, const std::string& l) { log.push_back(l); }};
    const TSetting& mode = *FindSettingByKey("CamModeNR");
    t.Worker.Replies[cmd::GET_SHUTT1] = {0x00, 0x64};  // 100 -> 500 us
    // NR: CamMode 0 with CamNR 1, CAM_FUNC 3, then the HDR shutter read back.
    t.Set("CamMode", 1);
    EXPECT_EQ(ChooseSetting(mode, t.Ctx, 3).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("CamMode"), 0);
    EXPECT_EQ(t.Ctx.GetBank("CamNR"), 1);
    ASSERT_EQ(t.Worker.Sent.size(), 2u);
    EXPECT_EQ(t.Worker.Sent[0], (TFakeWorker::TSent{cmd::CAM_FUNC, {0, 3}}));
    EXPECT_EQ(t.Worker.Sent[1].Code, cmd::GET_SHUTT1);
    EXPECT_EQ(t.Ctx.GetBank("HDRShutter"), 500);
    EXPECT_EQ(log.front(), "CAM_FUNC(3)");
    // Shown positions: NR wins; HDR, Fast; anything else is Hi-res.
    struct Case {
        int Mode, NR, Position;
    };
    for (const Case& c : std::vector<Case>{{1, 1, 3}, {1, 0, 2}, {2, 0, 1}, {3, 0, 0}, {0, 0, 0}}) {
        t.Set("CamMode", c.Mode);
        t.Set("CamNR", c.NR);
        EXPECT_EQ(ShownValue(mode, t.Ctx), c.Position) << c.Mode << "," << c.NR;
    }
    // Fast with Sync off: the keys only.
    t.Services.SyncOn = false;
    t.Worker.Sent.clear();
    ChooseSetting(mode, t.Ctx, 1);
    EXPECT_EQ(t.Ctx.GetBank("CamMode"), 2);
    EXPECT_EQ(t.Ctx.GetBank("CamNR"), 0);
    EXPECT_TRUE(t.Worker.Sent.empty());
    // Typing 12 into the shutter: 10 us stored, SET_SHUTT0 2.
    t.Services.SyncOn = true;
    EXPECT_EQ(EditSetting(*FindSettingByKey("Shutter"), t.Ctx, "12").Result,
              TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("Shutter"), 10);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_SHUTT0, {0, 2}}));
    EXPECT_EQ(log.back(), "SET_SHUTT0(2)");
}

TEST(CameraLogic, AutoExposureReadsTheSensorsChoiceBack) {
    TTestContext t;
    t.Worker.Replies[cmd::GET_AE_STATE] = {0, 0};
    t.Worker.Replies[cmd::GET_SHUTT0] = {0x01, 0x00};  // 256 -> 1280 us
    t.Worker.Replies[cmd::GET_SHUTT1] = {0x08, 0x00};  // 2048 -> out of range, kept
    t.Worker.Replies[cmd::GET_CAM_FUNC] = {0, 2};      // HDR
    t.Worker.Replies[cmd::GET_SNS] = {0, 4};
    t.Worker.Replies[cmd::GET_CUT_LVL] = {0, 31};
    t.Worker.Replies[cmd::GET_THD_LVL] = {0, 200};  // beyond 127: kept
    t.Set("HDRShutter", 40);
    t.Set("LowIntensity", 20);
    t.Set("CamMode", 1);
    t.Set("CamNR", 1);
    const TAeResult r = RunAutoExposure(t.Ctx, [] { return true; });
    EXPECT_TRUE(r.Finished);
    // The list shows the mode read; the keys are Hi-res.
    EXPECT_EQ(r.Position, 2);
    EXPECT_EQ(t.Ctx.GetBank("CamMode"), 0);
    EXPECT_EQ(t.Ctx.GetBank("CamNR"), 0);
    EXPECT_EQ(t.Ctx.GetBank("Shutter"), 1280);
    EXPECT_EQ(r.Gain, 4);
    EXPECT_EQ(t.Ctx.GetBank("Gain"), 4);
    EXPECT_EQ(t.Ctx.GetBank("MeasureLimit"), 31);
    // Values the keys cannot hold stay out of the image; the page shows them red.
    EXPECT_EQ(r.HdrShutter, 10240);
    EXPECT_EQ(t.Ctx.GetBank("HDRShutter"), 40);
    EXPECT_EQ(r.Reject, 200);
    EXPECT_EQ(t.Ctx.GetBank("LowIntensity"), 20);
    // No SET_SHUTT0 goes back for the shutter that was read.
    for (const auto& s : t.Worker.Sent) EXPECT_NE(s.Code, cmd::SET_SHUTT0);
    EXPECT_EQ(t.Worker.Sent.front().Code, cmd::RUN_AE);
}
