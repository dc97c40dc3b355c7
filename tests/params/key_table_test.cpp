// The three key tables: ids, row order, word/bit layout and limits.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "params/kest_param.h"
#include "params/param_key.h"

using namespace kd;

namespace {

std::vector<int> Ids(TKeyBlock b) {
    std::vector<int> ids;
    for (const TParamKey& k : KeysOf(b)) ids.push_back(k.Key);
    return ids;
}

const TParamKey& ByName(const std::string& name) {
    auto ref = FindKeyByName(name);
    EXPECT_TRUE(ref.has_value()) << name;
    static const TParamKey none{-1, 0, 0, 0, "", 1, 0, 0};
    return ref ? *ref->Entry : none;
}

void ExpectField(const std::string& name, int offset, int msb, int lsb, double scale, double min,
                 double max) {
    const TParamKey& k = ByName(name);
    EXPECT_EQ(k.Offset, offset) << name;
    EXPECT_EQ(k.Msb, msb) << name;
    EXPECT_EQ(k.Lsb, lsb) << name;
    EXPECT_EQ(k.Scale, scale) << name;
    EXPECT_EQ(k.Min, min) << name;
    EXPECT_EQ(k.Max, max) << name;
}

}  // namespace

TEST(KeyTables, EachTableEndsWithTerminatorAfterItsKeys) {
    EXPECT_EQ(HeaderKeys.back().Key, -1);
    EXPECT_EQ(SysKeys.back().Key, -1);
    EXPECT_EQ(BankKeys.back().Key, -1);
    EXPECT_EQ(KeysOf(TKeyBlock::Header).size(), 2u);
    EXPECT_EQ(KeysOf(TKeyBlock::Sys).size(), 21u);
    EXPECT_EQ(KeysOf(TKeyBlock::Bank).size(), 118u);
    for (TKeyBlock b : {TKeyBlock::Header, TKeyBlock::Sys, TKeyBlock::Bank})
        for (const TParamKey& k : KeysOf(b)) EXPECT_GE(k.Key, 0);
}

TEST(KeyTables, IdsAreUniqueAndCoverTheirRanges) {
    std::set<int> all;
    auto check = [&](TKeyBlock b, int lo, int hi) {
        for (int id : Ids(b)) {
            EXPECT_GE(id, lo);
            EXPECT_LE(id, hi);
            EXPECT_TRUE(all.insert(id).second) << "duplicate id " << id;
        }
    };
    check(TKeyBlock::Header, 1, 2);
    check(TKeyBlock::Sys, 3, 23);
    check(TKeyBlock::Bank, 24, 141);
    EXPECT_EQ(all.size(), 141u);
}

TEST(KeyTables, RowOrderOfHeaderAndSys) {
    EXPECT_EQ(Ids(TKeyBlock::Header), (std::vector<int>{1, 2}));
    EXPECT_EQ(Ids(TKeyBlock::Sys), (std::vector<int>{10, 14, 11, 3,  4,  5,  6,  7,  8,  9, 12,
                                                     13, 15, 16, 17, 18, 19, 20, 21, 22, 23}));
}

TEST(KeyTables, RowOrderOfBank) {
    std::vector<int> want = {24, 25, 26, 27, 28, 29, 30, 31, 33, 32, 34, 35,
                             36, 37, 38, 39, 45, 46, 47, 40, 41, 42, 43, 44};
    for (int i = 1; i <= 4; ++i) {
        std::vector<int> area = {47 + i, 51 + i, 55 + i, 59 + i, 63 + i, 67 + i};
        if (i < 4)
            area.insert(area.end(), {75 + i, 79 + i, 71 + i});  // Dir, SDR, Cmp
        else
            area.insert(area.end(), {71 + i, 75 + i, 79 + i});  // Cmp, Dir, SDR
        want.insert(want.end(), area.begin(), area.end());
    }
    for (int j = 1; j <= 6; ++j) {
        if (j <= 4)
            want.insert(want.end(), {83 + j, 87 + j});  // Ave, Hold
        else
            want.push_back(87 + j);                          // Op1.Hold 92, Op2.Hold 93
        want.insert(want.end(), {99 + j, 93 + j, 105 + j});  // Span, Offset, ZAdj
    }
    want.insert(want.end(), {112, 116, 114, 113, 117, 115});
    for (int k = 1; k <= 3; ++k)
        want.insert(want.end(), {117 + k, 133 + k, 137 + k, 130 + k, 121 + k, 127 + k, 124 + k});
    want.insert(want.end(), {121, 137, 141});
    EXPECT_EQ(Ids(TKeyBlock::Bank), want);
}

