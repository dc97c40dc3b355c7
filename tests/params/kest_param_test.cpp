// TKestParam: the default image, the key operations and the image state.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/kest_error.h"
#include "common/log.h"
#include "params/kest_param.h"
#include "tests/params/listing.h"

using namespace kd;

namespace {
using kd::test_data::ListedDefaultImage;

struct LogCapture {
    std::vector<std::pair<int, std::string>> lines;
    ScopedLogSink sink{[this](int a, const std::string& l) { lines.emplace_back(a, l); }};
};

}  // namespace

TEST(DefaultImage, EveryWordMatchesTheListing) {
    auto listed = ListedDefaultImage();
    ASSERT_EQ(listed.size(), 1024u);
    ASSERT_EQ(DefaultImage().size(), 2048u);
    TKestParam p;
    p.LoadDefaultImage();
    for (int w = 0; w < 1024; ++w) {
        EXPECT_EQ(p.Word(w), listed[static_cast<size_t>(w)]) << "word " << w;
        // little-endian in the buffer itself
        EXPECT_EQ(DefaultImage()[2 * w], listed[static_cast<size_t>(w)] & 0xFF) << "word " << w;
    }
}

TEST(DefaultImage, SettingsReadThroughTheKeys) {
    TKestParam p;
    p.LoadDefaultImage();
    EXPECT_EQ(p.GetSys(pk::Bank), 0);
    EXPECT_EQ(p.GetHeader(pk::HeadRowOffset), 10);
    EXPECT_EQ(p.GetHeader(pk::HeadColOffset), 2);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(p.GetBank(n, pk::MeasureLimit), 32);
    EXPECT_EQ(p.GetBank(0, pk::ChSpan(1)), 1000);
    EXPECT_EQ(p.GetBank(0, pk::OutULimit(1)), 25000);
    EXPECT_EQ(p.GetBank(0, pk::OutLLimit(1)), -25000);
    EXPECT_EQ(p.GetBank(7, pk::OutULimit(1)), -24000);  // A240
}

TEST(DefaultImage, FileNewLeavesMeasureLimit12InTheCurrentBankOnly) {
    TKestParam p;
    p.LoadDefaultImage();
    p.SetBank(p.GetSys(pk::Bank), pk::MeasureLimit, 12);
    p.SetFileModified(false);
    p.SetSensorModified(false);
    p.ValidMask = kValidAll;
    EXPECT_EQ(p.GetBank(0, pk::MeasureLimit), 12);
    for (int n = 1; n < 8; ++n) EXPECT_EQ(p.GetBank(n, pk::MeasureLimit), 32);
}

TEST(ImageState, FreshImageReadsZeroEverywhere) {
    TKestParam p;
    EXPECT_EQ(p.ValidMask, 0u);
    EXPECT_TRUE(p.NotLoaded);
    EXPECT_FALSE(p.SensorModified);
    EXPECT_FALSE(p.FileModified);
    EXPECT_TRUE(p.FileName.empty());
    for (const TParamKey& k : KeysOf(TKeyBlock::Header)) EXPECT_EQ(p.GetHeader(k.Key), 0);
    for (const TParamKey& k : KeysOf(TKeyBlock::Sys)) EXPECT_EQ(p.GetSys(k.Key), 0);
    for (int n = 0; n < 8; ++n)
        for (const TParamKey& k : KeysOf(TKeyBlock::Bank)) EXPECT_EQ(p.GetBank(n, k.Key), 0);
}

TEST(ImageState, SetBankClearsOnlyItsValidBitAndSetsBothFlags) {
    TKestParam p;
    p.ValidMask = kValidAll;
    int notified = 0;
    p.OnModifiedChange = [&] { ++notified; };
    p.SetBank(3, pk::Gain, 1);
    EXPECT_EQ(p.ValidMask, kValidAll & ~(1u << 3));
    EXPECT_TRUE(p.SensorModified);
    EXPECT_TRUE(p.FileModified);
    EXPECT_EQ(notified, 2);
    p.SetBank(3, pk::Gain, 2);
    EXPECT_EQ(notified, 2);  // no change of a flag, no notification
    p.SetSys(pk::INPUT1, 1);
    EXPECT_EQ(p.ValidMask, kValidAll & ~(1u << 3) & ~kValidSys);
}

