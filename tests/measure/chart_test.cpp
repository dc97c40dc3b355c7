#include <gtest/gtest.h>

#include "common/kest_error.h"
#include "measure/chart_data.h"
#include "measure/chart_geometry.h"

using namespace kd;

namespace {
constexpr double kMsDay = 1.0 / 86400000.0;

void Push(TChartData& d, int32_t v, double t) {
    for (int ch = 0; ch < TChartData::kChannels; ++ch) d.SetValue(ch, v + ch);
    d.SetTime(t);
    d.Advance();
}
}  // namespace

TEST(ChartData, HeadCountAndReadableRange) {
    TChartData d(5);
    EXPECT_EQ(d.Count(), 0);
    EXPECT_THROW(d.Value(0, 0), EKestError);
    for (int i = 0; i < 4; ++i) Push(d, i * 10, i);
    EXPECT_EQ(d.Head(), 4);
    EXPECT_EQ(d.Count(), 4);
    EXPECT_EQ(d.Value(0, 0), 0);
    EXPECT_EQ(d.Value(2, 3), 32);
    EXPECT_EQ(d.Time(3), 3.0);
    EXPECT_THROW(d.Value(0, 4), EKestError);
    EXPECT_THROW(d.Value(0, -1), EKestError);  // Head - Count - 1 is -1: not a sample
    EXPECT_THROW(d.Value(6, 0), EKestError);
    EXPECT_THROW(d.Value(-1, 0), EKestError);
    EXPECT_THROW(d.SetValue(6, 1), EKestError);
    try {
        d.Time(99);
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "");
    }
}

TEST(ChartData, WrapAroundAfterCapacity) {
    TChartData d(3000);
    for (int i = 0; i < 3005; ++i) Push(d, i, i);
    EXPECT_EQ(d.Head(), 3005);
    EXPECT_EQ(d.Count(), 2999);
    // Oldest readable: Head - Count - 1 = 5, in slot 5.
    EXPECT_THROW(d.Value(0, 4), EKestError);
    EXPECT_EQ(d.Value(0, 5), 5);
    EXPECT_EQ(d.Value(0, 3004), 3004);
    EXPECT_EQ(d.Time(2000), 2000.0);
    d.Clear();
    EXPECT_EQ(d.Head(), 0);
    EXPECT_EQ(d.Count(), 0);
    EXPECT_THROW(d.Value(0, 0), EKestError);
}

TEST(ChartValueGrid, LinesLabelsAndThreshold) {
    ChartValueGrid g = ChartValueGridFor(200, 1.0, 0);
    ASSERT_FALSE(g.Lines.empty());
    EXPECT_TRUE(g.Labels);  // half 100: 100 * 10000 / 50000 = 20 > 9
    // v = 0: both lines coincide at the middle, both labels exist.
    EXPECT_EQ(g.Lines[0].YUp, 100);
    EXPECT_EQ(g.Lines[0].YDown, 100);
    EXPECT_EQ(g.Lines[0].UpText, "+0.000");
    EXPECT_EQ(g.Lines[0].DownText, "-0.000");
    EXPECT_TRUE(g.Lines[0].Solid);
    EXPECT_EQ(g.Lines[1].YUp, 80);
    EXPECT_EQ(g.Lines[1].YDown, 120);
    EXPECT_FALSE(g.Lines[1].Solid);
    EXPECT_EQ(g.Lines[1].UpText, "+10.000");
    // Lines up to 50000 (y = 0) then stop.
    EXPECT_EQ(g.Lines.back().Value, 50000);
    EXPECT_EQ(g.Lines.back().YUp, 0);
    // Micrometre labels are integers; a multiple of 100000 is solid.
    g = ChartValueGridFor(200, 0.25, 1);
    EXPECT_EQ(g.Lines[1].UpText, "+10000");
    EXPECT_TRUE(g.Lines[10].Solid);
}

