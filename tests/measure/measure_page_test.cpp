#include <gtest/gtest.h>

#include "fake_keys.h"
#include "measure/measure_page_logic.h"

using namespace kd;
using kd::test::EnglishTexts;
using kd::test::FakeKeys;

namespace {
const std::array<std::string, 4> kMm = {"mm", "mm", "mm", "mm"};
const std::array<GaugeGeometry, 3> kGauges = {GaugeGeometry{100, 80}, GaugeGeometry{100, 80},
                                              GaugeGeometry{100, 80}};

FakeKeys PageKeys() {
    FakeKeys k;
    k.Bank = {{"O1.Ch", 0},        {"O2.Ch", 1},         {"O3.Ch", 4},         {"Ana.Ch", 2},
              {"O1.ULimit", 1000}, {"O1.LLimit", -1000}, {"O2.ULimit", 500},   {"O2.LLimit", 500},
              {"O3.ULimit", 100},  {"O3.LLimit", 0},     {"Ana.ULimit", 2000}, {"Ana.LLimit", 0},
              {"C1.Offset", 0},    {"C3.Offset", 1000}};
    return k;
}
}  // namespace

TEST(AnalogEstimate, AtLimitsBeyondAndWithoutValue) {
    EXPECT_EQ(AnalogEstimate(0, 0, 2000), 4000);
    EXPECT_EQ(AnalogEstimate(2000, 0, 2000), 20000);
    EXPECT_EQ(AnalogEstimate(1000, 0, 2000), 12000);
    EXPECT_EQ(AnalogEstimate(2500, 0, 2000), 24000 - 0);  // 24000 exactly at 2500
    EXPECT_EQ(AnalogEstimate(2499, 0, 2000), 23992);
    EXPECT_EQ(AnalogEstimate(100000, 0, 2000), 24000);
    EXPECT_EQ(AnalogEstimate(-501, 0, 2000), 24000);  // below 0 µA
    EXPECT_EQ(AnalogEstimate(-500, 0, 2000), 0);
    EXPECT_EQ(AnalogEstimate(-250, 0, 2000), 2000);
    EXPECT_EQ(AnalogEstimate(kNoValue, 0, 2000), 24000);
    EXPECT_EQ(AnalogEstimate(5, 10, 10), 24000);
    EXPECT_EQ(AnalogEstimate(5, 20, 10), 24000);
    // No 32-bit overflow for wide ranges.
    EXPECT_EQ(AnalogEstimate(0, -200000000, 200000000), 12000);
}

TEST(MeasureRender, AnalogEstimatedBelowVersion77) {
    FakeKeys k = PageKeys();
    MeasureLive live;
    live.SoftVersion = 76;
    live.Channel[2] = 1000;  // L = 1000, U = 3000 with the channel offset
    live.AnalogCurrent = 7777;
    MeasureView v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.CurrentText, "4.000");
    EXPECT_EQ(v.AnalogValueText, "1.000");
    EXPECT_EQ(v.AnalogColor, kJudgeLime);
    live.Channel[2] = 3000;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).CurrentText, "20.000");
    live.Channel[2] = 90000;
    v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.CurrentText, "24.000");
    EXPECT_EQ(v.AnalogColor, kJudgeRed);
    live.Channel[2] = kNoValue;
    v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.CurrentText, "24.000");
    EXPECT_EQ(v.AnalogValueText, "-.---");
    EXPECT_EQ(v.AnalogColor, kJudgeRed);  // the no-value mark counts as above
    live.Channel[2] = 999;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).AnalogColor, kJudgeRed);
}

TEST(MeasureRender, AnalogMeasuredFromVersion77) {
    FakeKeys k = PageKeys();
    MeasureLive live;
    live.SoftVersion = 77;
    live.Channel[2] = 1000;
    live.Output[3] = 2500;
    live.AnalogCurrent = 12345;
    MeasureView v = RenderMeasure(live, k, kMm, 2, kGauges);
    EXPECT_EQ(v.CurrentText, "12.345");
    EXPECT_EQ(v.AnalogValueText, "2.50");
    EXPECT_EQ(v.AnalogColor, kJudgeLime);
    EXPECT_TRUE(ShowsMeasuredCurrent(0));
    EXPECT_FALSE(ShowsMeasuredCurrent(76));
    EXPECT_FALSE(ShowsMeasuredCurrent(78));
    EXPECT_TRUE(ShowsMeasuredCurrent(79));
}

TEST(MeasureRender, GaugePointerAtAndBeyondLimits) {
    FakeKeys k = PageKeys();
    MeasureLive live;
    live.Output[0] = -1000;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).Outputs[0].PointerLeft, 100);
    live.Output[0] = 1000;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).Outputs[0].PointerLeft, 100 + 75);
    live.Output[0] = 0;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).Outputs[0].PointerLeft, 100 + 37);
    live.Output[0] = 1001;
    MeasureView v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.Outputs[0].PointerLeft, 175);  // 5 px inside the right end
    EXPECT_TRUE(v.Outputs[0].PointerVisible);
    live.Output[0] = -5000;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).Outputs[0].PointerLeft, 100);
    live.Output[0] = kNoValue;
    v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.Outputs[0].PointerLeft, 175);
    EXPECT_EQ(v.Outputs[0].Text, "-.---");
}

