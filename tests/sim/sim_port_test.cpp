// The simulated sensor through its pseudo-terminal: replies of every command,
// error replies, memory transfer modes, version switches, faults, reconnects.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/clock.h"
#include "sim_fixture.h"
#include "tests/support/test_timeouts.h"

using namespace simtest;
using kdsim::Fld;

TEST(SimPort, AnswersVersionNullAndUnknownCommands) {
    Sim sim;
    auto v = sim.Call(kGetVersion);
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.cmd, kGetVersion);
    EXPECT_EQ(v.payload, Words({0x53, 0x6D, 0x50}));
    auto n = sim.Call(kNull);
    EXPECT_TRUE(n.ok);
    EXPECT_EQ(n.cmd, kNull);
    EXPECT_TRUE(n.payload.empty());
    EXPECT_EQ(sim.Call(0x7777).cmd, kErrCmd);
    EXPECT_EQ(sim.Call(0x001B).cmd, kErrCmd);
}

TEST(SimPort, BadCheckByteGetsErrBccAndTheStreamRecovers) {
    Sim sim;
    auto f = Request(kGetVersion, {});
    f.back() ^= 0x40;
    sim.client->Send(f);
    auto r = sim.client->Receive(false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.cmd, kErrBcc);
    // Junk and a frame with a wrong ETX get no reply; the next good request does.
    std::vector<uint8_t> junk = {0x55, 0x66, 0x02, 0x00, 0x00, 0x09, 0x07, 0x00};
    sim.client->Send(junk);
    EXPECT_EQ(sim.Call(kGetVersion).payload, Words({0x53, 0x6D, 0x50}));
}

TEST(SimPort, BadPayloadsGetDataOrShortErrors) {
    Sim sim;
    EXPECT_EQ(sim.Call(kSetBank, {8}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetBank, {0x0100}).cmd, kErrData);  // a `b` word with a high byte
    EXPECT_EQ(sim.Call(kSetBank).cmd, kErrShort);
    EXPECT_EQ(sim.Call(kSetBank, {1, 2}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kGetVersion, {1}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetAreaMod, {4, 0}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetAreaMod, {0, 13}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetShutt0, {0}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetShutt0, {2048}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetCalSpan, {0, 2000}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetCalAvg, {4, 5}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetGpioInch, {0, 6}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kGetMeas, {6}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kEpmWrite, {0x0108}).cmd, kErrData);  // bank 8
    EXPECT_EQ(sim.Call(kEpmWrite, {0x020F}).cmd, kErrData);  // flag byte 2
    // Nothing of the refused settings reached memory.
    EXPECT_EQ(sim.Raw(Fld::Shutter), 100);
    EXPECT_EQ(sim.Raw(Fld::Bank, 0, 0), 0);
}

namespace {

struct SetCase {
    const char* name;
    uint16_t cmd;
    std::vector<uint16_t> words;
    Fld field;
    int index;
    int32_t raw;
};

}  // namespace

