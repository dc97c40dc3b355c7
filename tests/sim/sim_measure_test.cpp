// Measurement functions on constructed profiles, and the parameter layout
// the sensor acts on.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/sim_measure.h"
#include "sim/sim_params.h"

using namespace kdsim;

namespace {

// Points every 100 µm from x0 to x1 with z = f(x).
template <typename F>
std::vector<ProfilePt> Make(int x0, int x1, F f) {
    std::vector<ProfilePt> p;
    for (int x = x0; x <= x1; x += 100) p.push_back({x, f(x)});
    return p;
}

AreaSetup Area(int func, int left, int top, int right, int bottom) {
    AreaSetup s;
    s.func = func;
    s.rect = {left, top, right, bottom};
    return s;
}

// A step: z = 1000 left of x = 0, z = 3000 from x = 0 on.
std::vector<ProfilePt> Step() {
    return Make(-5000, 5000, [](int x) { return x < 0 ? 1000 : 3000; });
}

}  // namespace

TEST(SimMeasure, HeightsAndPositions) {
    auto p =
        Make(-5000, 5000, [](int x) { return 2000 + std::abs(x) / 10; });  // a V, lowest z at 0
    auto avg = MeasureArea(p, Area(kAverage, -1000, -10000, 1000, 10000));
    EXPECT_EQ(avg.value,
              2000 + (2 * (100 + 200 + 300 + 400 + 500 + 600 + 700 + 800 + 900 + 1000) / 10) / 21);
    auto peak = MeasureArea(p, Area(kPeakHeight, -3000, -10000, 3000, 10000));
    EXPECT_EQ(peak.value, 2000);
    EXPECT_EQ(peak.result, 2000);
    auto bottom = MeasureArea(p, Area(kBottomHeight, -3000, -10000, 2000, 10000));
    EXPECT_EQ(bottom.value, 2300);
    auto ppos = MeasureArea(p, Area(kPeakPosition, -3000, -10000, 3000, 10000));
    EXPECT_EQ(ppos.value, 0);
    auto bpos = MeasureArea(p, Area(kBottomPosition, -3000, -10000, 2000, 10000));
    EXPECT_EQ(bpos.value, -3000);
    EXPECT_EQ(bpos.result, -3000);
}

TEST(SimMeasure, OnlyPointsInsideTheRectangleCount) {
    auto p = Step();
    // z window 0..2000 keeps only the left plateau.
    auto avg = MeasureArea(p, Area(kAverage, -5000, 0, 5000, 2000));
    EXPECT_EQ(avg.value, 1000);
    // A window with no point gives no value and no result.
    auto none = MeasureArea(p, Area(kAverage, -5000, 4000, 5000, 6000));
    EXPECT_EQ(none.value, kNoValue);
    EXPECT_EQ(none.result, kNoResult);
    // Missing points are ignored.
    p[0].z = kMissing;
    p[1].z = kMissing;
    auto b = MeasureArea(p, Area(kBottomPosition, -5000, 0, -4000, 5000));
    EXPECT_EQ(b.value, -4800);
    // An inverted rectangle measures nothing.
    EXPECT_EQ(MeasureArea(p, Area(kAverage, 100, 0, -100, 5000)).value, kNoValue);
}

TEST(SimMeasure, EdgesWidthAndCount) {
    // A plateau from -1000 to 1000 at z = 1000, else z = 3000: two edges at the middle level 2000.
    auto p = Make(-5000, 5000, [](int x) { return (x >= -1000 && x <= 1000) ? 1000 : 3000; });
    auto edges = MidLevelEdges(p, {-5000, 0, 5000, 4000});
    ASSERT_EQ(edges.size(), 2u);
    EXPECT_DOUBLE_EQ(edges[0], -1050);
    EXPECT_DOUBLE_EQ(edges[1], 1050);
    auto width = MeasureArea(p, Area(kWidth, -5000, 0, 5000, 4000));
    EXPECT_EQ(width.value, 2100);
    EXPECT_EQ(width.result, 0);
    auto count = MeasureArea(p, Area(kEdgeCount, -5000, 0, 5000, 4000));
    EXPECT_EQ(count.value, 2000);  // 2 edges, in thousandths
    AreaSetup left = Area(kEdgePosition, -5000, 0, 5000, 4000);
    EXPECT_EQ(MeasureArea(p, left).value, -1050);
    left.sdr = 1;
    EXPECT_EQ(MeasureArea(p, left).value, 1050);
    // One edge is not a width.
    EXPECT_EQ(MeasureArea(p, Area(kWidth, -5000, 0, 0, 4000)).value, kNoValue);
    // Flat profile: no edges.
    EXPECT_EQ(MeasureArea(p, Area(kEdgeCount, -500, 0, 500, 4000)).value, 0);
}

TEST(SimMeasure, TiltInThousandthsAndResultInSteps) {
    auto p = Make(-5000, 5000, [](int x) { return x; });  // 45 degrees
    auto t = MeasureArea(p, Area(kTilt, -4000, -10000, 4000, 10000));
    EXPECT_NEAR(t.value, 45000, 1);
    EXPECT_EQ(t.result, 45 * 128);
    auto flat = Make(-5000, 5000, [](int) { return 700; });
    EXPECT_EQ(MeasureArea(flat, Area(kTilt, -4000, 0, 4000, 1000)).value, 0);
    std::vector<ProfilePt> one = {{0, 0}};
    EXPECT_EQ(MeasureArea(one, Area(kTilt, -4000, -1000, 4000, 1000)).value, kNoValue);
}

