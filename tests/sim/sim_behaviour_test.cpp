// What the simulated sensor does with its settings: measurement channels,
// outputs at their limits, zero set, hold, storage, camera, EEPROM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "common/kest_error.h"
#include "sim_fixture.h"

using namespace simtest;
using kdsim::Fld;

namespace {

// Area 1 averages the whole range, channel 0 takes one sample, output 1 and
// the analog output look at channel 0, nothing inverts the outputs.
void PlainChannel0(Sim& s) {
    ASSERT_EQ(s.Call(kAreaRect,
                     {0, static_cast<uint16_t>(-13999), static_cast<uint16_t>(-7499), 13999, 7499})
                  .cmd,
              kAreaRect);
    s.Call(kSetAreaMod, {0, 0});
    s.Call(kSetCalAvg, {0, 1});
    s.Call(kSetGpioInch, {0, 0});
    s.Call(kSetGpioInch, {3, 0});
    s.Call(kSetGpioOpolar, {0, 0});
    s.Call(kSetGpioOmode, {0, 0});
}

uint16_t Out1(Sim& s) {
    return (s.Call(kGetStatus).W(0) >> 4) & 1;
}

}  // namespace

TEST(SimChannels, SpanOffsetAverageAndCalculation) {
    Sim s;
    PlainChannel0(s);
    s.InjectFlat(2000);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 2000);
    EXPECT_EQ(s.Call(kGetAreaStat, {0}).S(0), 2000);
    s.Call(kSetCalSpan, {0, 500});
    s.InjectFlat(2000);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 1000);
    // The offset is held in tens of micrometres; the output's offset command names the output.
    s.Call(kSetShiftZero, {0, 30});
    s.InjectFlat(2000);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 1300);
    EXPECT_EQ(s.Raw(Fld::Offset, 0), 30);
    s.Call(kSetCalSpan, {0, 1000});
    s.Call(kSetShiftZero, {0, 0});
    s.Call(kSetCalAvg, {0, 4});
    for (int z : {1000, 2000, 3000, 4000, 5000}) s.InjectFlat(z);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 3500);  // mean of the last four
    // Calculation 1 = area 1 - area 1, area 1 + area 1.
    s.Call(kSetCalAvg, {0, 1});
    s.Call(kSetCalA, {0, 0});
    s.Call(kSetCalB, {0, 0});
    s.Call(kSetCalCmd, {0, 1});
    s.InjectFlat(1234);
    EXPECT_EQ(s.Call(kGetMeas, {4}).SL(0), 0);
    s.Call(kSetCalCmd, {0, 0});
    s.InjectFlat(1234);
    EXPECT_EQ(s.Call(kGetMeas, {4}).SL(0), 2468);
    // An operand without value leaves the calculation without value.
    s.Call(kSetCalB, {0, 1});
    s.Call(kAreaRect, {1, 0, 0, 10, 10});
    s.InjectFlat(1234);
    EXPECT_EQ(s.Call(kGetMeas, {4}).SL(0), 0x7FFFFFFF);
    EXPECT_EQ(s.Call(kGetAreaStat, {1}).W(0), 0x7FFF);
}

TEST(SimChannels, AreaRectangleChecksItsEdges) {
    Sim s;
    EXPECT_EQ(s.Call(kAreaRect, {2, 100, 200, 300, 400}).cmd, kAreaRect);
    EXPECT_EQ(s.Raw(Fld::ATop, 2), 100);
    EXPECT_EQ(s.Raw(Fld::ALeft, 2), 200);
    EXPECT_EQ(s.Raw(Fld::ABottom, 2), 300);
    EXPECT_EQ(s.Raw(Fld::ARight, 2), 400);
    EXPECT_EQ(s.Call(kAreaRect, {2, 300, 200, 100, 400}).cmd, kErrData);   // upside down
    EXPECT_EQ(s.Call(kAreaRect, {2, 100, 200, 300, 200}).cmd, kErrData);   // no width
    EXPECT_EQ(s.Call(kAreaRect, {2, 100, 200, 300, 7500}).cmd, kErrData);  // beyond 14998 µm
    EXPECT_EQ(s.Call(kAreaRect, {2, 100, 200, 300, 7499}).cmd, kAreaRect);
    EXPECT_EQ(s.Call(kAreaRect, {4, 100, 200, 300, 400}).cmd, kErrData);
}