TEST(ChartValueGrid, LowBitmapHasLinesWithoutLabels) {
    ChartValueGrid g = ChartValueGridFor(89, 1.0, 0);  // half 44: 8.8 -> 8
    EXPECT_FALSE(g.Labels);
    EXPECT_GT(g.Lines.size(), 1u);
    EXPECT_TRUE(g.Lines[1].UpText.empty());
    EXPECT_TRUE(ChartValueGridFor(99, 1.0, 0).Labels == false);  // half 49 -> 9, not > 9
    EXPECT_TRUE(ChartValueGridFor(100, 1.0, 0).Labels);          // half 50 -> 10
    // Degenerate heights end.
    EXPECT_EQ(ChartValueGridFor(0, 1.0, 0).Lines.size(), 1u);
    EXPECT_EQ(ChartValueGridFor(1, 1.0, 0).Lines.size(), 1u);
}

TEST(ChartTimeGrid, StepsSolidLinesAndLabels) {
    auto lines = ChartTimeGridFor(1000, 1.0);
    ASSERT_EQ(lines.size(), 10u);  // x = 900 .. 0 (x = 1000 is m = 0)
    EXPECT_EQ(lines[0].X, 900);
    EXPECT_EQ(lines[0].Text, "-1.000");
    EXPECT_FALSE(lines[0].Solid);
    EXPECT_EQ(lines.back().X, 0);
    EXPECT_EQ(lines.back().Text, "-10.000");
    for (auto& l : lines) EXPECT_TRUE(l.Labeled);
    // Zoom 0.5: only every tenth line carries a label.
    lines = ChartTimeGridFor(1000, 0.5);
    ASSERT_EQ(lines.size(), 20u);
    for (size_t i = 0; i < lines.size(); ++i) {
        int c = static_cast<int>(i) + 1;
        EXPECT_EQ(lines[i].Labeled, c % 10 == 0) << c;
    }
    // Zoom 0.25 reaches 60 s: the 60th line is solid.
    lines = ChartTimeGridFor(1600, 0.25);
    ASSERT_GE(lines.size(), 60u);
    EXPECT_TRUE(lines[59].Solid);
    EXPECT_EQ(lines[59].Text, "-60.000");
}

TEST(ChartChannelPath, NewestLabelGapsAndStop) {
    TChartData d(100);
    const double now = 1.0;
    // Ten samples 100 ms apart; sample 4 is missing on channel 0.
    for (int i = 0; i < 10; ++i) {
        d.SetValue(0, i == 4 ? kNoValue : 1000 * i);
        d.SetTime(now - (9 - i) * 100 * kMsDay);
        d.Advance();
    }
    ChartChannelPath p = ChartChannelPathFor(d, 0, 400, 200, 1.0, 1.0, now);
    EXPECT_TRUE(p.HasLabel);
    EXPECT_EQ(p.LabelText, "9.000");
    EXPECT_EQ(p.LabelEnd.X, 400);
    EXPECT_EQ(p.LabelEnd.Y, 100 - 9000 * 100 / 50000);
    ASSERT_EQ(p.Pieces.size(), 2u);
    // Newest is not on the line: first piece is samples 8..5, second 3..0.
    EXPECT_EQ(p.Pieces[0].size(), 4u);
    EXPECT_EQ(p.Pieces[0][0].X, 390);
    EXPECT_EQ(p.Pieces[1].size(), 4u);
    EXPECT_EQ(p.Pieces[1].back().X, 310);
    // Newest missing: no label.
    d.SetValue(0, kNoValue);
    d.SetTime(now);
    d.Advance();
    EXPECT_FALSE(ChartChannelPathFor(d, 0, 400, 200, 1.0, 1.0, now).HasLabel);
    // The walk stops after the first point left of the bitmap.
    p = ChartChannelPathFor(d, 1, 25, 200, 1.0, 1.0, now);
    ASSERT_EQ(p.Pieces.size(), 1u);
    EXPECT_LT(p.Pieces[0].back().X, 0);
    EXPECT_GE(p.Pieces[0][p.Pieces[0].size() - 2].X, 0);
}