TEST(KeyTables, AreaKeysFollowTheAreaLayout) {
    for (int i = 1; i <= 4; ++i) {
        int b = 30 + 9 * (i - 1);
        std::string a = "A" + std::to_string(i) + ".";
        ExpectField(a + "Func", b, 4, 0, 1, 0, 0);
        ExpectField(a + "Cmp", b, 5, 5, 1, 0, 0);
        ExpectField(a + "Top", b + 1, 15, 0, 2, -27998, 27934);
        ExpectField(a + "Left", b + 2, 15, 0, 2, -14998, 14934);
        ExpectField(a + "Bottom", b + 3, 15, 0, 2, -27934, 27998);
        ExpectField(a + "Right", b + 4, 15, 0, 2, -14934, 14998);
        ExpectField(a + "Infl", b + 5, 15, 0, 1, -255, 255);
        ExpectField(a + "SDR", b + 6, 2, 2, 1, 0, 0);
        ExpectField(a + "Dir", b + 6, 3, 3, 1, 0, 0);
        EXPECT_EQ(ByName(a + "Func").Key, pk::AreaFunc(i));
        EXPECT_EQ(ByName(a + "Left").Key, pk::AreaLeft(i));
        EXPECT_EQ(ByName(a + "Top").Key, pk::AreaTop(i));
        EXPECT_EQ(ByName(a + "Right").Key, pk::AreaRight(i));
        EXPECT_EQ(ByName(a + "Bottom").Key, pk::AreaBottom(i));
        EXPECT_EQ(ByName(a + "Infl").Key, pk::AreaInfl(i));
        EXPECT_EQ(ByName(a + "Cmp").Key, pk::AreaCmp(i));
        EXPECT_EQ(ByName(a + "Dir").Key, pk::AreaDir(i));
        EXPECT_EQ(ByName(a + "SDR").Key, pk::AreaSDR(i));
    }
}

TEST(KeyTables, ChannelKeysFollowTheChannelLayout) {
    for (int j = 1; j <= 6; ++j) {
        int c = 76 + 5 * (j - 1);
        std::string cj = "C" + std::to_string(j) + ".";
        ExpectField(cj + "Offset", c + 2, 15, 0, 10, -32767, 32767);
        ExpectField(cj + "Span", c + 3, 15, 0, 1, 1, 1999);
        ExpectField(cj + "ZAdj", c + 4, 15, 0, 1, -32767, 32767);
        EXPECT_EQ(ByName(cj + "Offset").Key, pk::ChOffset(j));
        EXPECT_EQ(ByName(cj + "Span").Key, pk::ChSpan(j));
        EXPECT_EQ(ByName(cj + "ZAdj").Key, pk::ChZAdj(j));
        if (j <= 4) {
            std::string aj = "A" + std::to_string(j) + ".";
            ExpectField(aj + "Ave", c, 15, 6, 1, 1, 1023);
            ExpectField(aj + "Hold", c, 1, 0, 1, 0, 0);
            EXPECT_EQ(ByName(aj + "Ave").Key, pk::AreaAve(j));
            EXPECT_EQ(ByName(aj + "Hold").Key, pk::AreaHold(j));
        } else {
            std::string op = "Op" + std::to_string(j - 4) + ".";
            ExpectField(op + "Hold", c, 1, 0, 1, 0, 0);
            ExpectField(op + "A", c, 3, 2, 1, 0, 0);
            ExpectField(op + "B", c, 5, 4, 1, 0, 0);
            ExpectField(op + "Op", c, 11, 8, 1, 0, 0);
        }
    }
    EXPECT_EQ(ByName("Op1.Hold").Key, 92);
    EXPECT_EQ(ByName("Op2.Hold").Key, 93);
    EXPECT_EQ(ByName("Op1.A").Key, 112);
    EXPECT_EQ(ByName("Op2.A").Key, 113);
    EXPECT_EQ(ByName("Op1.B").Key, 114);
    EXPECT_EQ(ByName("Op2.B").Key, 115);
    EXPECT_EQ(ByName("Op1.Op").Key, 116);
    EXPECT_EQ(ByName("Op2.Op").Key, 117);
}