TEST(SimOutputs, SwitchAtTheLimitsWithHysteresis) {
    Sim s;
    PlainChannel0(s);
    s.Call(kSetGpioUlmt, {0, 2000});
    s.Call(kSetGpioLlmt, {0, 1000});
    s.Call(kSetGpioHys, {0, 0});
    const std::vector<std::pair<int, uint16_t>> plain = {{999, 0},  {1000, 1}, {1500, 1},
                                                         {2000, 1}, {2001, 0}, {-5000, 0}};
    for (auto [z, on] : plain) {
        s.InjectFlat(z);
        EXPECT_EQ(Out1(s), on) << z;
    }
    s.Call(kSetGpioHys, {0, 1});  // 4 µm
    s.InjectFlat(1500);
    ASSERT_EQ(Out1(s), 1);
    s.InjectFlat(2003);
    EXPECT_EQ(Out1(s), 1);  // still within the upper limit + hysteresis
    s.InjectFlat(2005);
    EXPECT_EQ(Out1(s), 0);
    s.InjectFlat(2003);
    EXPECT_EQ(Out1(s), 0);  // coming back needs the limit itself
    s.InjectFlat(2000);
    EXPECT_EQ(Out1(s), 1);
    s.InjectFlat(997);
    EXPECT_EQ(Out1(s), 1);
    s.InjectFlat(995);
    EXPECT_EQ(Out1(s), 0);
    // The offset moves the limits with the value.
    s.Call(kSetShiftZero, {0, 100});  // +1000 µm
    s.InjectFlat(1500);               // value 2500, limits 2000..3000
    EXPECT_EQ(s.Call(kGetOutVal, {0}).SL(0), 2500);
    EXPECT_EQ(Out1(s), 1);
}

TEST(SimOutputs, PolarityOnTimingAndDisplayBits) {
    Sim s;
    PlainChannel0(s);
    s.Call(kSetGpioUlmt, {0, 2000});
    s.Call(kSetGpioLlmt, {0, 1000});
    s.InjectFlat(1500);
    uint16_t st = s.Call(kGetStatus).W(0);
    EXPECT_EQ((st >> 4) & 1, 1);
    EXPECT_EQ((st >> 12) & 1, 1);
    s.Call(kSetGpioOpolar, {0, 1});
    st = s.Call(kGetStatus).W(0);
    EXPECT_EQ((st >> 4) & 1, 0);   // the line is inverted
    EXPECT_EQ((st >> 12) & 1, 1);  // the judgement is not
    s.Call(kSetGpioOnt, {1});
    EXPECT_EQ((s.Call(kGetStatus).W(0) >> 4) & 1, 1);
    EXPECT_EQ(s.Call(kGetGpioOut).W(0) & 1, 1);
    // Status: laser bit, hold bit, internal trigger bit.
    s.Call(kSetLaser, {0});
    s.Call(kSetHoldState, {1});
    s.Call(kSetIntTrig, {1});
    st = s.Call(kGetStatus).W(0);
    EXPECT_EQ((st >> 7) & 1, 0);
    EXPECT_EQ((st >> 1) & 1, 1);
    EXPECT_EQ(st & 1, 1);
}

TEST(SimOutputs, ActionsTimeTheirPulses) {
    Sim s;
    PlainChannel0(s);
    s.Call(kCamStop);  // time passes, only our profiles are measured
    s.Call(kSetGpioUlmt, {0, 2000});
    s.Call(kSetGpioLlmt, {0, 1000});
    s.Call(kSetGpioOtime, {0, 50});  // 5 ms
    s.Call(kSetGpioOmode, {0, 1});   // one shot
    s.InjectFlat(0);
    s.InjectFlat(1500);
    EXPECT_EQ(Out1(s), 1);
    s.Run(6000);
    EXPECT_EQ(Out1(s), 0);          // the pulse is over though the value stays good
    s.Call(kSetGpioOmode, {0, 2});  // on delay
    s.InjectFlat(0);
    s.InjectFlat(1500);
    EXPECT_EQ(Out1(s), 0);
    s.Run(6000);
    EXPECT_EQ(Out1(s), 1);
    s.Call(kSetGpioOmode, {0, 3});  // ready: on while measuring
    EXPECT_EQ(Out1(s), 0);          // the camera is stopped
    s.Call(kCamStart);
    EXPECT_EQ(Out1(s), 1);
    s.Call(kSetLaser, {0});
    EXPECT_EQ(Out1(s), 0);
}

