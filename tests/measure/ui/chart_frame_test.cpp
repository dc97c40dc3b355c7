#include <gtest/gtest.h>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/chart_geometry.h"
#include "measure/ui/chart_frame.h"
#include "ui_test_util.h"

using namespace kd;
using namespace kd::test;

namespace {
constexpr double kMsDay = 1.0 / 86400000.0;
constexpr double kNow = 46000.5;

class ChartFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        frame.Data = &data;
        frame.Now = [] { return kNow; };
        frame.resize(404, 204);  // bitmap 400 x 200
        frame.show();
    }
    void Fill(int samples, int32_t (*value)(int ch, int i)) {
        for (int i = 0; i < samples; ++i) {
            for (int ch = 0; ch < 6; ++ch) data.SetValue(ch, value(ch, i));
            data.SetTime(kNow - (samples - 1 - i) * 10 * kMsDay);
            data.Advance();
        }
    }
    QApplication& app = App();  // before any widget member
    TChartData data;
    TChartFrame frame;
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
};
}  // namespace

TEST_F(ChartFrameTest, GridAndBackground) {
    const QImage& img = frame.BackBitmap();
    ASSERT_EQ(img.width(), 400);
    ASSERT_EQ(img.height(), 200);
    EXPECT_EQ(Rgb(img, 200, 100), 0x808080u);  // zero line, solid
    EXPECT_EQ(Rgb(img, 150, 100), 0x808080u);
    EXPECT_EQ(Rgb(img, 300, 300 - 200), 0x808080u);
    // Time line at x = 300 (1 s back), dotted: grey and black in turn.
    int grey = 0;
    for (int y = 30; y < 170; ++y) grey += Rgb(img, 300, y) == 0x808080u;
    EXPECT_GT(grey, 30);
    EXPECT_LT(grey, 140);
    EXPECT_EQ(Rgb(img, 250, 50), 0x000000u);  // background
    SavePng(frame.PaintBox()->grab().toImage(), "chart_empty");
}

TEST_F(ChartFrameTest, ChannelLinesInTheirColours) {
    frame.ChMask = 0x3F;
    Fill(3000, [](int ch, int i) { return (ch - 2) * 15000 + (i % 300) * 20; });
    frame.Refresh();
    const QImage& img = frame.BackBitmap();
    const ChartColors c;
    // Channel 2 (value 0 + i%300*20) near the right edge: colour of channel 2.
    int half = 100;
    int32_t v = (2998 % 300) * 20;
    int y = ChartY(half, 1.0, v);
    int x = ChartX(400, 1.0, kNow, kNow - 10 * kMsDay);
    EXPECT_EQ(Rgb(img, x, y), FromRef(c.Lines[2]));
    SavePng(frame.PaintBox()->grab().toImage(), "chart_full");
    // Channels outside ChMask are not drawn.
    frame.ChMask = 0;
    frame.Refresh();
    EXPECT_NE(Rgb(frame.BackBitmap(), x, y), FromRef(c.Lines[2]));
}

TEST_F(ChartFrameTest, GapsSplitTheLine) {
    frame.ChMask = 1;
    Fill(400, [](int, int i) { return (i / 50) % 2 ? kNoValue : 20000; });
    frame.Refresh();
    const QImage& img = frame.BackBitmap();
    const ChartColors c;
    const int y = ChartY(100, 1.0, 20000);
    // Sample i sits at x = 400 - (399 - i); samples 50..99 are missing.
    EXPECT_EQ(Rgb(img, 400 - (399 - 25), y), FromRef(c.Lines[0]));
    EXPECT_NE(Rgb(img, 400 - (399 - 75), y), FromRef(c.Lines[0]));
    SavePng(frame.PaintBox()->grab().toImage(), "chart_gaps");
}

TEST_F(ChartFrameTest, ZoomLimitsRaiseChartScaleError) {
    frame.ZoomUpVertClick();
    frame.ZoomUpVertClick();
    frame.ZoomUpVertClick();
    EXPECT_EQ(frame.VScale(), 8.0);
    EXPECT_EQ(log.back().second, "set Scale=1.000000, 8.000000");
    frame.ZoomUpVertClick();
    EXPECT_EQ(frame.VScale(), 8.0);
    EXPECT_EQ(log.back(), (std::pair<int, std::string>{kLogError, "chart scale error"}));
    frame.ZoomDownHorizClick();
    frame.ZoomDownHorizClick();
    EXPECT_EQ(frame.HScale(), 0.25);
    frame.ZoomDownHorizClick();
    EXPECT_EQ(frame.HScale(), 0.25);
    EXPECT_EQ(log.back().second, "chart scale error");
    EXPECT_THROW(frame.SetHScale(16), EKestError);
    EXPECT_THROW(frame.SetVScale(0.1), EKestError);
    EXPECT_NO_THROW(frame.SetVScale(8.0));  // unchanged value: nothing to check
}

TEST_F(ChartFrameTest, PaintWithoutChangeIsACopy) {
    frame.BackBitmap();
    EXPECT_FALSE(frame.Dirty());
    const qint64 key = frame.BackBitmap().cacheKey();
    frame.PaintBox()->grab();
    EXPECT_EQ(frame.BackBitmap().cacheKey(), key);
    frame.SetHScale(2.0);
    EXPECT_TRUE(frame.Dirty());
    frame.resize(300, 100);
    EXPECT_EQ(frame.BackBitmap().width(), 296);
    EXPECT_EQ(frame.BackBitmap().height(), 96);
}

// At a device pixel ratio of 2 the chart is drawn in the paint box's own
// pixels onto twice as many screen pixels: the grid where it is at scale 1,
// and the 2-px line four screen pixels thick without gaps.
TEST_F(ChartFrameTest, DrawnInLogicalPixelsAtTheDevicePixelRatio) {
    frame.ChMask = 1;
    Fill(400, [](int, int) { return 20000; });
    QImage img(800, 400, QImage::Format_RGB32);
    img.setDevicePixelRatio(2);
    frame.DrawChart(img);
    const ChartColors c;
    EXPECT_EQ(Rgb(img, 400, 200), 0x808080u);  // zero line at logical (200, 100)
    EXPECT_EQ(Rgb(img, 500, 100), 0x000000u);
    const int y = 2 * ChartY(100, 1.0, 20000), x = 2 * 200;
    for (int dy = 0; dy < 4; ++dy) EXPECT_EQ(Rgb(img, x, y + dy), FromRef(c.Lines[0])) << dy;
    EXPECT_NE(Rgb(img, x, y + 4), FromRef(c.Lines[0]));
    SavePng(img, "chart_dpr2");
}