TEST(ChartChannelPath, FullRingSpans2999SamplesInBoundedPieces) {
    TChartData d(3000);
    const double now = 10.0;
    for (int i = 0; i < 3500; ++i) {
        for (int ch = 0; ch < 6; ++ch) d.SetValue(ch, i);
        d.SetTime(now - (3499 - i) * 0.01 * kMsDay);  // 100 samples per ms: all within the width
        d.Advance();
    }
    ChartChannelPath p = ChartChannelPathFor(d, 2, 800, 200, 1.0, 1.0, now);
    size_t points = 0;
    for (size_t k = 0; k < p.Pieces.size(); ++k) {
        EXPECT_LE(p.Pieces[k].size(), kChartPolylinePoints);
        points += p.Pieces[k].size() - (k > 0 ? 1 : 0);  // joints repeat a point
        if (k > 0) {
            EXPECT_EQ(p.Pieces[k][0], p.Pieces[k - 1].back());
        }
    }
    EXPECT_EQ(points, 2999u);  // Head - 2 down to Head - 3000
    EXPECT_EQ(p.Pieces.size(), 4u);
}

TEST(ChartChannelPath, EmptyDataAndBadChannel) {
    TChartData d(10);
    EXPECT_TRUE(ChartChannelPathFor(d, 0, 100, 100, 1, 1, 0).Pieces.empty());
    Push(d, 5, 0);
    EXPECT_TRUE(ChartChannelPathFor(d, 7, 100, 100, 1, 1, 0).Pieces.empty());
    ChartChannelPath p = ChartChannelPathFor(d, 0, 100, 100, 1, 1, 0);
    EXPECT_TRUE(p.HasLabel);
    EXPECT_TRUE(p.Pieces.empty());  // one sample: label only
}

TEST(ChartChannelPath, OldTimeStampsAndHugeValuesStayInIntRange) {
    TChartData d(10);
    d.SetValue(0, 2000000000);
    d.SetTime(-1e9);  // far in the past
    d.Advance();
    d.SetValue(0, -2000000000);
    d.SetTime(0);
    d.Advance();
    ChartChannelPath p = ChartChannelPathFor(d, 0, 100, 1000, 8.0, 8.0, 1e9);
    ASSERT_EQ(p.Pieces.size(), 1u);
    EXPECT_EQ(p.Pieces[0][0].X, INT32_MIN);
    EXPECT_LT(p.Pieces[0][0].Y, 0);
    EXPECT_GT(p.LabelEnd.Y, 1000);
}

TEST(ChartCollapse, ColumnsKeepFirstExtremesAndLast) {
    using P = PixelPoint;
    std::vector<P> in = {{10, 5}, {10, 9}, {10, 1}, {10, 4}, {9, 4}, {8, 3}, {8, 3}, {7, 0}};
    std::vector<P> out;
    CollapseColumns(in, out);
    EXPECT_EQ(out, (std::vector<P>{{10, 5}, {10, 9}, {10, 1}, {10, 4}, {9, 4}, {8, 3}, {7, 0}}));
    in = {{3, 3}, {3, 7}, {3, 2}, {3, 6}, {3, 5}};
    CollapseColumns(in, out);
    EXPECT_EQ(out, (std::vector<P>{{3, 3}, {3, 7}, {3, 2}, {3, 5}}));
    CollapseColumns({}, out);
    EXPECT_TRUE(out.empty());
    in = {{1, 1}};
    CollapseColumns(in, out);
    EXPECT_EQ(out.size(), 1u);
}

TEST(ChartTags, StackedWithoutOverlapInsideTheChart) {
    struct Case {
        std::vector<int> tops, want;
    };
    const Case cases[] = {
        {{}, {}},
        {{10, 50}, {10, 50}},                // apart: where the samples are
        {{100, 100, 105}, {100, 110, 120}},  // equal values: one below the other
        {{105, 100}, {110, 100}},            // in any order
        {{228, 229}, {220, 230}},            // pushed past the bottom: moved up
        {{250, 225}, {250, 225}},            // a value below the chart stays below
        {{-30, -25}, {-30, -20}},            // above the chart: stacked, not pulled in
    };
    for (const Case& c : cases)
        EXPECT_EQ(StackChartTags(c.tops, 10, 240), c.want) << ::testing::PrintToString(c.tops);
}