TEST(ImageState, SetSysClearsBit15Only) {
    TKestParam p;
    p.ValidMask = kValidAll;
    p.SetSys(pk::StrBuf, 100);
    EXPECT_EQ(p.ValidMask, kValidAll & ~0x8000u);
    EXPECT_TRUE(p.SensorModified);
    EXPECT_TRUE(p.FileModified);
}

TEST(ImageState, FlagSettersNotifyOnlyOnChange) {
    TKestParam p;
    int notified = 0;
    p.OnModifiedChange = [&] { ++notified; };
    p.SetSensorModified(false);
    p.SetFileModified(false);
    EXPECT_EQ(notified, 0);
    p.SetSensorModified(true);
    p.SetSensorModified(true);
    p.SetFileModified(true);
    EXPECT_EQ(notified, 2);
    p.SetSensorModified(false);
    EXPECT_EQ(notified, 3);
}

TEST(KeyAccess, ScaledSignedFieldsTruncateTowardZero) {
    TKestParam p;
    p.SetBank(0, pk::VCorrect, -3);  // trunc(-1.5) = -1
    EXPECT_EQ(p.Word(BankStartWord(0) + 21), 0xFFFF);
    EXPECT_EQ(p.GetBank(0, pk::VCorrect), -2);
    p.SetBank(0, pk::VCorrect, 3);
    EXPECT_EQ(p.Word(BankStartWord(0) + 21), 1);
    EXPECT_EQ(p.GetBank(0, pk::VCorrect), 2);
    p.SetBank(2, pk::ChOffset(3), -32767);  // scale 10: raw -3276
    EXPECT_EQ(p.GetBank(2, pk::ChOffset(3)), -32760);
}

TEST(KeyAccess, ScaledUnsignedAndTruncatedToFieldWidth) {
    TKestParam p;
    p.SetBank(1, pk::Shutter, 12);
    EXPECT_EQ(p.Word(BankStartWord(1) + 7), 2);
    EXPECT_EQ(p.GetBank(1, pk::Shutter), 10);
    p.SetBank(1, pk::TrigCount, 5000);
    EXPECT_EQ(p.GetBank(1, pk::TrigCount), 904);
    // bits beyond the field never touch the neighbours
    p.SetWord(BankStartWord(1) + 9, 0xF000);
    p.SetBank(1, pk::TrigCount, 0xFFFF);
    EXPECT_EQ(p.Word(BankStartWord(1) + 9), 0xFFFF);
    p.SetBank(1, pk::TrigCount, 0);
    EXPECT_EQ(p.Word(BankStartWord(1) + 9), 0xF000);
    // a negative value into an unsigned field keeps its low bits
    p.SetBank(1, pk::MeasureLimit, -1);
    EXPECT_EQ(p.GetBank(1, pk::MeasureLimit), 255);
}

TEST(KeyAccess, SignExtensionAtTheLimits) {
    TKestParam p;
    int w = BankStartWord(0) + 32;  // A1.Left
    p.SetWord(w, 0x8000);
    EXPECT_EQ(p.GetBank(0, pk::AreaLeft(1)), -65536);
    p.SetWord(w, 0x7FFF);
    EXPECT_EQ(p.GetBank(0, pk::AreaLeft(1)), 65534);
    p.SetWord(w, 0xFFFF);
    EXPECT_EQ(p.GetBank(0, pk::AreaLeft(1)), -2);
    p.SetBank(0, pk::AreaInfl(1), -255);
    EXPECT_EQ(p.GetBank(0, pk::AreaInfl(1)), -255);
    p.SetBank(0, pk::OutLLimit(4), -32767);
    EXPECT_EQ(p.GetBank(0, pk::OutLLimit(4)), -32767);
    EXPECT_EQ(p.Word(BankStartWord(0) + 120), 0x8001);
    // 16-bit wrap of a value beyond the field
    p.SetBank(0, pk::OutULimit(1), 40000);
    EXPECT_EQ(p.GetBank(0, pk::OutULimit(1)), 40000 - 65536);
}

TEST(KeyAccess, SysSignedFieldIsZeroExtended) {
    TKestParam p;
    p.SetSys(pk::StrStl, -5);
    EXPECT_EQ(p.GetSys(pk::StrStl), 65531);
    EXPECT_EQ(static_cast<int16_t>(p.GetSys(pk::StrStl)), -5);
}