TEST(SimOutputs, AnalogCurrentFromItsLimits) {
    Sim s;
    PlainChannel0(s);
    s.Call(kSetGpioUlmt, {3, 2000});
    s.Call(kSetGpioLlmt, {3, 1000});
    const std::vector<std::pair<int, uint32_t>> cases = {
        {1000, 4000}, {2000, 20000}, {1500, 12000}, {2250, 24000}, {2249, 23984}, {0, 24000}};
    for (auto [z, ua] : cases) {
        s.InjectFlat(z);
        EXPECT_EQ(s.Call(kGetAnaVal, {3}).L(0), ua) << z;
    }
    EXPECT_EQ(s.Call(kGetOutVal, {3}).SL(0), 0);
    s.Call(kSetLaser, {0});
    s.Run(10000);
    s.InjectFlat(kdsim::kMissing);
    EXPECT_EQ(s.Call(kGetAnaVal, {3}).L(0), 24000u);
    EXPECT_EQ(s.Call(kGetOutVal, {3}).L(0), 0x7FFFFFFFu);
    EXPECT_EQ(s.Call(kGetAnaVal, {0}).cmd, kErrData);
}

TEST(SimChannels, ZeroSetHoldsTheCurrentValueInTheZeroAdjustment) {
    Sim s;
    PlainChannel0(s);
    s.InjectFlat(1500);
    EXPECT_EQ(s.Call(kZeroSet, {0}).cmd, kZeroSet);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 0);
    EXPECT_EQ(s.Call(kGetZeroState, {0}).W(0), 1);
    EXPECT_EQ(s.Call(kGetZeroState, {1}).W(0), 0);
    // The program reads the adjustment back from parameter memory.
    const uint32_t addr = 0x400 + static_cast<uint32_t>(kdsim::Locate(Fld::ZAdj, 0, 0)->word);
    EXPECT_EQ(s.Call(kMemRead, ReadReq(addr, 1, 0x11)).S(2), 1500);
    s.InjectFlat(1700);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 200);
    EXPECT_EQ(s.Call(kZeroClr, {0}).cmd, kZeroClr);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 1700);
    EXPECT_EQ(s.Call(kGetZeroState, {0}).W(0), 0);
    // No value, or one beyond the adjustment's range: refused.
    s.InjectFlat(kdsim::kMissing);
    EXPECT_EQ(s.Call(kZeroSet, {0}).cmd, kErrData);
    s.Call(kSetCalSpan, {0, 1999});
    s.InjectFlat(20000);  // 39980 µm
    EXPECT_EQ(s.Call(kZeroSet, {0}).cmd, kErrData);
    s.InjectFlat(16000);  // 31984 µm
    EXPECT_EQ(s.Call(kZeroSet, {0}).cmd, kZeroSet);
    EXPECT_EQ(s.Call(kZeroSet, {3}).cmd, kErrData);
}

TEST(SimChannels, HoldModesWhileHoldIsOn) {
    Sim s;
    PlainChannel0(s);
    for (uint16_t mode : {1, 2, 3}) {
        s.Call(kSetCalHld, {0, mode});
        s.Call(kSetHoldState, {0});
        s.InjectFlat(2000);
        s.Call(kSetHoldState, {1});
        for (int z : {3000, 1000, 2500}) s.InjectFlat(z);
        const int32_t expect = mode == 1 ? 3000 : mode == 2 ? 1000 : 3000;
        EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), expect) << mode;
        EXPECT_EQ(s.Call(kGetHoldState).W(0), 1);
    }
    s.Call(kSetHoldState, {0});
    s.InjectFlat(2500);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 2500);
    // Hold mode 0 tracks even while hold is on.
    s.Call(kSetCalHld, {0, 0});
    s.Call(kSetHoldState, {1});
    s.InjectFlat(100);
    EXPECT_EQ(s.Call(kGetMeas, {0}).SL(0), 100);
}