TEST(KeyTables, OutputKeysFollowTheOutputLayout) {
    for (int k = 1; k <= 4; ++k) {
        std::string o = k < 4 ? "O" + std::to_string(k) + "." : "Ana.";
        int base = 110 + 3 * (k - 1);
        ExpectField(o + "Ch", 108, 4 * (k - 1) + 3, 4 * (k - 1), 1, 0, 0);
        ExpectField(o + "ULimit", base, 15, 0, 1, -32767, 32767);
        ExpectField(o + "LLimit", base + 1, 15, 0, 1, -32767, 32767);
        EXPECT_EQ(ByName(o + "Ch").Key, pk::OutCh(k));
        EXPECT_EQ(ByName(o + "ULimit").Key, pk::OutULimit(k));
        EXPECT_EQ(ByName(o + "LLimit").Key, pk::OutLLimit(k));
        if (k == 4) continue;
        ExpectField(o + "Time", base + 2, 11, 0, 1, 0.1, 204.7);
        ExpectField(o + "Hys", base + 2, 15, 12, 1, 0, 15);
        ExpectField(o + "Action", 109, 4 * (k - 1) + 3, 4 * (k - 1) + 1, 1, 0, 0);
        ExpectField(o + "Polar", 109, 4 * (k - 1), 4 * (k - 1), 1, 0, 0);
        EXPECT_EQ(ByName(o + "Time").Key, pk::OutTime(k));
        EXPECT_EQ(ByName(o + "Hys").Key, pk::OutHys(k));
        EXPECT_EQ(ByName(o + "Action").Key, pk::OutAction(k));
        EXPECT_EQ(ByName(o + "Polar").Key, pk::OutPolar(k));
    }
}

TEST(KeyTables, SingleBankAndSysKeys) {
    ExpectField("TrigAction", 5, 3, 2, 1, 0, 0);
    ExpectField("TrigCount", 9, 11, 0, 1, 1, 4095);
    ExpectField("TrigDelay", 10, 11, 0, 5, 5, 20475);
    ExpectField("CamLeft", 1, 15, 0, 8, 0, 0);
    ExpectField("CamTop", 0, 15, 0, 8, 0, 0);
    ExpectField("CamWidth", 3, 15, 0, 8, 0, 0);
    ExpectField("CamHeight", 2, 15, 0, 8, 0, 0);
    ExpectField("CamMode", 5, 5, 4, 1, 0, 0);
    ExpectField("CamNR", 5, 8, 8, 1, 0, 0);
    ExpectField("CamModeNR", 5, 8, 4, 1, 0, 0);
    ExpectField("Gain", 4, 15, 0, 1, 0, 0);
    ExpectField("Shutter", 7, 10, 0, 5, 5, 10235);
    ExpectField("HDRShutter", 8, 10, 0, 5, 5, 10235);
    ExpectField("MeasureLimit", 18, 7, 0, 1, 0, 255);
    ExpectField("LowIntensity", 19, 6, 0, 1, 0, 127);
    ExpectField("CamMask", 19, 15, 15, 1, 0, 0);
    ExpectField("Extract", 16, 6, 5, 1, 0, 0);
    ExpectField("AlarmLimit", 16, 15, 12, 1, 0, 0);
    ExpectField("Smoothing", 16, 10, 8, 1, 0, 0);
    ExpectField("CorrectMethod", 20, 2, 0, 1, 0, 0);
    ExpectField("TiltCorrect", 20, 3, 3, 1, 0, 0);
    ExpectField("VCorrect", 21, 15, 0, 2, -7500, 7500);
    ExpectField("HCorrect", 22, 15, 0, 2, -14000, 14000);
    ExpectField("TiltCorPos", 23, 15, 0, 2, -7500, 7500);
    ExpectField("HeadRowOffset", 2, 15, 0, 1, 0, 0);
    ExpectField("HeadColOffset", 3, 15, 0, 1, 0, 0);
    ExpectField("Bank", 8, 2, 0, 1, 0, 0);
    ExpectField("LastDisp", 9, 15, 0, 1, 0, 0);
    ExpectField("BankSwitch", 8, 3, 3, 1, 0, 0);
    ExpectField("INPUT1", 4, 3, 3, 1, 0, 0);
    ExpectField("INPUT2", 4, 5, 5, 1, 0, 0);
    ExpectField("INPUT3", 4, 7, 7, 1, 0, 0);
    ExpectField("INPUT4", 4, 1, 1, 1, 0, 0);
    ExpectField("InputFilter", 5, 7, 0, 5, 5, 1275);
    ExpectField("InputsPolar", 4, 7, 0, 1, 0, 0);
    ExpectField("ZeroTarget", 5, 12, 10, 1, 0, 0);
    ExpectField("AxisDir", 1, 2, 2, 1, 0, 0);
    ExpectField("GpioOnT", 1, 3, 3, 1, 0, 0);
    ExpectField("StrStl", 10, 15, 0, 1, -10000, 10000);
    ExpectField("StrBuf", 11, 15, 0, 1, 1, 65535);
    ExpectField("StrStc", 12, 2, 0, 1, 0, 5);
    ExpectField("StrStt", 12, 5, 3, 1, 0, 5);
    ExpectField("StrTgt", 13, 1, 0, 1, 0, 2);
    ExpectField("StrSmp", 13, 15, 3, 1, 1, 8191);
    ExpectField("StrThd", 14, 31, 0, 1, -999999, 999999);
}

