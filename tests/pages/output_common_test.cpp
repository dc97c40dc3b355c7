// The output page's and the common setup page's rules: the hysteresis list,
// the analog current worked out for older sensors, the limits and offsets
// as rows of the settings table, the baud-rate text, the on-timing rule and
// the two bank operations that overwrite the sensor's settings.
#include <gtest/gtest.h>

#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "pages/common_logic.h"
#include "pages/output_logic.h"
#include "measure/value_text.h"
#include "pages/settings_table.h"
#include "tests/support/test_context.h"

using namespace kd;
using kd::test::TTestContext;

namespace {
std::vector<uint8_t> Words(std::initializer_list<uint16_t> w) {
    std::vector<uint8_t> b;
    for (uint16_t x : w) {
        b.push_back(static_cast<uint8_t>(x >> 8));
        b.push_back(static_cast<uint8_t>(x & 0xFF));
    }
    return b;
}
}  // namespace

TEST(OutputRules, HysteresisListByVersionAndUnit) {
    std::string old, mm, um;
    for (int h : HysteresisValues(0x3C)) old += HysteresisText(h, 0) + ",";
    EXPECT_EQ(old,
              "0.000,0.004,0.008,0.012,0.016,0.020,0.024,0.028,0.032,0.036,0.040,0.044,0.048,"
              "0.052,0.056,0.060,");
    for (int h : HysteresisValues(0x50)) um += HysteresisText(h, 1) + ",";
    EXPECT_EQ(um, "0,4,8,16,32,50,75,100,150,200,300,500,750,1000,1500,2000,");
    EXPECT_EQ(HysteresisValues(0x4B)[3], 16);  // the table from 4B on
    EXPECT_EQ(HysteresisValues(0x4A)[3], 12);
}

TEST(OutputRules, EstimatedCurrentAtTheEndsAndBeyond) {
    const int64_t l = 500, u = 2500;  // offset already added
    EXPECT_EQ(EstimatedCurrent(500, u, l), 4000);
    EXPECT_EQ(EstimatedCurrent(2500, u, l), 20000);
    EXPECT_EQ(EstimatedCurrent(3000, u, l), 24000);  // a quarter of the span beyond U
    EXPECT_EQ(EstimatedCurrent(1500, u, l), 12000);
    EXPECT_EQ(EstimatedCurrent(-2000, u, l), 24000);  // below 0 mA
    EXPECT_EQ(EstimatedCurrent(kNoValue, u, l), 24000);
    EXPECT_EQ(EstimatedCurrent(1000, 500, 500), 24000);  // no span
}