TEST(SimProfiles, LiveProfilesFromTheScene) {
    Sim s;
    const uint32_t a0 = s.Call(kGetProfAddr).L(0);
    s.Run(500000);  // half a second of profiles
    const uint32_t a1 = s.Call(kGetProfAddr).L(0);
    EXPECT_NE(a0, a1);
    auto head = s.Call(kMemRead, ReadReq(a1, 2, 0x11));
    const int count = head.W(2) >> 5;
    EXPECT_EQ(count, 400);
    // The whole profile plus the second array, read in normal blocks.
    std::vector<uint16_t> words;
    const int total = 2 * count + 2;
    for (int at = 0; at < total; at += 252) {
        const int n = std::min(252, total - at);
        auto r = s.Call(kMemRead,
                        ReadReq(a1 + static_cast<uint32_t>(at), static_cast<uint8_t>(n / 2), 0x21));
        ASSERT_EQ(r.payload.size(), 4u + 2u * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) words.push_back(r.W(2 + static_cast<size_t>(i)));
    }
    int valid = 0, gaps = 0;
    for (int i = 0; i < count; ++i) {
        const int16_t z = static_cast<int16_t>(words[2 + 2 * i + 1]);
        if (z == 0x7FFF) {
            ++gaps;
            continue;
        }
        ++valid;
        EXPECT_GE(z, -29000);
        EXPECT_LE(z, 29000);
    }
    EXPECT_GT(valid, 300);
    auto second = s.Call(kMemRead, ReadReq(a1 + static_cast<uint32_t>(total), 1, 0x11));
    // One stripe position per point found in this picture; a point kept from
    // an earlier profile by the alarm limit has none.
    const int stripes = second.W(2) >> 5;
    EXPECT_LE(stripes, valid);
    EXPECT_GE(stripes, valid * 9 / 10);
    // The correction query answers three words.
    EXPECT_EQ(s.Call(kGetProfCorr).payload.size(), 6u);
}

TEST(SimProfiles, ThePartIsUnderTheLineFromTheStart) {
    Sim s;
    s.Run(5000);  // the first profiles of the run
    const uint32_t a = s.Call(kGetProfAddr).L(0);
    const int count = s.Call(kMemRead, ReadReq(a, 2, 0x11)).W(2) >> 5;
    ASSERT_GT(count, 100);
    // Its top face near z = 0, well above the belt at 8 mm.
    int onPart = 0;
    for (int at = 0; at < 2 * count; at += 250) {
        const int n = std::min(250, 2 * count - at);
        auto r = s.Call(kMemRead,
                        ReadReq(a + 2 + static_cast<uint32_t>(at), static_cast<uint8_t>(n), 0x11));
        for (int i = 1; i < n; i += 2) {
            const int16_t z = static_cast<int16_t>(r.W(2 + static_cast<size_t>(i)));
            onPart += z != 0x7FFF && z > -1000 && z < 1000;
        }
    }
    EXPECT_GT(onPart, count / 3);
}

TEST(SimProfiles, TheProfileLastNamedIsNotOverwritten) {
    Sim s;
    s.Run(20000);
    const uint32_t a = s.Call(kGetProfAddr).L(0);
    const auto before = s.Call(kMemRead, ReadReq(a, 40, 0x11)).payload;
    s.Run(200000);  // many profiles go round the other slots
    EXPECT_EQ(s.Call(kMemRead, ReadReq(a, 40, 0x11)).payload, before);
    const uint32_t b = s.Call(kGetProfAddr).L(0);
    EXPECT_NE(b, a);
    EXPECT_NE(s.Call(kMemRead, ReadReq(b, 40, 0x11)).payload, before);
}

TEST(SimProfiles, CorrectionAgainstTheMasterMovesCorrectedAreas) {
    Sim s;
    auto step = [](int edgeX, int low, int high) {
        std::vector<kdsim::ProfilePt> p;
        for (int x = -10000; x <= 10000; x += 100) p.push_back({x, x < edgeX ? low : high});
        return p;
    };
    s.Call(kSetProfMod, {3});                              // right, then up
    s.Call(kSetHcorrect, {1000});                          // level 2000 µm
    s.Call(kSetVcorrect, {static_cast<uint16_t>(-2500)});  // at x = -5000 µm
    s.Call(kSetProfTilt, {0});
    s.Inject(step(0, 1000, 3000));
    EXPECT_EQ(s.Call(kGetProfCorr).payload, Words({0, 0, 0}));  // no master yet
    s.Call(kSetProfMst);
    s.Inject(step(400, 1600, 3600));  // moved right by 400 and down by 600
    auto c = s.Call(kGetProfCorr);
    EXPECT_EQ(c.S(0), 300);  // dz / 2
    EXPECT_EQ(c.S(1), 185);  // dx / 2: the 2000 level is crossed at -50 on the master, 320 now
    // Area 1 with correction on follows the part: a window on the master's low
    // plateau, moved by (370, 600), finds the live low plateau.
    s.Call(kAreaRect, {0, 400, static_cast<uint16_t>(-150), 600, static_cast<uint16_t>(-50)});
    s.Call(kSetAreaMod, {0, 0});
    s.Call(kSetCalAvg, {0, 1});
    s.Call(kSetAreaCmp, {0, 1});
    s.Inject(step(400, 1600, 3600));
    EXPECT_EQ(s.Call(kGetAreaStat, {0}).S(0), 1600);
    s.Call(kSetAreaCmp, {0, 0});
    s.Inject(step(400, 1600, 3600));
    EXPECT_EQ(s.Call(kGetAreaStat, {0}).W(0), 0x7FFF);  // the plain window misses it
    // Tilt correction: the live part turned against the master.
    s.Call(kSetProfTilt, {1});
    s.Call(kSetTiltcorPos, {2500});  // x = 5000 µm
    std::vector<kdsim::ProfilePt> tilted;
    for (int x = -10000; x <= 10000; x += 100) tilted.push_back({x, 2000 + x / 10});
    s.Inject(tilted);
    s.Call(kSetProfMst);
    s.Inject(step(400, 1600, 3600));
    EXPECT_NE(s.Call(kGetProfCorr).S(2), 0);
}