TEST(SimPort, EverySettingLandsInItsParameterWord) {
    const std::vector<SetCase> cases = {
        {"SET_SNS", kSetSns, {4}, Fld::Gain, 0, 4},
        {"SET_TMD pulse count", kSetTmd, {2}, Fld::TrigAction, 0, 3},
        {"SET_TMD one shot", kSetTmd, {1}, Fld::TrigAction, 0, 1},
        {"SET_SHUTT0", kSetShutt0, {2}, Fld::Shutter, 0, 2},
        {"SET_SHUTT1", kSetShutt1, {2047}, Fld::HDRShutter, 0, 2047},
        {"SET_PCNT", kSetPcnt, {4095}, Fld::TrigCount, 0, 4095},
        {"SET_TDLY", kSetTdly, {2}, Fld::TrigDelay, 0, 2},
        {"CAM_FUNC fast", kCamFunc, {1}, Fld::CamMode, 0, 2},
        {"CAM_FUNC NR", kCamFunc, {3}, Fld::CamNR, 0, 1},
        {"SET_CUT_LVL", kSetCutLvl, {255}, Fld::MeasureLimit, 0, 255},
        {"SET_THD_LVL", kSetThdLvl, {127}, Fld::LowIntensity, 0, 127},
        {"SET_PRF_FUNC gap", kSetPrfFunc, {1}, Fld::Extract, 0, 2},
        {"SET_PRF_FUNC semi", kSetPrfFunc, {2}, Fld::Extract, 0, 1},
        {"SET_XAXIS_FIL", kSetXaxisFil, {7}, Fld::Smoothing, 0, 7},
        {"SET_ALERT_LVL", kSetAlertLvl, {15}, Fld::AlarmLimit, 0, 15},
        {"SET_PROF_TILT", kSetProfTilt, {1}, Fld::TiltCorrect, 0, 1},
        {"SET_PROF_MOD", kSetProfMod, {3}, Fld::CorrectMethod, 0, 3},
        {"SET_HCORRECT", kSetHcorrect, {5000}, Fld::HCorrect, 0, 5000},
        {"SET_VCORRECT", kSetVcorrect, {0xFFFE}, Fld::VCorrect, 0, -2},
        {"SET_TILTCOR_POS", kSetTiltcorPos, {3750}, Fld::TiltCorPos, 0, 3750},
        {"SET_AREA_MOD", kSetAreaMod, {3, 12}, Fld::AFunc, 3, 12},
        {"SET_AREA_INFL", kSetAreaInfl, {1, 0xFF01}, Fld::AInfl, 1, -255},
        {"SET_AREA_DIR edge", kSetAreaDir, {2, 1}, Fld::ASDR, 2, 1},
        {"SET_AREA_SDR side", kSetAreaSdr, {0, 1}, Fld::ADir, 0, 1},
        {"SET_AREA_CMP", kSetAreaCmp, {0, 1}, Fld::ACmp, 0, 1},
        {"SET_CAL_A by calc", kSetCalA, {0, 2}, Fld::OpA, 0, 2},
        {"SET_CAL_A by channel", kSetCalA, {5, 1}, Fld::OpA, 1, 1},
        {"SET_CAL_B", kSetCalB, {1, 3}, Fld::OpB, 1, 3},
        {"SET_CAL_CMD", kSetCalCmd, {4, 1}, Fld::OpOp, 0, 1},
        {"SET_CAL_SPAN", kSetCalSpan, {5, 1999}, Fld::Span, 5, 1999},
        {"SET_CAL_AVG", kSetCalAvg, {3, 1023}, Fld::Ave, 3, 1023},
        {"SET_CAL_HLD", kSetCalHld, {5, 3}, Fld::Hold, 5, 3},
        {"SET_GPIO_OMODE", kSetGpioOmode, {2, 5}, Fld::OAction, 2, 5},
        {"SET_GPIO_OPOLAR", kSetGpioOpolar, {1, 0}, Fld::OPolar, 1, 0},
        {"SET_GPIO_OTIME", kSetGpioOtime, {0, 2047}, Fld::OTime, 0, 2047},
        {"SET_GPIO_ULMT", kSetGpioUlmt, {1, 0x8001}, Fld::OULimit, 1, -32767},
        {"SET_GPIO_LLMT analog", kSetGpioLlmt, {3, 1234}, Fld::OLLimit, 3, 1234},
        {"SET_GPIO_INCH analog", kSetGpioInch, {3, 5}, Fld::OCh, 3, 5},
        {"SET_GPIO_HYS", kSetGpioHys, {2, 15}, Fld::OHys, 2, 15},
    };
    for (const auto& c : cases) {
        Sim sim;
        std::vector<uint8_t> payload;
        for (uint16_t w : c.words) {
            payload.push_back(static_cast<uint8_t>(w >> 8));
            payload.push_back(static_cast<uint8_t>(w));
        }
        auto r = sim.Call(c.cmd, payload);
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.cmd, c.cmd) << c.name;
        EXPECT_EQ(sim.Raw(c.field, c.index), c.raw) << c.name;
    }
}