TEST(OutputRules, TimeTextAndHint) {
    struct {
        const char* Text;
        std::optional<int> Tenths;
    } const cases[] = {{"0.1", 1},
                       {"204.7", 2047},
                       {"3.35", 33},
                       {"0.05", std::nullopt},
                       {"204.8", std::nullopt},
                       {"abc", std::nullopt},
                       {"", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(ParseOutputTime(c.Text), c.Tenths) << c.Text;
    EXPECT_EQ(LimitHint(-32767, 32767, 0), "-32_767 ... 32_767 [um]");
    EXPECT_EQ(LimitHint(-32767, 32767, 1500), "-31_267 ... 34_267 [um]");
}

TEST(CommonRules, BaudTexts) {
    struct {
        const char* Text;
        int Baud;
    } const cases[] = {{"38.4kbps", 38400},
                       {"2Mbps", 2000000},
                       {"9600bps", 9600},
                       {"57.6kbps", 57600},
                       {"921.6kbps", 921600},
                       {"4Mbps", 4000000},
                       {"115200", 115200},
                       {"bps", 0},
                       {"", 0},
                       {"0", 0},
                       {"-9600", 0},
                       {"99999999999", 0}};
    for (const auto& c : cases) EXPECT_EQ(ParseBaudText(c.Text), c.Baud) << c.Text;
    EXPECT_EQ(VersionText({0x53, 0x6D, 0x50}), "0053:006D:0050");
}

class OutputRows : public ::testing::Test {
  protected:
    TSettingOutcome Edit(const std::string& key, int v) {
        return EditSetting(*FindSettingByKey(key), t.Ctx, std::to_string(v));
    }
    TTestContext t;
    std::vector<std::string> log;
    ScopedLogSink sink{[this](int, const std::string& l) { log.push_back(l); }};
};

TEST_F(OutputRows, SwitchingLimitsStrictAnalogMayBeEqual) {
    t.Set("O2.LLimit", 100);
    t.Set("O2.ULimit", 900);
    EXPECT_EQ(Edit("O2.ULimit", 100).Result, TSettingOutcome::Refused);
    EXPECT_EQ(Edit("O2.LLimit", 900).Result, TSettingOutcome::Refused);
    EXPECT_EQ(t.Ctx.GetBank("O2.ULimit"), 900);
    EXPECT_TRUE(t.Worker.Sent.empty());
    EXPECT_EQ(Edit("O2.ULimit", 101).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Worker.Sent.back().Payload, Words({1, 101}));
    EXPECT_EQ(log.back(), "SET_GPIO_ULMT(o1, 101)");

    t.Set("Ana.LLimit", 100);
    t.Set("Ana.ULimit", 900);
    EXPECT_EQ(Edit("Ana.ULimit", 100).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Worker.Sent.back().Payload, Words({3, 100}));
    EXPECT_EQ(log.back(), "SET_GPIO_ULMT(ANA, 100)");
    EXPECT_EQ(Edit("Ana.LLimit", 101).Result, TSettingOutcome::Refused);
}

TEST_F(OutputRows, OffsetTravelsRawWithAnOutputOfItsChannel) {
    t.Set("O1.Ch", 0);
    t.Set("O2.Ch", 2);
    t.Set("O3.Ch", 2);
    // 1505 um is kept and sent as 150 tens, with output 2 (the first of channel 3).
    EXPECT_EQ(Edit("C3.Offset", 1505).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("C3.Offset"), 1500);
    ASSERT_EQ(t.Worker.Sent.size(), 1u);
    EXPECT_EQ(t.Worker.Sent[0].Code, cmd::SET_SHIFT_ZERO);
    EXPECT_EQ(t.Worker.Sent[0].Payload, Words({1, 150}));
    EXPECT_EQ(log.back(), "SET_SHIFT_ZERO(o1, 150)");
    // No output evaluates channel 6: refused, nothing stored.
    EXPECT_EQ(Edit("C6.Offset", 200).Result, TSettingOutcome::Refused);
    EXPECT_EQ(t.Ctx.GetBank("C6.Offset"), 0);
    // The raw value must fit the key: 327680 um is 32768 tens.
    EXPECT_EQ(Edit("C3.Offset", 327680).Result, TSettingOutcome::OutOfRange);
    EXPECT_EQ(Edit("C3.Offset", -327679).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Worker.Sent.back().Payload, Words({1, static_cast<uint16_t>(-32767)}));
}

TEST_F(OutputRows, OnTimingGoesOutOnlyToSensorsThatKnowIt) {
    const TSetting& row = *FindSettingByKey("GpioOnT");
    t.State.SensorVersion = {0x53, 0x45, 0x50};
    EXPECT_EQ(ChooseSetting(row, t.Ctx, 1).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetSys("GpioOnT"), 1);
    EXPECT_TRUE(t.Worker.Sent.empty());
    t.State.SensorVersion = {0x53, 0x46, 0x50};
    EXPECT_TRUE(ChooseSetting(row, t.Ctx, 0).Sent);
    EXPECT_EQ(t.Worker.Sent.back().Code, cmd::SET_GPIO_ONT);
    EXPECT_EQ(log.back(), "SET_GPIO_ONT(0)");
}

class BankOps : public OutputRows {
  protected:
    void SetUp() override {
        ops.Confirm = [this](const std::string& text) {
            asked.push_back(text);
            return answer;
        };
        ops.Backup = [this](const std::string& reason) {
            if (failBackup) throw EKestError("backup folder not writable");
            steps.push_back("backup " + reason);
            return std::string("/tmp/x.kd");
        };
        ops.ReloadCurrentBank = [this] { steps.push_back("reload"); };
        ops.Disconnect = [this] { steps.push_back("disconnect"); };
        ops.Sleep = [this](unsigned ms) { steps.push_back("sleep " + std::to_string(ms)); };
    }
    TBankOps ops;
    std::vector<std::string> asked, steps;
    bool answer = true, failBackup = false;
};

TEST_F(BankOps, ClearAsksBacksUpIgnoresAMismatchAndReloads) {
    t.Set("Bank", 2);
    answer = false;
    EXPECT_FALSE(BankClearExecute(t.Ctx, ops));
    EXPECT_EQ(asked, (std::vector<std::string>{"Clear current bank#3."}));
    EXPECT_TRUE(t.Worker.Sent.empty());
    EXPECT_TRUE(steps.empty());

    answer = true;
    failBackup = true;
    EXPECT_THROW(BankClearExecute(t.Ctx, ops), EKestError);
    EXPECT_TRUE(t.Worker.Sent.empty());  // no backup, no clear

    failBackup = false;
    t.Worker.RefusedCode = 0;
    EXPECT_TRUE(BankClearExecute(t.Ctx, ops));
    ASSERT_EQ(t.Worker.Sent.size(), 1u);
    EXPECT_EQ(t.Worker.Sent[0].Code, cmd::EEPROM_INIT);
    EXPECT_EQ(t.Worker.Sent[0].Payload, Words({1}));
    EXPECT_EQ(steps, (std::vector<std::string>{"backup bankclear", "sleep 1000", "reload"}));
    EXPECT_FALSE(t.Image.SensorModified);
    EXPECT_TRUE(t.Image.FileModified);
    EXPECT_EQ(log.back(), "EEPROM_INIT(1)");
}

namespace {
// A worker whose EEPROM_INIT reply does not match the request.
class TMismatchWorker : public kd::test::TFakeWorker {
  protected:
    std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> payload) override {
        TFakeWorker::DoCommand(code, payload);
        if (code == cmd::EEPROM_INIT) throw ECommErrMissmatched("missmatched");
        return {};
    }
};
}  // namespace

TEST_F(BankOps, FactoryPresetIgnoresAMismatchThenDisconnects) {
    TMismatchWorker w;
    TTestContext c(&w);
    EXPECT_TRUE(FactInitExecute(c.Ctx, ops));
    EXPECT_EQ(asked, (std::vector<std::string>{"Initialize to factory preset."}));
    ASSERT_EQ(w.Sent.size(), 1u);
    EXPECT_EQ(w.Sent[0].Payload, Words({0}));
    EXPECT_EQ(steps, (std::vector<std::string>{"backup factinit", "disconnect"}));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "FACT_INIT recv missmathed; IGNORE");
    EXPECT_EQ(log.back(), "EEPROM_INIT(0)");
}