TEST(SimProfiles, ImageNumbersCountEverySamplingPeriod) {
    Sim s;
    s.Call(kSetCamRect, {0, 0, 2, 2});
    s.Call(kSetShutt0, {1});
    s.Call(kCamFunc, {1});
    const uint16_t period = s.Call(kGetSmpRate).W(0);  // 5 µs units
    ASSERT_LT(period, 20);
    s.Run(10000);  // past the sample planned with the old period
    const uint32_t n0 = s.Call(kGetImgNo).L(0);
    s.Run(100000);
    const uint32_t n1 = s.Call(kGetImgNo).L(0);
    EXPECT_NEAR(static_cast<double>(n1 - n0), 100000.0 / (period * 5), 2.0);
    EXPECT_EQ(s.Call(kGetProfAddr).cmd, kGetProfAddr);
}

TEST(SimProfiles, CameraStopHoldsTheProfileAndLaserOffLosesTheLine) {
    Sim s;
    s.Call(kCamStop);
    const uint32_t a = s.Call(kGetProfAddr).L(0);
    s.Run(100000);
    EXPECT_EQ(s.Call(kGetProfAddr).L(0), a);
    s.Call(kCamStart);
    s.Call(kSetLaser, {0});
    s.Run(100000);
    EXPECT_NE(s.Call(kGetProfAddr).L(0), a);
    EXPECT_EQ(s.Call(kGetMeas, {0}).L(0), 0x7FFFFFFFu);
    EXPECT_EQ((s.Call(kGetStatus).W(0) >> 2) & 1, 1);  // no line found
}

TEST(SimProfiles, TriggerModesDecideWhenProfilesAreTaken) {
    Sim s;
    s.Call(kSetTmd, {1});  // one shot: only on triggers
    const uint32_t a = s.Call(kGetProfAddr).L(0);
    s.Run(100000);
    EXPECT_EQ(s.Call(kGetProfAddr).L(0), a);
    s.Call(kSetIntTrig, {1});
    s.Run(100000);
    EXPECT_NE(s.Call(kGetProfAddr).L(0), a);
    s.Call(kSetTmd, {0});
    s.Call(kSetIntTrig, {0});
    const uint32_t b = s.Call(kGetProfAddr).L(0);
    s.Run(100000);
    EXPECT_NE(s.Call(kGetProfAddr).L(0), b);  // continuous runs without trigger
}