TEST(MeasureRender, JudgementColoursAndUnscalableGauge) {
    FakeKeys k = PageKeys();
    MeasureLive live;
    live.Output = {10, 20, 30, 0};
    live.OutputDisplayBits = 0b010;
    MeasureView v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.Outputs[0].Color, kJudgeLime);
    EXPECT_EQ(v.Outputs[1].Color, kJudgeRed);
    // Output 2: U = L = 500: no pointer, but the text is current.
    EXPECT_FALSE(v.Outputs[1].PointerVisible);
    EXPECT_EQ(v.Outputs[1].Text, "0.020");
    // Output 3 reads channel 4 which has no offset key set: plain limits.
    EXPECT_TRUE(v.Outputs[2].PointerVisible);
    EXPECT_EQ(v.Outputs[2].PointerLeft, 100 + 30 * 75 / 100);
}

TEST(MeasureRender, ReadyAndStrobeShowGreyNoValue) {
    FakeKeys k = PageKeys();
    k.Bank["O1.Action"] = 3;  // Ready
    k.Bank["O2.Action"] = 4;  // Strobe
    k.Bank["O3.Action"] = 5;  // OneShot2: a judged output
    MeasureLive live;
    live.Output = {10, 20, 30, 0};
    live.OutputDisplayBits = 0b111;
    MeasureView v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.Outputs[0].Text, "-.---");
    EXPECT_EQ(v.Outputs[0].Color, kJudgeGrey);
    EXPECT_FALSE(v.Outputs[0].PointerVisible);
    EXPECT_EQ(v.Outputs[1].Color, kJudgeGrey);
    EXPECT_EQ(v.Outputs[2].Color, kJudgeRed);
    std::array<std::string, 4> um = {"um", "um", "um", "um"};
    EXPECT_EQ(RenderMeasure(live, k, um, 3, kGauges).Outputs[0].Text, "---");
}

TEST(MeasureRender, StatusAndSamplingPeriod) {
    FakeKeys k = PageKeys();
    MeasureLive live;
    live.SamplingPeriod = 400;  // 400 x 5 µs = 2 ms
    live.HoldOn = true;
    live.InternalTrigger = true;
    MeasureView v = RenderMeasure(live, k, kMm, 3, kGauges);
    EXPECT_EQ(v.SampleText, "2.00");
    EXPECT_TRUE(v.Hold);
    EXPECT_TRUE(v.Trigger);
    EXPECT_FALSE(v.Laser);
    live.SamplingPeriod = 65535;
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).SampleText, "327.68");
    // An analog source channel outside 0..5 reads no value and no offset.
    k.Bank["Ana.Ch"] = 9;
    live.SoftVersion = 50;
    live.Channel.fill(100);
    EXPECT_EQ(RenderMeasure(live, k, kMm, 3, kGauges).CurrentText, "24.000");
}

TEST(MeasureSources, UnitsSourcesAndMidLines) {
    FakeKeys k = PageKeys();
    k.Bank["A1.Func"] = 0;
    k.Bank["A2.Func"] = 3;
    k.Bank["A3.Func"] = 6;
    k.Bank["A4.Func"] = 7;
    k.Bank["Op1.A"] = 1;
    k.Bank["Op1.B"] = 2;
    MeasModeTexts t = EnglishTexts();
    t.DisplUnit = 1;
    auto s = MeasureSources(t, k);
    EXPECT_EQ(s[0].Source, "Area1:ave");
    EXPECT_EQ(s[0].Unit, "um");
    EXPECT_EQ(s[1].Source, "Area2:width");
    EXPECT_EQ(s[2].Source, "[A2:width + A3:edge]");
    EXPECT_EQ(s[3].Source, "Area3:edge");
    EXPECT_EQ(s[3].Unit, "mm");  // edge position stays in mm
    EXPECT_EQ(MidLineMaskFor(k), 0b1110u);
}

TEST(MeasureFile, PointsOneToTheLast) {
    ProfileBufferArray buf{};
    for (int i = 0; i < 10; ++i) buf[static_cast<size_t>(i)] = {static_cast<int16_t>(i), 0};
    auto pts = MeasureFilePoints(buf, 10);
    ASSERT_EQ(pts.size(), 9u);  // what the plot shows: 1 .. PointCount - 1
    EXPECT_EQ(pts.front().X, 1);
    EXPECT_EQ(pts.back().X, 9);
    EXPECT_TRUE(MeasureFilePoints(buf, 1).empty());
    EXPECT_TRUE(MeasureFilePoints(buf, 0).empty());
    EXPECT_TRUE(MeasureFilePoints(buf, -3).empty());
    EXPECT_EQ(MeasureFilePoints(buf, 99999).size(), 2047u);
}