TEST(SimMeasure, SizeLengthDiameter) {
    // A block 2 mm wide and 1 mm high (z = 1000 inside, 2000 outside), rectangle bottom at 2000.
    auto p = Make(-3000, 3000, [](int x) { return (x >= -1000 && x <= 1000) ? 1000 : 2000; });
    auto up = MeasureArea(p, Area(kSize, -3000, 0, 3000, 2000));
    // 2 mm x 1 mm plus the two sloped 100 µm flanks: 2.1 mm2 = 2100 thousandths.
    EXPECT_EQ(up.value, 2100);
    AreaSetup down = Area(kSize, -3000, 1000, 3000, 2000);
    down.dir = 1;
    EXPECT_EQ(MeasureArea(p, down).value, 3900);  // 6 mm x 1 mm less the block
    auto line = Make(0, 3000, [](int x) { return x * 4 / 3; });
    EXPECT_NEAR(MeasureArea(line, Area(kLength, 0, -10000, 3000, 10000)).value, 5000, 3);
    // A circle of radius 5 mm centred at (0, 10000): the upper arc.
    std::vector<ProfilePt> arc;
    for (int x = -3000; x <= 3000; x += 100) {
        arc.push_back({x, static_cast<int>(std::lround(10000 - std::sqrt(25e6 - double(x) * x)))});
    }
    auto d = MeasureArea(arc, Area(kDiameter, -4000, 0, 4000, 20000));
    EXPECT_NEAR(d.value, 10000, 5);
    EXPECT_NEAR(d.result, 0, 2);
}

TEST(SimMeasure, InflectFindsTheBendBySign) {
    // Flat, then falling away (z growing) from x = 0 at 45 degrees: a bend of +45 degrees.
    auto p = Make(-3000, 3000, [](int x) { return x < 0 ? 0 : x; });
    AreaSetup s = Area(kInflect, -3000, -5000, 3000, 5000);
    s.infl = 30;
    EXPECT_NEAR(MeasureArea(p, s).value, 0, 300);
    s.infl = -30;  // no bend the other way
    EXPECT_EQ(MeasureArea(p, s).value, kNoValue);
    s.infl = 0;  // the strongest bend
    EXPECT_EQ(MeasureArea(p, s).value, 0);
    s.infl = 60;  // stronger than any bend
    EXPECT_EQ(MeasureArea(p, s).value, kNoValue);
}

TEST(SimMeasure, UnknownFunctionGivesNoValue) {
    EXPECT_EQ(MeasureArea(Step(), Area(kFuncCount, -5000, 0, 5000, 5000)).value, kNoValue);
}

TEST(SimParams, FieldsSitWhereTheLayoutPutsThem) {
    const ParamWords& f = FactoryImage();
    EXPECT_EQ(f[0], 0x53AC);
    EXPECT_EQ(GetRaw(f, Fld::Bank, 0), 0);
    EXPECT_EQ(GetRaw(f, Fld::Shutter, 0), 100);
    EXPECT_EQ(GetRaw(f, Fld::MeasureLimit, 3), 32);
    EXPECT_EQ(GetRaw(f, Fld::ATop, 0, 0), -13999);
    EXPECT_EQ(GetRaw(f, Fld::AFunc, 0, 2), 6);
    EXPECT_EQ(GetRaw(f, Fld::ACmp, 0, 2), 1);
    EXPECT_EQ(GetRaw(f, Fld::Ave, 0, 0), 32);
    EXPECT_EQ(GetRaw(f, Fld::Span, 0, 5), 1000);
    EXPECT_EQ(GetRaw(f, Fld::OCh, 0, 2), 4);
    EXPECT_EQ(GetRaw(f, Fld::OULimit, 0, 0), 25000);
    EXPECT_EQ(GetRaw(f, Fld::OULimit, 7, 0), static_cast<int16_t>(0xA240));
    EXPECT_EQ(GetRaw(f, Fld::HeadRowOffset, 0), 10);
    EXPECT_EQ(Locate(Fld::OCh, 2, 3)->word, 32 + 124 * 2 + 108);
    EXPECT_EQ(Locate(Fld::OCh, 2, 3)->lsb, 12);
    EXPECT_EQ(Locate(Fld::Hold, 1, 5)->word, 32 + 124 + 101);
    EXPECT_EQ(Locate(Fld::Input, 0, 3)->lsb, 1);
    EXPECT_EQ(Locate(Fld::StrRpt2, 0)->word, 16 + 13);
    EXPECT_EQ(Locate(Fld::StrRpt3, 0)->word, 16 + 12);
    EXPECT_FALSE(Locate(Fld::AFunc, 0, 4));
    EXPECT_FALSE(Locate(Fld::Shutter, 8));
}

TEST(SimParams, SetRawKeepsOtherBitsAndSignExtends) {
    ParamWords m = FactoryImage();
    SetRaw(m, Fld::CamNR, 0, 1);
    EXPECT_EQ(GetRaw(m, Fld::CamMode, 0), 0);
    EXPECT_EQ(m[32 + 5], 0x0100);
    SetRaw(m, Fld::VCorrect, 1, -3);
    EXPECT_EQ(GetRaw(m, Fld::VCorrect, 1), -3);
    EXPECT_EQ(GetRaw(m, Fld::VCorrect, 0), GetRaw(FactoryImage(), Fld::VCorrect, 0));
    SetRaw(m, Fld::TrigCount, 0, 5000);  // bits beyond the field are dropped
    EXPECT_EQ(GetRaw(m, Fld::TrigCount, 0), 5000 & 0xFFF);
    SetRaw(m, Fld::StrThd, 0, -1);
    EXPECT_EQ(m[16 + 14], 0xFFFF);
    EXPECT_EQ(m[16 + 15], 0xFFFF);
    EXPECT_EQ(GetRaw(m, Fld::StrThd, 0), -1);
    SetRaw(m, Fld::StrStl, 0, -5);
    EXPECT_EQ(GetRaw(m, Fld::StrStl, 0), -5);
}