TEST(SimCamera, PictureShowsTheStripeWhereTheSecondArrayPutsIt) {
    Sim s;
    ASSERT_EQ(s.Call(kSetCamRect, {40, 40, 25, 20}).cmd,
              kSetCamRect);  // rows 320..520, cols 320..480
    s.Run(3000000);          // the part is under the line
    s.Run(100000);           // and a good many pictures have been taken
    const uint32_t num = s.Call(kGetImgNo).L(0);
    auto ra = s.Call(kGetImgAddr, {static_cast<uint16_t>(num >> 16), static_cast<uint16_t>(num)});
    ASSERT_EQ(ra.cmd, kGetImgAddr);
    const uint32_t img = ra.L(0);
    const int cols = 200, rows = 160;  // turned: one row per sensor column
    std::vector<uint8_t> pix;
    for (int at = 0; at < cols * rows / 2; at += 1012) {
        const int n = std::min(1012, cols * rows / 2 - at);
        auto r = s.Call(kMemReadWide, ReadReq(img + static_cast<uint32_t>(at),
                                              static_cast<uint8_t>(n / 4), 0x11));
        ASSERT_EQ(r.payload.size(), 4u + 2u * static_cast<size_t>(n / 4 * 4));
        pix.insert(pix.end(), r.payload.begin() + 4, r.payload.end());
    }
    ASSERT_EQ(pix.size(), static_cast<size_t>(cols * rows));
    // The profile of the same moment and its stripe positions.
    const uint32_t prof = s.Call(kGetProfAddr).L(0);
    const int count = s.Call(kMemRead, ReadReq(prof, 1, 0x11)).W(2) >> 5;
    const uint32_t second = prof + 2 * static_cast<uint32_t>(count) + 2;
    auto sh = s.Call(kMemRead, ReadReq(second, 2, 0x11));
    const int entries = sh.W(2) >> 5;
    ASSERT_GT(entries, 20);
    auto se = s.Call(kMemRead, ReadReq(second + 2, 40, 0x11));
    int checked = 0;
    for (int e = 0; e < 20; ++e) {
        const int col = se.W(2 + 2 * static_cast<size_t>(e)) / 64 - 2 * 8;   // HeadColOffset 2
        const int row = se.W(3 + 2 * static_cast<size_t>(e)) / 64 - 10 * 8;  // HeadRowOffset 10
        const int r = col - 320, k = row - 320;
        if (r < 0 || r >= rows || k < 0 || k >= cols) continue;
        const uint8_t* line = pix.data() + r * cols;
        const int brightest = static_cast<int>(std::max_element(line, line + cols) - line);
        EXPECT_NEAR(brightest, k, 2) << "row " << r;
        ++checked;
    }
    EXPECT_GT(checked, 10);
    // Images not yet taken, or too old, are refused; the one last named stays.
    auto addr = [&](uint32_t n) {
        return s.Call(kGetImgAddr, {static_cast<uint16_t>(n >> 16), static_cast<uint16_t>(n)});
    };
    EXPECT_EQ(addr(num + 1).cmd, kErrData);
    EXPECT_EQ(addr(0).cmd, kErrData);
    s.Run(100000);  // well over 64 profiles later
    EXPECT_EQ(addr(num).cmd, kGetImgAddr);
    EXPECT_EQ(addr(num - 7).cmd, kGetImgAddr);
    EXPECT_EQ(addr(num - 8).cmd, kErrData);
    s.Call(kGetImgNo);
    EXPECT_EQ(addr(num).cmd, kErrData);
}

TEST(SimCamera, AutomaticExposureIsBusyThenSetsNewValues) {
    Sim s;
    s.Call(kSetShutt0, {10});
    EXPECT_EQ(s.Call(kRunAe).cmd, kRunAe);
    EXPECT_EQ(s.Call(kGetAeState).W(0) & 0x0008, 0x0008);
    s.Run(500000);
    EXPECT_EQ(s.Call(kGetAeState).W(0) & 0x0008, 0);
    const uint16_t sh = s.Call(kGetShutt0).W(0);
    EXPECT_NE(sh, 10);
    EXPECT_GT(sh, 0);
    EXPECT_EQ(s.Call(kGetShutt1).W(0), std::min(2047, 2 * sh));
    EXPECT_GT(s.Call(kGetCutLvl).W(0), 0);
}

TEST(SimStorage, DataStorageStopsWhenFullWithRepeatOff) {
    Sim s;
    PlainChannel0(s);
    EXPECT_EQ(s.Call(kGetStrState).W(0), 0);
    s.Call(kSetStrBuf, {5});
    s.Call(kSetStrStt, {0});
    s.Call(kSetStrStl, {0});
    s.Call(kSetStrSmp, {1});
    s.Call(kSetStrRpt, {1});
    ASSERT_EQ(s.Call(kStrRun, {1}).cmd, kStrRun);
    EXPECT_EQ(s.Raw(Fld::StrTgt, 0, 0), 1);
    for (int z = 100; z <= 700; z += 100) s.InjectFlat(z);
    EXPECT_EQ(s.Call(kGetStrRun).W(0), 0);
    EXPECT_EQ(s.Call(kGetStrCount).W(0), 5);
    auto addr = s.Call(kGetStrAddr);
    const uint32_t data = addr.L(0);
    EXPECT_EQ(addr.L(2) & 0xFF, 0u);
    auto r = s.Call(kMemRead, ReadReq(data, 80, 0x11));
    ASSERT_EQ(r.payload.size(), 4u + 160u);
    for (int i = 0; i < 5; ++i) {
        const size_t base = 2 + 16 * static_cast<size_t>(i);
        const int32_t v =
            static_cast<int32_t>(r.W(base) | (uint32_t{r.W(base + 1)} << 16));  // low word first
        EXPECT_EQ(v, 100 * (i + 1));
        const uint32_t v3 = r.W(base + 4) | (uint32_t{r.W(base + 5)} << 16);
        EXPECT_EQ(v3, 0x7FFFFFFFu);  // area 3 finds no edge on a flat profile
    }
}

