// The settings table and the edit rule, once for every page: the rows agree
// with the key table and the catalogue, and every kind of row stores, sends
// and logs as its page does.
#include <gtest/gtest.h>

#include <set>

#include "common/log.h"
#include "link/commands.h"
#include "pages/settings_table.h"
#include "tests/support/test_context.h"

using namespace kd;
using kd::test::TFakeWorker;
using kd::test::TTestContext;

namespace {

class SettingsTableTest : public ::testing::Test {
  protected:
    TSettingOutcome Edit(const char* key, const char* text) {
        return EditSetting(*FindSettingByKey(key), t.Ctx, text);
    }
    TSettingOutcome Choose(const char* key, int v) {
        return ChooseSetting(*FindSettingByKey(key), t.Ctx, v);
    }
    TTestContext t;
    std::vector<std::string> log;
    ScopedLogSink sink{[this](int, const std::string& l) { log.push_back(l); }};
};

}  // namespace

TEST(SettingsTable, RowsAgreeWithTheKeysAndTheCatalogue) {
    std::set<std::string> keys, controls;
    for (const TSetting& s : SettingsTable()) {
        SCOPED_TRACE(s.Key);
        std::optional<TKeyRef> ref = FindKeyById(s.KeyId);
        ASSERT_TRUE(ref);
        EXPECT_EQ(ref->Block, s.Block);
        // The name kdctl takes is the key's own (the three-state StrRpt aside).
        if (s.KeyId != pk::StrRpt3) {
            EXPECT_STREQ(ref->Entry->Name, s.Key);
        }
        EXPECT_TRUE(keys.insert(s.Key).second) << "key twice";
        EXPECT_TRUE(controls.insert(s.Control).second) << "control twice";
        EXPECT_TRUE(FindCommand(s.Command)) << "not in the catalogue";
        ASSERT_NE(s.Log, nullptr);
        if (s.Kind == TSettingKind::List) {
            EXPECT_GT(s.Items, 0);
            if (!s.Map.empty()) {
                EXPECT_EQ(static_cast<int>(s.Map.size()), s.Items);
            }
        } else {
            const TSettingRange r = RangeOf(s);
            EXPECT_LT(r.Min, r.Max);
        }
        EXPECT_EQ(FindSettingByControl(s.Control), &s);
    }
    EXPECT_EQ(FindSettingByKey("NoSuchKey"), nullptr);
}

// Each edit row: the text typed, what the image keeps, and what goes out.
TEST_F(SettingsTableTest, EditRuleStoresTruncatesSendsAndLogs) {
    struct Case {
        const char* Key;
        const char* Text;
        TSettingOutcome::TResult Result;
        int Stored;                    // the key afterwards
        std::vector<uint8_t> Payload;  // empty: nothing sent
        const char* Log;
    };
    const Case cases[] = {
        {"InputFilter", "7", TSettingOutcome::Stored, 5, {0, 1}, "SET_GPIO_IFILL(7)"},
        {"InputFilter", "5", TSettingOutcome::Unchanged, 5, {}, nullptr},  // equal to the image
        {"InputFilter", "4", TSettingOutcome::OutOfRange, 5, {}, nullptr},
        {"InputFilter", "1276", TSettingOutcome::OutOfRange, 5, {}, nullptr},
        {"InputFilter", "", TSettingOutcome::NotANumber, 5, {}, nullptr},
        {"InputFilter", "1 0", TSettingOutcome::NotANumber, 5, {}, nullptr},
        {"InputFilter", "0x10", TSettingOutcome::NotANumber, 5, {}, nullptr},
        {"InputFilter", "99999999999", TSettingOutcome::NotANumber, 5, {}, nullptr},
        {"TrigDelay", "12", TSettingOutcome::Stored, 10, {0, 2}, "SET_TDLY(2)"},
        {"TrigDelay", "20475", TSettingOutcome::Stored, 20475, {0x0F, 0xFF}, "SET_TDLY(4095)"},
        {"TrigCount", "4095", TSettingOutcome::Stored, 4095, {0x0F, 0xFF}, "SET_PCNT(4095)"},
        {"TrigCount", "+3", TSettingOutcome::Stored, 3, {0, 3}, "SET_PCNT(3)"},
        {"TrigCount", "0", TSettingOutcome::OutOfRange, 3, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Key) + " '" + c.Text + "'");
        t.Worker.Sent.clear();
        log.clear();
        const TSettingOutcome o = Edit(c.Key, c.Text);
        EXPECT_EQ(o.Result, c.Result);
        EXPECT_EQ(o.Valid(),
                  c.Result == TSettingOutcome::Stored || c.Result == TSettingOutcome::Unchanged);
        EXPECT_EQ(StoredValue(*FindSettingByKey(c.Key), t.Ctx), c.Stored);
        if (c.Payload.empty()) {
            EXPECT_TRUE(t.Worker.Sent.empty());
            EXPECT_TRUE(log.empty());
        } else {
            ASSERT_EQ(t.Worker.Sent.size(), 1u);
            EXPECT_EQ(t.Worker.Sent[0].Payload, c.Payload);
            EXPECT_EQ(log, (std::vector<std::string>{c.Log}));
        }
    }
}