TEST(SimPort, SystemSettingsLandInTheSysBlock) {
    Sim sim;
    EXPECT_EQ(sim.Call(kBchgMth, {1}).cmd, kBchgMth);
    EXPECT_EQ(sim.Raw(Fld::BankSwitch, 0, 0), 1);
    EXPECT_EQ(sim.Call(kSetSysDir, {0}).cmd, kSetSysDir);
    EXPECT_EQ(sim.Raw(Fld::AxisDir, 0, 0), 0);
    EXPECT_EQ(sim.Call(kSetGpioOnt, {1}).cmd, kSetGpioOnt);
    EXPECT_EQ(sim.Raw(Fld::GpioOnT, 0, 0), 1);
    EXPECT_EQ(sim.Call(kSetGpioImode, {2, 1}).cmd, kSetGpioImode);
    EXPECT_EQ(sim.Raw(Fld::Input, 2, 0), 1);
    EXPECT_EQ(sim.Call(kSetGpioIpolar, {1}).cmd, kSetGpioIpolar);
    EXPECT_EQ(sim.Raw(Fld::InputsPolar, 0, 0) & 0x55, 0x55);
    EXPECT_EQ(sim.Call(kSetGpioIpolar, {0}).cmd, kSetGpioIpolar);
    EXPECT_EQ(sim.Raw(Fld::InputsPolar, 0, 0) & 0x55, 0);
    // The one-word commands echo what they took.
    auto f = sim.Call(kSetGpioIfill, {7});
    EXPECT_EQ(f.payload, Words({7}));
    EXPECT_EQ(sim.Raw(Fld::InputFilter, 0, 0), 7);
    EXPECT_EQ(sim.Call(kSetGpioIfill, {0}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetGpioZout, {4}).payload, Words({4}));
    EXPECT_EQ(sim.Raw(Fld::ZeroTarget, 0, 0), 4);
    EXPECT_EQ(sim.Call(kSetGpioZout, {5}).cmd, kErrData);
    EXPECT_EQ(sim.Call(kSetSysMode, {1}).cmd, kSetSysMode);
    EXPECT_EQ(sim.Call(kSysUpdate).cmd, kSysUpdate);
}

TEST(SimPort, QueriesReadBackWhatWasSet) {
    Sim sim;
    sim.Call(kSetSns, {3});
    EXPECT_EQ(sim.Call(kGetSns).payload, Words({3}));
    sim.Call(kSetShutt0, {40});
    EXPECT_EQ(sim.Call(kGetShutt0).payload, Words({40}));
    sim.Call(kSetShutt1, {80});
    EXPECT_EQ(sim.Call(kGetShutt1).payload, Words({80}));
    sim.Call(kSetCutLvl, {50});
    EXPECT_EQ(sim.Call(kGetCutLvl).payload, Words({50}));
    sim.Call(kSetThdLvl, {60});
    EXPECT_EQ(sim.Call(kGetThdLvl).payload, Words({60}));
    for (uint16_t p = 0; p < 4; ++p) {
        sim.Call(kCamFunc, {p});
        EXPECT_EQ(sim.Call(kGetCamFunc).payload, Words({p}));
    }
    EXPECT_EQ(sim.Call(kCamFunc, {4}).cmd, kErrData);
    // Camera window: top, left, height, width in units of 8 pixels.
    EXPECT_EQ(sim.Call(kSetCamRect, {0, 0, 60, 80}).cmd, kSetCamRect);
    EXPECT_EQ(sim.Call(kGetCamRect).payload, Words({0, 0, 60, 80}));
    EXPECT_EQ(sim.Call(kSetCamRect, {50, 0, 60, 80}).cmd, kErrData);  // beyond 800 rows
    EXPECT_EQ(sim.Call(kSetCamRect, {0, 0, 1, 80}).cmd, kErrData);    // too small
    EXPECT_EQ(sim.Call(kGetCamRect).payload, Words({0, 0, 60, 80}));
}