TEST(SimStorage, StartConditionsPreTriggerRepeatAndPause) {
    Sim s;
    PlainChannel0(s);
    // Upper-limit start on channel 0 at 5000 with two records before it.
    s.Call(kSetStrBuf, {5});
    s.Call(kSetStrStt, {4});
    s.Call(kSetStrStc, {0});
    s.Call(kSetStrThd, {0, 5000});
    EXPECT_EQ(s.Call(kGetStrThd).L(0), 5000u);
    s.Call(kSetStrStl, {static_cast<uint16_t>(-2)});
    s.Call(kSetStrSmp, {1});
    EXPECT_EQ(s.Call(kGetStrStl).S(0), -2);
    s.Call(kSetStrRpt, {1});
    s.Call(kStrRun, {1});
    for (int z : {100, 200, 300}) s.InjectFlat(z);
    EXPECT_EQ(s.Call(kGetStrState).W(0), 1);  // waiting
    EXPECT_EQ(s.Call(kGetStrCount).W(0), 0);
    for (int z : {6000, 7000, 8000, 9000}) s.InjectFlat(z);
    EXPECT_EQ(s.Call(kGetStrRun).W(0), 0);
    auto r = s.Call(kMemRead, ReadReq(0x400000, 80, 0x11));
    const int32_t expect[] = {200, 300, 6000, 7000, 8000};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r.W(2 + 16 * static_cast<size_t>(i)), expect[i]);
    // Repeat on: the newest records stay and recording goes on.
    s.Call(kSetStrStt, {0});
    s.Call(kSetStrStl, {0});
    s.Call(kSetStrBuf, {3});
    s.Call(kSetStrRpt, {0});
    s.Call(kStrRun, {1});
    for (int z = 1; z <= 6; ++z) s.InjectFlat(z * 10);
    EXPECT_EQ(s.Call(kGetStrRun).W(0), 1);
    EXPECT_EQ(s.Call(kGetStrCount).W(0), 3);
    auto q = s.Call(kMemRead, ReadReq(0x400000, 48, 0x11));
    EXPECT_EQ(q.W(2), 40);
    EXPECT_EQ(q.W(2 + 32), 60);
    s.Call(kStrRun, {0});
    // Pause: the buffer stays full and the second count goes on.
    s.Call(kSetStrRpt, {2});
    s.Call(kSetStrSmp, {2});  // every second sample
    s.Call(kStrRun, {1});
    for (int z = 1; z <= 10; ++z) s.InjectFlat(z * 10);
    EXPECT_EQ(s.Call(kGetStrCount).W(0), 3);
    EXPECT_EQ(s.Call(kGetStrState).W(0), 3);
    EXPECT_EQ(s.Call(kGetStrCount2).W(0), 2);
    auto p = s.Call(kMemRead, ReadReq(0x400000, 48, 0x11));
    EXPECT_EQ(p.W(2), 10);
    EXPECT_EQ(p.W(2 + 16), 30);
    EXPECT_EQ(p.W(2 + 32), 50);
    const uint32_t t0 = p.W(2 + 12) | (uint32_t{p.W(2 + 13)} << 16);
    const uint32_t t1 = p.W(2 + 16 + 12) | (uint32_t{p.W(2 + 16 + 13)} << 16);
    EXPECT_GE(t1, t0);  // time stamps in 100 µs never fall
    s.Call(kStrRun, {0});
    EXPECT_EQ(s.Call(kSetStrSmp, {8192}).cmd, kErrData);
    EXPECT_EQ(s.Call(kSetStrStl, {static_cast<uint16_t>(-10001)}).cmd, kErrData);
}

TEST(SimStorage, ProfileStorageKeeps2048WordsPerProfile) {
    Sim s;
    s.Call(kSetStrBuf, {3});
    s.Call(kSetStrStt, {0});
    s.Call(kSetStrStl, {0});
    s.Call(kSetStrSmp, {1});
    s.Call(kSetStrRpt, {1});
    s.Call(kStrRun, {2});
    EXPECT_EQ(s.Raw(Fld::StrTgt, 0, 0), 2);
    s.InjectFlat(100);
    s.InjectFlat(200);
    s.InjectFlat(300);
    EXPECT_EQ(s.Call(kGetStrRun).W(0), 0);
    const uint32_t base = s.Call(kGetStrAddr).L(2);
    for (uint32_t i = 0; i < 3; ++i) {
        auto h = s.Call(kMemRead, ReadReq(base + i * 2048, 4, 0x11));
        EXPECT_EQ(h.W(2) >> 5, 299);
        EXPECT_EQ(h.W(3) & 0x8000, 0);
        EXPECT_EQ(h.S(5), static_cast<int16_t>(100 * (i + 1)));
    }
    auto beyond = s.Call(kMemRead, ReadReq(base + 3 * 2048, 1, 0x11));
    EXPECT_EQ(beyond.W(2), 0);
}