TEST(KeyAccess, TheThirtyTwoBitKey) {
    TKestParam p;
    p.SetSys(pk::StrThd, -1);
    EXPECT_EQ(p.Word(kSysWord + 14), 0xFFFF);
    EXPECT_EQ(p.Word(kSysWord + 15), 0xFFFF);
    EXPECT_EQ(p.GetSys(pk::StrThd), -1);
    p.SetSys(pk::StrThd, 999999);  // 0x000F423F, low word first
    EXPECT_EQ(p.Word(kSysWord + 14), 0x423F);
    EXPECT_EQ(p.Word(kSysWord + 15), 0x000F);
    EXPECT_EQ(p.GetSys(pk::StrThd), 999999);
    p.SetSys(pk::StrThd, -999999);
    EXPECT_EQ(p.GetSys(pk::StrThd), -999999);
    p.SetSys(pk::StrThd, INT32_MIN);
    EXPECT_EQ(p.GetSys(pk::StrThd), INT32_MIN);
    EXPECT_EQ(p.Word(kSysWord + 13), 0);  // neighbours untouched
    EXPECT_EQ(p.Word(kBankWord), 0);
}

TEST(KeyAccess, SysScaledField) {
    TKestParam p;
    p.SetSys(pk::InputFilter, 1275);
    EXPECT_EQ(p.Word(kSysWord + 5) & 0xFF, 255);
    EXPECT_EQ(p.GetSys(pk::InputFilter), 1275);
    p.SetSys(pk::InputFilter, 7);  // trunc(1.4) = 1
    EXPECT_EQ(p.GetSys(pk::InputFilter), 5);
    p.SetSys(pk::ZeroTarget, 5);
    EXPECT_EQ(p.GetSys(pk::InputFilter), 5);
    EXPECT_EQ(p.Word(kSysWord + 5), (5 << 10) | 1);
}

TEST(KeyAccess, OverlappingKeysShareTheirBits) {
    TKestParam p;
    p.SetBank(0, pk::CamModeNR, 0x1F);
    EXPECT_EQ(p.GetBank(0, pk::CamMode), 3);
    EXPECT_EQ(p.GetBank(0, pk::CamNR), 1);
    p.SetBank(0, pk::CamModeNR, 0);
    EXPECT_EQ(p.GetBank(0, pk::CamMode), 0);
    EXPECT_EQ(p.GetBank(0, pk::CamNR), 0);
    p.SetBank(0, pk::CamMode, 2);
    p.SetBank(0, pk::CamNR, 1);
    EXPECT_EQ(p.GetBank(0, pk::CamModeNR), 0x12);
    p.SetBank(0, pk::TrigAction, 3);  // shares word 5, not the bits
    EXPECT_EQ(p.GetBank(0, pk::CamModeNR), 0x12);

    p.SetSys(pk::InputsPolar, 0xFF);
    EXPECT_EQ(p.GetSys(pk::INPUT1), 1);
    EXPECT_EQ(p.GetSys(pk::INPUT2), 1);
    EXPECT_EQ(p.GetSys(pk::INPUT3), 1);
    EXPECT_EQ(p.GetSys(pk::INPUT4), 1);
    p.SetSys(pk::INPUT3, 0);
    EXPECT_EQ(p.GetSys(pk::InputsPolar), 0x7F);
    p.SetSys(pk::InputsPolar, 0x0A);  // bits 1 and 3
    EXPECT_EQ(p.GetSys(pk::INPUT4), 1);
    EXPECT_EQ(p.GetSys(pk::INPUT1), 1);
    EXPECT_EQ(p.GetSys(pk::INPUT2), 0);
}

TEST(KeyAccess, KeysOfOneBankDoNotReachAnother) {
    TKestParam p;
    for (const TParamKey& k : KeysOf(TKeyBlock::Bank)) p.SetBank(4, k.Key, -1);
    for (int w = 0; w < kImageWords; ++w) {
        bool inBank4 = w >= BankStartWord(4) && w <= BankStartWord(4) + 120;
        if (!inBank4) {
            EXPECT_EQ(p.Word(w), 0) << "word " << w;
        }
    }
    EXPECT_EQ(p.BankWordIndex(4, pk::AnaLLimit), 32 + 124 * 4 + 120);
    EXPECT_EQ(p.BankWordIndex(7, pk::AnaLLimit), 1023 - 3);
    EXPECT_EQ(p.BankWordIndex(0, pk::CamTop), 32);
}