TEST(SimPort, SamplingPeriodFollowsShutterModeAndWindow) {
    Sim sim;
    const uint16_t full = sim.Call(kGetSmpRate).W(0);
    EXPECT_EQ(full, 524);  // (800*800/250 + 60) us in 5 us steps
    sim.Call(kSetCamRect, {0, 0, 30, 40});
    const uint16_t small = sim.Call(kGetSmpRate).W(0);
    EXPECT_LT(small, full);
    sim.Call(kSetShutt0, {2000});  // 10 ms exposure dominates
    EXPECT_EQ(sim.Call(kGetSmpRate).W(0), (10000 + 60) / 5);
    sim.Call(kSetShutt0, {100});
    sim.Call(kSetCamRect, {0, 0, 100, 100});
    sim.Call(kCamFunc, {1});  // fast mode reads a quarter
    EXPECT_EQ(sim.Call(kGetSmpRate).W(0), (800 * 800 / 250 / 4 + 60) / 5);
    sim.Call(kCamFunc, {2});  // HDR: both exposures, two read-outs
    EXPECT_EQ(sim.Call(kGetSmpRate).W(0), (2 * 800 * 800 / 250 + 60) / 5);
}

TEST(SimPort, MemoryReadHonoursCountStrideAndElementSize) {
    Sim sim;
    const auto& f = kdsim::FactoryImage();
    auto r = sim.Call(kMemRead, ReadReq(0x400, 4, 0x11));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.payload.size(), 4u + 8u);
    EXPECT_EQ(r.L(0), 0x400u);  // address echo
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(r.W(2 + i), f[i]);
    auto s = sim.Call(kMemRead, ReadReq(0x400, 3, 0x12));  // stride 2
    ASSERT_EQ(s.payload.size(), 4u + 6u);
    EXPECT_EQ(s.W(2), f[0]);
    EXPECT_EQ(s.W(3), f[2]);
    EXPECT_EQ(s.W(4), f[4]);
    auto e = sim.Call(kMemRead, ReadReq(0x400, 2, 0x22));  // 2-word elements, stride 2
    ASSERT_EQ(e.payload.size(), 4u + 8u);
    EXPECT_EQ(e.W(2), f[0]);
    EXPECT_EQ(e.W(3), f[1]);
    EXPECT_EQ(e.W(4), f[4]);
    EXPECT_EQ(e.W(5), f[5]);
    auto t = sim.Call(kMemRead, ReadReq(0x400, 3, 0x18));  // every 8th word
    EXPECT_EQ(t.W(3), f[8]);
    EXPECT_EQ(t.W(4), f[16]);
    auto z = sim.Call(kMemRead, ReadReq(0x400, 3, 0x00));  // mode 0 means stride 1, one word
    EXPECT_EQ(z.W(4), f[2]);
    // Largest normal read, and one too many.
    EXPECT_EQ(sim.Call(kMemRead, ReadReq(0x400, 253, 0x11)).payload.size(), 4u + 506u);
    EXPECT_EQ(sim.Call(kMemRead, ReadReq(0x400, 127, 0x21)).cmd, kErrData);  // 254 words
    EXPECT_EQ(sim.Call(kMemRead, ReadReq(0x400, 0, 0x11)).cmd, kErrData);
    EXPECT_EQ(sim.Call(kMemRead, {0, 0x400}).cmd, kErrShort);
}