TEST(SimEeprom, PermanentWritesGoToTheFileAndSurviveARestart) {
    char dir[] = "/tmp/kdsim_eepXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/eeprom.bin";
    kdsim::SimOptions o;
    o.eeprom = file;
    {
        Sim s(o);
        s.Call(kSetShutt0, {321});
        s.Call(kSetBank, {2});
        s.Call(kSetShutt0, {123});
        s.InjectFlat(1000);
        s.Call(kSetProfMst);
        EXPECT_EQ(s.Call(kEpmWrite, {0x0100}).cmd, kEpmWrite);  // bank 0 only
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in.good());
    }
    {
        Sim s(o);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 0), 321);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 2), 100);  // bank 2 was not made permanent
        EXPECT_EQ(s.Raw(Fld::Bank, 0, 0), 2);       // the Sys block goes along
        EXPECT_EQ(s.Call(kGetMstAddr, {2}).L(0), 0xFFFFFFFFu);
        s.Call(kSetShutt0, {123});
        s.InjectFlat(1000);
        s.Call(kSetProfMst);
        EXPECT_EQ(s.Call(kEpmWrite, {0x010F}).cmd, kEpmWrite);
    }
    {
        Sim s(o);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 2), 123);
        EXPECT_NE(s.Call(kGetMstAddr, {2}).L(0), 0xFFFFFFFFu);
        // Factory settings for the current bank, then for everything.
        s.Call(kSetBank, {0});
        EXPECT_EQ(s.Call(kEepromInit, {1}).cmd, kEepromInit);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 0), 100);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 2), 123);
        EXPECT_EQ(s.Call(kEepromInit, {0}).cmd, kEepromInit);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 2), 100);
        EXPECT_EQ(s.Call(kGetMstAddr, {2}).L(0), 0xFFFFFFFFu);
        EXPECT_EQ(s.Call(kEepromInit, {2}).cmd, kErrData);
    }
    {
        Sim s(o);
        EXPECT_EQ(s.Raw(Fld::Shutter, 0, 2), 100);
    }
    // A damaged file is refused with a message, not taken half.
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "short";
    }
    EXPECT_THROW(kdsim::SimSensor{o}, kd::EKestError);
    unlink(file.c_str());
    rmdir(dir);
}

TEST(SimCamera, WrittenMaskHidesTheLineWhereItIsSet) {
    Sim s;
    PlainChannel0(s);
    s.Run(20000);
    ASSERT_NE(s.Call(kGetMeas, {0}).L(0), 0x7FFFFFFFu);
    // The whole 128 x 128 mask set, written to the transfer area in blocks.
    for (uint32_t at = 0; at < 1024; at += 253) {
        const uint32_t n = std::min<uint32_t>(253, 1024 - at);
        const uint32_t a = 0xD000 + at;
        std::vector<uint8_t> p = {0, 0, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
        for (uint32_t i = 0; i < n; ++i) {
            p.push_back(0xFF);
            p.push_back(0xFF);
        }
        ASSERT_EQ(s.Call(kMemWrite, p).cmd, kMemWrite);
    }
    EXPECT_EQ(s.Call(kMaskWrite).cmd, kMaskWrite);
    s.Run(20000);
    EXPECT_NE(s.Call(kGetMeas, {0}).L(0), 0x7FFFFFFFu);  // the bank's mask switch is off
    const uint32_t word = 0x400 + static_cast<uint32_t>(kdsim::Locate(Fld::CamMask, 0)->word);
    const uint16_t old = s.Call(kMemRead, ReadReq(word, 1, 0x11)).W(2);
    const uint16_t on = old | 0x8000;
    s.Call(kMemWrite, {static_cast<uint16_t>(word >> 16), static_cast<uint16_t>(word), on});
    s.Run(20000);
    EXPECT_EQ(s.Call(kGetMeas, {0}).L(0), 0x7FFFFFFFu);
}