TEST(KeyAccess, OutputTimeAndHysteresisShareAWord) {
    TKestParam p;
    p.SetBank(5, pk::OutTime(2), 2047);
    p.SetBank(5, pk::OutHys(2), 15);
    EXPECT_EQ(p.Word(BankStartWord(5) + 115), 0xF7FF);
    EXPECT_EQ(p.GetBank(5, pk::OutTime(2)), 2047);
    p.SetBank(5, pk::OutAction(3), 7);
    p.SetBank(5, pk::OutPolar(3), 1);
    EXPECT_EQ(p.Word(BankStartWord(5) + 109), 0x0F00);
}

TEST(KeyAccess, LimitsByKey) {
    TKestParam p;
    EXPECT_EQ(p.GetSysMin(pk::StrThd), -999999);
    EXPECT_EQ(p.GetSysMax(pk::StrSmp), 8191);
    EXPECT_EQ(p.GetBankMin(pk::OutTime(1)), 0.1);
    EXPECT_EQ(p.GetBankMax(pk::OutTime(1)), 204.7);
    EXPECT_EQ(p.GetBankMin(pk::Gain), 0);
    EXPECT_EQ(p.GetBankMax(pk::Gain), 0);
}

TEST(KeyAccess, UnknownKeysLogAndChangeNothing) {
    TKestParam p;
    p.LoadDefaultImage();
    p.ValidMask = kValidAll;
    auto before = p.Image;
    LogCapture log;
    EXPECT_EQ(p.GetBank(0, 999), 0);
    EXPECT_EQ(p.GetBank(0, 999), 0);
    EXPECT_EQ(p.GetBank(0, pk::Bank), 0);  // a Sys key is unknown to the bank table
    EXPECT_EQ(p.GetSys(pk::TrigCount), 0);
    EXPECT_EQ(p.GetHeader(3), 0);
    EXPECT_EQ(p.BankWordIndex(0, -1), -1);
    EXPECT_EQ(p.GetSysMin(0), 0.0);
    EXPECT_EQ(p.GetBankMax(200), 0.0);
    p.SetBank(1, 142, 5);
    p.SetSys(24, 5);
    EXPECT_EQ(p.Image, before);
    EXPECT_EQ(p.ValidMask, kValidAll);
    EXPECT_FALSE(p.SensorModified);
    EXPECT_FALSE(p.FileModified);
    ASSERT_EQ(log.lines.size(), 10u);  // one line per call
    EXPECT_EQ(log.lines[0].second, "no param: param_key999");
    EXPECT_EQ(log.lines[0].first, kLogError);
    EXPECT_EQ(log.lines[2].second, "no param: param_key10");
    EXPECT_EQ(log.lines[5].second, "no param: param_key-1");
    EXPECT_EQ(log.lines[8].second, "no param: param_key142");
}

TEST(KeyAccess, BankOutsideZeroToSevenIsRefused) {
    TKestParam p;
    auto before = p.Image;
    LogCapture log;
    p.SetBank(8, pk::CamTop, 8);
    p.SetBank(-1, pk::CamTop, 8);
    EXPECT_EQ(p.GetBank(8, pk::AnaLLimit), 0);
    EXPECT_EQ(p.BankWordIndex(9, pk::CamTop), -1);
    EXPECT_EQ(p.Image, before);
    EXPECT_EQ(log.lines.size(), 4u);
}

class UnitText : public ::testing::Test {
  protected:
    void SetUp() override {
        sensor.LoadDefaultImage();
        sensor.ModeUnit = [this](int f) { return ModeUnitFromList(units, displUnit, f); };
        // area functions 0..3 of bank 2 in the sensor's image
        for (int i = 1; i <= 4; ++i) sensor.SetBank(2, pk::AreaFunc(i), i + 6);  // 7..10
    }
    std::vector<std::string> units = {"mm", "mm",   "mm",  "mm", "mm", "mm", "mm",
                                      "",   "deg.", "mm2", "mm", "mm", "mm"};
    int displUnit = 0;
    TKestParam sensor;
};

TEST_F(UnitText, ChannelOfEachKindOfKey) {
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "");     // func 7
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChZAdj(2)), "deg.");   // func 8
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(3)), "mm2");  // func 9
    sensor.SetBank(2, pk::Op1A, 2);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(5)), "mm2");  // Op1.A = area 3
    sensor.SetBank(2, pk::OutCh(2), 1);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::OutHys(2)), "deg.");
    EXPECT_EQ(sensor.GetUnitStr(2, pk::OutULimit(2)), "deg.");
    EXPECT_EQ(sensor.GetUnitStr(2, pk::OutLLimit(2)), "deg.");
    sensor.SetBank(2, pk::AnaCh, 4);
    sensor.SetBank(2, pk::Op1A, 0);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::AnaULimit), "");
    sensor.SetSys(pk::StrStc, 1);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::StrThd), "deg.");
}