TEST_F(SettingsTableTest, ListsMapPositionsAndBits) {
    // PulseCount: the image holds 3, the sensor is sent the position 2.
    EXPECT_EQ(Choose("TrigAction", 2).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("TrigAction"), 3);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_TMD, {0, 2}}));
    EXPECT_EQ(ShownValue(*FindSettingByKey("TrigAction"), t.Ctx), 2);
    t.Set("TrigAction", 2);  // no position shows it
    EXPECT_EQ(ShownValue(*FindSettingByKey("TrigAction"), t.Ctx), std::nullopt);
    // Gap/Trans: Extract 2, SET_PRF_FUNC 1.
    Choose("Extract", 1);
    EXPECT_EQ(t.Ctx.GetBank("Extract"), 2);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_PRF_FUNC, {0, 1}}));
    // An input: its number and the position, logged with both.
    log.clear();
    Choose("INPUT2", 1);
    EXPECT_EQ(t.Ctx.GetSys("INPUT2"), 1);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_GPIO_IMODE, {0, 1, 0, 1}}));
    EXPECT_EQ(log, (std::vector<std::string>{"SET_GPIO_IMODE(o1, 1)"}));
    // Polarity over the bits 0x55: partly set shows no position; a choice
    // sets or clears those bits only.
    const TSetting& polar = *FindSettingByKey("InputsPolar");
    t.Set("InputsPolar", 0x05);
    EXPECT_EQ(ShownValue(polar, t.Ctx), std::nullopt);
    t.Set("InputsPolar", 0xAA);
    EXPECT_EQ(ShownValue(polar, t.Ctx), 0);
    Choose("InputsPolar", 1);
    EXPECT_EQ(t.Ctx.GetSys("InputsPolar"), 0xFF);
    EXPECT_EQ(ShownValue(polar, t.Ctx), 1);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_GPIO_IPOLAR, {0, 1}}));
    // A position the list does not have is refused, nothing sent.
    const size_t sent = t.Worker.Sent.size();
    EXPECT_EQ(Choose("ZeroTarget", 5).Result, TSettingOutcome::OutOfRange);
    EXPECT_EQ(Choose("ZeroTarget", -1).Result, TSettingOutcome::OutOfRange);
    EXPECT_EQ(t.Worker.Sent.size(), sent);
}

TEST_F(SettingsTableTest, SyncOffKeepsChangesInTheImageOnly) {
    t.Services.SyncOn = false;
    EXPECT_EQ(Edit("TrigCount", "12").Result, TSettingOutcome::Stored);
    EXPECT_FALSE(Edit("TrigCount", "13").Sent);
    Choose("TrigAction", 1);
    EXPECT_EQ(t.Ctx.GetBank("TrigCount"), 13);
    EXPECT_EQ(t.Ctx.GetBank("TrigAction"), 1);
    EXPECT_TRUE(t.Worker.Sent.empty());
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(t.Image.SensorModified);
}