TEST(SimPort, WideReadCountsGroupsOfFourAndFillsTheLargestFrame) {
    Sim sim;
    const auto& f = kdsim::FactoryImage();
    auto r = sim.Call(kMemReadWide, ReadReq(0x400, 253, 0x11));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.raw.size(), 2034u);
    EXPECT_EQ(r.raw[1], 255);
    ASSERT_EQ(r.payload.size(), 4u + 2024u);
    for (size_t i = 0; i < 1012; ++i) ASSERT_EQ(r.W(2 + i), f[i]) << i;
    auto one = sim.Call(kMemReadWide, ReadReq(0x404, 1, 0x11));
    EXPECT_EQ(one.raw[1], 3);
    EXPECT_EQ(one.payload.size(), 12u);
    EXPECT_EQ(one.W(2), f[4]);
    auto el = sim.Call(kMemReadWide, ReadReq(0x400, 2, 0x21));  // 2 x 2 x 4 words
    EXPECT_EQ(el.payload.size(), 4u + 32u);
    EXPECT_EQ(sim.Call(kMemReadWide, ReadReq(0x400, 254, 0x11)).cmd, kErrData);
    EXPECT_EQ(sim.Call(kMemReadWide, ReadReq(0x400, 127, 0x21)).cmd, kErrData);
}

TEST(SimPort, MemoryWriteReachesParametersAndTransferAreaOnly) {
    Sim sim;
    std::vector<uint8_t> p = {0, 0, 0x04, 0x27, 0x12, 0x34, 0xAB, 0xCD};  // 0x427: bank 0 word 7
    EXPECT_EQ(sim.Call(kMemWrite, p).cmd, kMemWrite);
    EXPECT_EQ(sim.Raw(Fld::Shutter), 0x1234 & 0x7FF);
    auto r = sim.Call(kMemRead, ReadReq(0x427, 2, 0x11));
    EXPECT_EQ(r.W(2), 0x1234);
    EXPECT_EQ(r.W(3), 0xABCD);
    std::vector<uint8_t> end = {0, 0, 0x07, 0xFF, 0, 1, 0, 2};  // crosses 0x7FF
    EXPECT_EQ(sim.Call(kMemWrite, end).cmd, kErrData);
    std::vector<uint8_t> image = {0, 0x10, 0, 0, 0, 1};
    EXPECT_EQ(sim.Call(kMemWrite, image).cmd, kErrData);
    EXPECT_EQ(sim.Call(kMemWrite, {0, 0x400}).cmd, kErrShort);
}