TEST_F(UnitText, MicrometresExceptFunctions6And11) {
    displUnit = 1;
    sensor.SetBank(2, pk::AreaFunc(1), 0);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "um");
    sensor.SetBank(2, pk::AreaFunc(1), 6);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "mm");
    sensor.SetBank(2, pk::AreaFunc(1), 11);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "mm");
    sensor.SetBank(2, pk::AreaFunc(1), 9);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "mm2");
    units[0] = "MM";
    sensor.SetBank(2, pk::AreaFunc(1), 0);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "um");
    EXPECT_EQ(ModeUnitFromList({}, 1, 0), "?");
}

TEST_F(UnitText, FunctionBeyondTheListOrChannelOutOfRange) {
    sensor.SetBank(2, pk::AreaFunc(1), 31);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::ChOffset(1)), "?");
    sensor.SetBank(2, pk::OutCh(1), 9);  // no such channel
    EXPECT_EQ(sensor.GetUnitStr(2, pk::OutULimit(1)), "?");
    sensor.SetSys(pk::StrStc, 7);
    EXPECT_EQ(sensor.GetUnitStr(2, pk::StrThd), "?");
    TKestParam noUnits;
    EXPECT_EQ(noUnits.GetUnitStr(0, pk::ChOffset(1)), "?");
}

TEST_F(UnitText, KeysWithoutValueRaise) {
    try {
        sensor.GetUnitStr(2, pk::Gain);
        FAIL() << "no error";
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "GetUnitStr; unknown key34");
    }
    EXPECT_THROW(sensor.GetUnitStr(2, pk::ChSpan(1)), EKestError);
    EXPECT_THROW(sensor.GetUnitStr(2, pk::OutTime(1)), EKestError);
    EXPECT_THROW(sensor.GetUnitStr(2, 0), EKestError);
}

TEST_F(UnitText, ComparisonImageTakesChannelsFromTheSensor) {
    TKestParam file;
    file.SensorImage = &sensor;
    file.ModeUnit = sensor.ModeUnit;
    // file areas 1..4: "mm", "deg.", "", "mm2"; sensor areas: "", "deg.", "mm2", "mm"
    int fileFuncs[4] = {0, 8, 7, 9};
    for (int i = 1; i <= 4; ++i) file.SetBank(2, pk::AreaFunc(i), fileFuncs[i - 1]);
    file.SetBank(2, pk::OutCh(1), 0);
    sensor.SetBank(2, pk::OutCh(1), 2);
    // the channel comes from the sensor's image (2), its function from this one
    EXPECT_EQ(file.GetUnitStr(2, pk::OutULimit(1)), "");
    // calculations: operand and function both from the sensor's image
    sensor.SetBank(2, pk::Op2A, 3);
    EXPECT_EQ(file.GetUnitStr(2, pk::ChZAdj(6)), "mm");
    sensor.SetBank(2, pk::Op2A, 0);
    EXPECT_EQ(file.GetUnitStr(2, pk::ChZAdj(6)), "");
    // StrThd takes StrStc from this image
    file.SetSys(pk::StrStc, 2);
    sensor.SetSys(pk::StrStc, 1);
    EXPECT_EQ(file.GetUnitStr(2, pk::StrThd), "");
    // channel offsets use this image's function
    EXPECT_EQ(file.GetUnitStr(2, pk::ChOffset(4)), "mm2");
}

TEST(MasterStore, RecordSizes) {
    TMasterStore m;
    EXPECT_EQ(m.MasterWords.size(), 8u);
    EXPECT_EQ(m.RecordWords(0), 0);
    m.MasterCount[1] = 2046;
    EXPECT_EQ(m.RecordWords(1), 4096);  // fits exactly
    m.MasterCount[2] = -1;
    EXPECT_EQ(m.RecordWords(2), 0);
    EXPECT_FALSE(m.HasMaster(2));
    m.MasterCount[3] = 2047;
    EXPECT_THROW(m.RecordWords(3), EKestError);
}