TEST_F(SettingsTableTest, CorrectionLinesGoOutWhileTheLinkIsOpenWithTheirLimits) {
    t.Services.SyncOn = false;  // lines do not follow Sync
    t.Set("VCorrect", -1000);
    t.Set("TiltCorPos", 2000);
    EXPECT_EQ(Choose("HCorrect", 10001).Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("HCorrect"), 10000);  // steps of 2
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_HCORRECT, {0x13, 0x88}}));
    EXPECT_EQ(log.back(), "cmd4015(5000)");
    // The same value again is sent again.
    Choose("HCorrect", 10001);
    EXPECT_EQ(t.Worker.Sent.size(), 2u);
    // Negative positions: two's complement words.
    Choose("VCorrect", -1001);
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_VCORRECT, {0xFE, 0x0C}}));
    EXPECT_EQ(t.Ctx.GetBank("VCorrect"), -1000);
    // The frame's limits (twice the key's), and the order of the two vertical lines.
    EXPECT_EQ(Choose("HCorrect", 28002).Result, TSettingOutcome::OutOfRange);
    EXPECT_EQ(Choose("HCorrect", -28000).Result, TSettingOutcome::Stored);
    EXPECT_EQ(Choose("VCorrect", 15002).Result, TSettingOutcome::OutOfRange);
    EXPECT_EQ(Choose("VCorrect", 2002).Result, TSettingOutcome::Refused);
    EXPECT_EQ(Choose("TiltCorPos", -1500).Result, TSettingOutcome::Refused);
    EXPECT_EQ(Choose("TiltCorPos", -1000).Result, TSettingOutcome::Stored);
    // Without the link nothing is stored either.
    t.Worker.Open = false;
    const size_t sent = t.Worker.Sent.size();
    EXPECT_EQ(Choose("HCorrect", 500).Result, TSettingOutcome::Unchanged);
    EXPECT_EQ(t.Ctx.GetBank("HCorrect"), -28000);
    EXPECT_EQ(t.Worker.Sent.size(), sent);
}

TEST_F(SettingsTableTest, TextOfKdctlAndLinkFailures) {
    EXPECT_EQ(ApplySettingText(*FindSettingByKey("TrigAction"), t.Ctx, "2").Result,
              TSettingOutcome::Stored);
    EXPECT_EQ(ApplySettingText(*FindSettingByKey("TrigAction"), t.Ctx, "x").Result,
              TSettingOutcome::NotANumber);
    // A failing send leaves the change in the image and is thrown on.
    t.Worker.RefusedCode = cmd::SET_PCNT;
    EXPECT_THROW(Edit("TrigCount", "77"), ECommErrData);
    EXPECT_EQ(t.Ctx.GetBank("TrigCount"), 77);
}

// An area edge typed alone (kdctl set A3.Right=...) goes out with the other
// three edges of the image; the sensor's refusal keeps the keys.
TEST_F(SettingsTableTest, AreaEdgeGoesOutWithItsRectangle) {
    t.Set("A3.Left", -1000);
    t.Set("A3.Top", -2000);
    t.Set("A3.Right", 1000);
    t.Set("A3.Bottom", 2000);
    TSettingOutcome o = Edit("A3.Right", "5000");
    EXPECT_EQ(o.Result, TSettingOutcome::Stored);
    EXPECT_TRUE(o.Sent);
    ASSERT_EQ(t.Worker.Rects.size(), 1u);
    EXPECT_EQ(t.Worker.Rects[0].first, 2);
    EXPECT_EQ(t.Worker.Rects[0].second, (AreaRect{-1000, -2000, 5000, 2000}));
    EXPECT_EQ(t.Ctx.GetBank("A3.Right"), 5000);
    // Beyond the key's limits: sent, and clamped by the sensor, as the page does.
    EXPECT_EQ(Edit("A3.Right", "20000").Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("A3.Right"), 14998);
    t.Worker.RefuseRect = true;
    o = Edit("A3.Left", "-3000");
    EXPECT_EQ(o.Result, TSettingOutcome::Refused);
    EXPECT_EQ(t.Ctx.GetBank("A3.Left"), -1000);
    EXPECT_EQ(log.back(), "SetArea; invalid rect");
    // Sync off: stored as typed (not ordered), held within the key's limits;
    // nothing asked of the sensor.
    t.Worker.RefuseRect = false;
    t.Services.SyncOn = false;
    EXPECT_EQ(Edit("A3.Left", "20000").Result, TSettingOutcome::Stored);
    EXPECT_EQ(t.Ctx.GetBank("A3.Left"), 14934);
    EXPECT_EQ(t.Ctx.GetBank("A3.Right"), 14998);
    EXPECT_EQ(t.Worker.Rects.size(), 3u);
}

// The calculations' rows carry the channel (4, 5) first.
TEST_F(SettingsTableTest, CalculationRowsNameTheirChannel) {
    EXPECT_EQ(Choose("Op2.B", 3).Result, TSettingOutcome::Stored);
    ASSERT_FALSE(t.Worker.Sent.empty());
    EXPECT_EQ(t.Worker.Sent.back(), (TFakeWorker::TSent{cmd::SET_CAL_B, {0, 5, 0, 3}}));
    EXPECT_EQ(log.back(), "SET_CAL_B(5, 3)");
    EXPECT_EQ(Choose("Op1.Op", 2).Result, TSettingOutcome::OutOfRange);
}