TEST(KeyTables, TwoStrRptKeysAndTheOnlyWideKey) {
    const TParamKey* two = FindKeyIn(TKeyBlock::Sys, 20);
    const TParamKey* three = FindKeyIn(TKeyBlock::Sys, 21);
    ASSERT_TRUE(two && three);
    EXPECT_STREQ(two->Name, "StrRpt");
    EXPECT_STREQ(three->Name, "StrRpt");
    EXPECT_EQ(three->Offset, 12);
    EXPECT_EQ(three->Msb, 7);
    EXPECT_EQ(three->Lsb, 6);
    EXPECT_EQ(three->Max, 2);
    EXPECT_EQ(FindKeyByName("StrRpt")->Entry->Key, 20);  // first in table order
    int wide = 0;
    for (TKeyBlock b : {TKeyBlock::Header, TKeyBlock::Sys, TKeyBlock::Bank})
        for (const TParamKey& k : KeysOf(b))
            if (k.IsWide()) {
                ++wide;
                EXPECT_EQ(k.Key, pk::StrThd);
                EXPECT_EQ(k.Width(), 32);
            }
    EXPECT_EQ(wide, 1);
}

TEST(KeyTables, EveryBankKeyStaysInsideWordsZeroTo120AndSignedOnesStartAtBitZero) {
    for (const TParamKey& k : KeysOf(TKeyBlock::Bank)) {
        EXPECT_GE(k.Offset, 0);
        EXPECT_LE(k.Offset, 120) << k.Name;
        EXPECT_LE(k.Msb, 15);
        EXPECT_LE(k.Lsb, k.Msb);
        if (k.IsSigned()) {
            EXPECT_EQ(k.Lsb, 0) << k.Name;
        }
    }
    for (const TParamKey& k : KeysOf(TKeyBlock::Sys))
        EXPECT_LE(k.Offset + (k.IsWide() ? 1 : 0), 15);
}

TEST(KeyTables, LookupByIdAndByName) {
    auto r = FindKeyById(37);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Block, TKeyBlock::Bank);
    EXPECT_STREQ(r->Entry->Name, "MeasureLimit");
    EXPECT_EQ(FindKeyById(1)->Block, TKeyBlock::Header);
    EXPECT_EQ(FindKeyById(23)->Block, TKeyBlock::Sys);
    EXPECT_FALSE(FindKeyById(0));
    EXPECT_FALSE(FindKeyById(142));
    EXPECT_FALSE(FindKeyById(-1));  // the terminator is not a key
    EXPECT_FALSE(FindKeyByName(""));
    EXPECT_FALSE(FindKeyByName("measurelimit"));  // names are exact
    EXPECT_FALSE(FindKeyIn(TKeyBlock::Sys, 37));  // a bank key is not in Sys
    for (TKeyBlock b : {TKeyBlock::Header, TKeyBlock::Sys, TKeyBlock::Bank})
        for (const TParamKey& k : KeysOf(b)) {
            auto byName = FindKeyByName(k.Name);
            ASSERT_TRUE(byName) << k.Name;
            if (k.Key != 21) {
                EXPECT_EQ(byName->Entry, &k) << k.Name;
            }
        }
}

TEST(KeyTables, ImageWordOfEachBlock) {
    EXPECT_EQ(ImageWordOf(*FindKeyByName("HeadColOffset")), 3);
    EXPECT_EQ(ImageWordOf(*FindKeyByName("StrThd")), 30);
    EXPECT_EQ(ImageWordOf(*FindKeyByName("StrThd"), 5), 30);  // the bank does not count
    EXPECT_EQ(ImageWordOf(*FindKeyByName("CamTop"), 0), 32);
    EXPECT_EQ(ImageWordOf(*FindKeyByName("Ana.LLimit"), 7), 1020);
    TKestParam p;
    for (const TParamKey& k : KeysOf(TKeyBlock::Bank))
        EXPECT_EQ(ImageWordOf({TKeyBlock::Bank, &k}, 6), p.BankWordIndex(6, k.Key)) << k.Name;
}