TEST(SimPort, MastersPerBankThroughTheTransferArea) {
    Sim sim;
    EXPECT_EQ(sim.Call(kGetMstAddr, {3}).L(0), 0xFFFFFFFFu);
    // A record of two points: four header words, count << 5 in word 2.
    std::vector<uint16_t> rec = {0, 0, 2 << 5, 0, 100, 200, 300, 400};
    std::vector<uint8_t> p = {0, 0, 0xD0, 0x00};
    for (uint16_t w : rec) {
        p.push_back(static_cast<uint8_t>(w >> 8));
        p.push_back(static_cast<uint8_t>(w));
    }
    ASSERT_EQ(sim.Call(kMemWrite, p).cmd, kMemWrite);
    EXPECT_EQ(sim.Call(kMstWrite, {3}).cmd, kMstWrite);
    const uint32_t addr = sim.Call(kGetMstAddr, {3}).L(0);
    EXPECT_NE(addr >> 16, 0xFFFFu);
    auto back = sim.Call(kMemRead, ReadReq(addr, 4, 0x21));
    for (size_t i = 0; i < rec.size(); ++i) EXPECT_EQ(back.W(2 + i), rec[i]);
    EXPECT_EQ(sim.Call(kGetMstAddr, {2}).L(0), 0xFFFFFFFFu);
    // Four zero words remove the master.
    std::vector<uint8_t> zeros = {0, 0, 0xD0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    sim.Call(kMemWrite, zeros);
    sim.Call(kMstWrite, {3});
    EXPECT_EQ(sim.Call(kGetMstAddr, {3}).L(0), 0xFFFFFFFFu);
    EXPECT_EQ(sim.Call(kMstWrite, {8}).cmd, kErrData);
    // Registering takes the newest profile as the current bank's master.
    sim.InjectFlat(1500);
    EXPECT_EQ(sim.Call(kSetProfMst).cmd, kSetProfMst);
    const uint32_t m0 = sim.Call(kGetMstAddr, {0}).L(0);
    auto hdr = sim.Call(kMemRead, ReadReq(m0, 3, 0x11));
    EXPECT_EQ(hdr.W(2 + 2) >> 5, 299);
    EXPECT_EQ(sim.Call(kGetMstAddr).L(0), m0);  // without payload: the current bank
}

TEST(SimPort, BankSwitchShowsInStatusAndChannels) {
    Sim sim;
    EXPECT_EQ(sim.Call(kSetBank, {5}).cmd, kSetBank);
    EXPECT_EQ(sim.Raw(Fld::Bank, 0, 0), 5);
    EXPECT_EQ((sim.Call(kGetStatus).W(0) >> 8) & 7, 5);
    // Settings now go to bank 5.
    sim.Call(kSetShutt0, {77});
    EXPECT_EQ(sim.Raw(Fld::Shutter, 0, 5), 77);
    EXPECT_EQ(sim.Raw(Fld::Shutter, 0, 0), 100);
}

TEST(SimVersions, OlderSensorsRefuseWhatTheyDoNotHave) {
    Sim old(Version(0x53, 0x48, 0x45));
    EXPECT_EQ(old.Call(kGetVersion).payload, Words({0x53, 0x48, 0x45}));
    EXPECT_EQ(old.Call(kGetStatus).cmd, kErrCmd);
    EXPECT_EQ(old.Call(kMemReadWide, ReadReq(0x400, 1, 0x11)).cmd, kErrCmd);
    EXPECT_EQ(old.Call(kMstWrite, {0}).cmd, kErrCmd);
    EXPECT_EQ(old.Call(kGetMstAddr, {0}).cmd, kErrData);
    EXPECT_EQ(old.Call(kGetMstAddr).cmd, kGetMstAddr);
    EXPECT_EQ(old.Call(kGetStrCount2).cmd, kErrCmd);
    EXPECT_EQ(old.Call(kGetAnaVal, {3}).cmd, kErrCmd);
    EXPECT_EQ(old.Call(kGetOutVal, {3}).cmd, kErrData);
    EXPECT_EQ(old.Call(kSetAreaMod, {0, 12}).cmd, kErrData);  // no inflection before 4B
    EXPECT_EQ(old.Call(kSetAreaMod, {0, 11}).cmd, kSetAreaMod);
    // The separate queries stand in for the status word.
    EXPECT_EQ(old.Call(kGetLaser).payload, Words({1}));
    EXPECT_EQ(old.Call(kGetHoldState).payload, Words({0}));
    EXPECT_EQ(old.Call(kGetIntTrig).payload, Words({0}));
    EXPECT_EQ(old.Call(kGetGpioOut).cmd, kGetGpioOut);
}

TEST(SimVersions, WideReadsOnlyOn49AndFrom4B) {
    for (uint16_t soft : {0x48, 0x49, 0x4A, 0x4B, 0x50}) {
        Sim s(Version(0x53, 0x6D, soft));
        const bool wide = soft == 0x49 || soft >= 0x4B;
        EXPECT_EQ(s.Call(kMemReadWide, ReadReq(0x400, 1, 0x11)).cmd,
                  wide ? uint16_t{kMemReadWide} : uint16_t{kErrCmd})
            << std::hex << soft;
    }
}

TEST(SimVersions, RepeatKeyAndStatusOutputBitsFollowSoftware) {
    {
        Sim s(Version(0x53, 0x6D, 0x4B));
        EXPECT_EQ(s.Call(kSetStrRpt, {1}).cmd, kSetStrRpt);
        EXPECT_EQ(s.Raw(Fld::StrRpt2, 0, 0), 1);
        EXPECT_EQ(s.Call(kSetStrRpt, {2}).cmd, kErrData);  // two-state form
        EXPECT_EQ(s.Call(kGetStrCount2).cmd, kErrCmd);
    }
    {
        Sim s;
        EXPECT_EQ(s.Call(kSetStrRpt, {2}).cmd, kSetStrRpt);
        EXPECT_EQ(s.Raw(Fld::StrRpt3, 0, 0), 2);
        EXPECT_EQ(s.Call(kGetStrRpt).payload, Words({2}));
        EXPECT_EQ(s.Call(kGetStrCount2).cmd, kGetStrCount2);
    }
    for (uint16_t soft : {0x4E, 0x4F}) {
        Sim s(Version(0x53, 0x6D, soft));
        s.Call(kSetCalAvg, {0, 1});
        s.Call(kSetGpioInch, {0, 0});
        s.Call(kSetGpioUlmt, {0, 5000});
        s.Call(kSetGpioLlmt, {0, 0});
        s.InjectFlat(1000);
        const uint16_t st = s.Call(kGetStatus).W(0);
        EXPECT_EQ((st >> 12) & 1, soft >= 0x4F ? 1 : 0) << std::hex << soft;
    }
}

TEST(SimFaults, NoStorageAnswersEveryStorageCommandWithErrCmd) {
    kdsim::SimOptions o;
    o.faults = "nostorage";
    Sim s(o);
    for (uint16_t cmd = kGetStrCount2; cmd <= kGetStrRpt; ++cmd) {
        EXPECT_EQ(s.Call(cmd, {0}).cmd, kErrCmd) << std::hex << cmd;
    }
    EXPECT_EQ(s.Call(kGetVersion).cmd, kGetVersion);
}

TEST(SimFaults, EveryFaultKindShowsOnTheWire) {
    {
        kdsim::SimOptions o;
        o.faults = "drop=1";
        Sim s(o);
        s.client->Send(Request(kGetVersion, {}));
        EXPECT_TRUE(s.client->ReadQuiet(150).empty());
    }
    {
        kdsim::SimOptions o;
        o.faults = "corrupt=1";
        Sim s(o);
        auto r = s.Call(kGetVersion);
        EXPECT_EQ(r.cmd, kGetVersion);
        EXPECT_FALSE(r.ok);
    }
    {
        kdsim::SimOptions o;
        o.faults = "cut=1";
        Sim s(o);
        s.client->Send(Request(kGetVersion, {}));
        auto bytes = s.client->ReadQuiet(150);
        EXPECT_GE(bytes.size(), 1u);
        EXPECT_LT(bytes.size(), 12u);
    }
    {
        kdsim::SimOptions o;
        o.faults = "noise=1";
        Sim s(o);
        s.client->Send(Request(kGetVersion, {}));
        auto bytes = s.client->ReadQuiet(150);
        ASSERT_GT(bytes.size(), 12u);
        EXPECT_LE(bytes.size(), 12u + 8u);
        EXPECT_NE(bytes[0], 0x02);
        EXPECT_EQ(bytes[bytes.size() - 12], 0x02);
    }
    {
        kdsim::SimOptions o;
        o.faults = "late=1:120";
        Sim s(o);
        s.client->Send(Request(kGetVersion, {}));
        EXPECT_TRUE(s.client->ReadQuiet(40).empty());
        EXPECT_TRUE(s.client->Receive(false, 2000).ok);
    }
}

TEST(SimFaults, SameSeedSameFaults) {
    auto run = [](uint64_t seed) {
        kdsim::SimOptions o;
        o.faults = "noise=0.2,corrupt=0.2,drop=0.1,cut=0.1";
        o.seed = seed;
        Sim s(o);
        std::vector<uint8_t> all;
        for (int i = 0; i < 25; ++i) {
            s.client->Send(Request(kMemRead, ReadReq(0x400, 4, 0x11)));
            auto b = s.client->ReadQuiet(kdtest::kSlowBuild ? 150 : 15);
            all.insert(all.end(), b.begin(), b.end());
            all.push_back(0xEE);  // separator per request
        }
        return all;
    };
    const auto a = run(11), b = run(11), c = run(12);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(SimFaults, EepromWritesFailTheFirstNTimes) {
    kdsim::SimOptions o;
    o.faults = "epm-exe=2";
    Sim s(o);
    EXPECT_EQ(s.Call(kEpmWrite, {0x0100}).cmd, kErrExe);
    EXPECT_EQ(s.Call(kEpmWrite, {0x0100}).cmd, kErrExe);
    EXPECT_EQ(s.Call(kEpmWrite, {0x0100}).cmd, kEpmWrite);
    EXPECT_EQ(s.Call(kEpmWrite, {0x010F}).cmd, kEpmWrite);
}

TEST(SimPort, ServesAcrossManyOpensAndCloses) {
    Sim sim;
    sim.client.reset();
    for (int i = 0; i < 25; ++i) {
        Client c(sim.path);
        auto r = c.Call(kGetVersion, {});
        ASSERT_TRUE(r.ok) << "connection " << i;
        EXPECT_EQ(r.payload, Words({0x53, 0x6D, 0x50}));
    }
    // A request half sent before the close is dropped; the next connection works.
    {
        Client c(sim.path);
        auto f = Request(kGetVersion, {});
        c.Send(std::vector<uint8_t>(f.begin(), f.begin() + 3));
    }
    usleep(300000);
    Client c(sim.path);
    EXPECT_TRUE(c.Call(kGetVersion, {}).ok);
}

TEST(SimPort, PacedRepliesLeaveWithTheUsbAdaptersFrames) {
    // Each request follows the last reply, which came with a frame; its own
    // reply is due within the next one, so n calls span n - 1 frames at least.
    for (const uint32_t frameUs : {0u, 5000u}) {
        kdsim::SimOptions o;
        o.pace = true;
        o.baud = 2000000;
        o.usbFrameUs = frameUs;
        Sim sim(o);
        const uint64_t t0 = kd::TickUs();
        for (int i = 0; i < 6; ++i) {
            ASSERT_TRUE(sim.Call(kGetVersion).ok) << frameUs;
        }
        const uint64_t took = kd::TickUs() - t0;
        if (frameUs > 0) {
            EXPECT_GE(took, 5 * uint64_t{frameUs});
        }
        EXPECT_EQ(sim.sensor->GetStats().lateCount, 6u);
    }
}

TEST(SimPort, PacedRepliesCountFromWhenTheRigSaysTheRequestWasWritten) {
    kdsim::SimOptions o;
    o.pace = true;
    o.baud = 2000000;
    o.latencyUs = 50000;
    Sim sim(o);
    uint64_t t0 = kd::TickUs();
    sim.sensor->RequestWritten(t0 - 40000);  // as if written 40 ms ago
    ASSERT_TRUE(sim.Call(kGetVersion).ok);
    EXPECT_LT(kd::TickUs() - t0, 40000u);
    // That word was about the last request: the next one waits its latency.
    t0 = kd::TickUs();
    ASSERT_TRUE(sim.Call(kGetVersion).ok);
    EXPECT_GE(kd::TickUs() - t0, 50000u);
}

TEST(SimPort, TraceAndLinkFile) {
    char dir[] = "/tmp/kdsim_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string trace = std::string(dir) + "/trace.txt";
    const std::string link = std::string(dir) + "/port";
    {
        kdsim::SimOptions o;
        o.trace = trace;
        o.link = link;
        Sim s(o);
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), s.path);
        Client viaLink(link);
        EXPECT_TRUE(viaLink.Call(kGetSmpRate, {}).ok);
        s.Call(kSetBank, {9});
    }
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);  // removed at stop
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find(" IN 02 00 20 16 03 36"), std::string::npos);
    EXPECT_NE(lines[1].find(" OUT 02 01 20 16"), std::string::npos);
    EXPECT_NE(lines[2].find(" IN 02 01 00 06 00 09 03"), std::string::npos);
    EXPECT_NE(lines[3].find(" OUT 02 00 E0 02 03 E2"), std::string::npos);
    double t = -1;
    for (const auto& l : lines) {
        const double ms = std::stod(l.substr(0, l.find(' ')));
        EXPECT_GE(ms, t);
        t = ms;
    }
    unlink(trace.c_str());
    rmdir(dir);
}
