// Record sets, profile sets, their CSV files and the rules of times, joining,
// widening and colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "params/param_key.h"
#include "storage/held_repeat.h"
#include "storage/profile_set.h"
#include "storage/record_set.h"
#include "storage/storage_link.h"

using namespace kd;

namespace {

constexpr int32_t N = kNoStoredValue;

TRecordSet Records(const std::vector<std::pair<uint32_t, std::array<int32_t, 6>>>& rows) {
    TRecordSet s;
    s.Reset(int(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) s.Put(int(i), rows[i].first, rows[i].second);
    s.Count = int(rows.size());
    return s;
}

// A fetched profile's words: header (count << 5, stamp), then x, z pairs.
std::vector<uint16_t> ProfileWords(uint16_t stamp, const std::vector<std::pair<int, int>>& pts) {
    std::vector<uint16_t> w{uint16_t(pts.size() << 5), uint16_t(stamp | 0x8000)};
    for (auto [x, z] : pts) {
        w.push_back(uint16_t(int16_t(x)));
        w.push_back(uint16_t(int16_t(z)));
    }
    return w;
}

}  // namespace

TEST(RecordCsv, WritesTheGivenLayout) {
    const TRecordSet s = Records({{70000, {1, 2, 3, 4, 5, 6}}, {75000, {1234, N, -56, 7, 8, 9}}});
    EXPECT_EQ(WriteRecordsCsv(s),
              "#sec,A1,A2,A3,A4,Op1,Op2\r\n0, 1, 2, 3, 4, 5, 6\r\n5000, 1234, , -56, 7, 8, 9\r\n");
}

TEST(RecordCsv, ReadsSecondsThousandthsEmptyFieldsAndCommentsAnywhere) {
    TRecordSet s;
    const TCsvResult r =
        ReadRecordsCsv("# first\r\n0.5, 1.234, , 7\r\n\r\n#sec,A1\n12,-0.056,3,4,5,6,7,8\n", s);
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(s.Count, 2);
    EXPECT_EQ(s.Stamps[0], 5000u);
    EXPECT_EQ(s.Values[0][0], 1234);
    EXPECT_EQ(s.Values[1][0], N);
    EXPECT_EQ(s.Values[2][0], 7);
    EXPECT_EQ(s.Values[3][0], N);
    EXPECT_EQ(s.Values[5][0], N);
    EXPECT_EQ(s.Stamps[1], 12u);
    EXPECT_EQ(s.Values[0][1], -56);  // halves away from zero: negatives come back
    EXPECT_EQ(s.Values[5][1], 7);    // an eighth field is not read
    EXPECT_EQ(s.Max[0], 1234);
    EXPECT_EQ(s.Min[0], -56);
    EXPECT_EQ(s.TriggerMark, 0);
}

TEST(RecordCsv, SaveLoadRoundTripGivesTimesFromTheFirstRecord) {
    const TRecordSet a = Records({{900, {-2147483647 - 1, N, 0, 1, 2, 2147483646}},
                                  {1900, {5, 6, 7, 8, 9, N}},
                                  {4294967295u, {N, N, N, N, N, N}}});
    TRecordSet b;
    ASSERT_TRUE(ReadRecordsCsv(WriteRecordsCsv(a), b).Ok);
    ASSERT_EQ(b.Count, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.Stamps[size_t(i)], a.Stamps[size_t(i)] - a.Stamps[0]);
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(b.Values[size_t(c)][size_t(i)], a.Values[size_t(c)][size_t(i)]);
    }
}

TEST(RecordCsv, BadLinesAreNamedAndTheRecordsBeforeThemStay) {
    struct Case {
        const char* text;
        int line;
    } cases[] = {
        {"1,2\r\n2,x\r\n3,4\r\n", 2},
        {"#h\r\nabc,1\r\n", 2},
        {"1,2\n2,3\n3,2147483647\n", 3},  // the no-value marker cannot be a value
        {"1,2\n-5,3\n", 2},               // no negative times
        {"1,2\n2,1e5\n", 2},
        {"1,2\n2,99999999999\n", 2},
        {"1,2\n2,3\n4, 1.2.3\n", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TRecordSet s;
        const TCsvResult r = ReadRecordsCsv(c.text, s);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Line, c.line);
        EXPECT_NE(r.Error.find("line " + std::to_string(c.line)), std::string::npos) << r.Error;
        EXPECT_EQ(s.Count, c.line - 1 - (std::string(c.text).rfind("#h", 0) == 0 ? 1 : 0));
    }
}

TEST(RecordSet, FillsFromStorageWordsWithTriggerMarkAndSpan) {
    std::vector<uint16_t> w(2 * kRecordWords, 0);
    auto put = [&](int rec, int k, uint32_t v) {
        w[size_t(rec * 16 + 2 * k)] = uint16_t(v & 0xFFFF);
        w[size_t(rec * 16 + 2 * k + 1)] = uint16_t(v >> 16);
    };
    for (int k = 0; k < 6; ++k) put(0, k, uint32_t(-70000 + k));
    put(0, 1, 0x7FFFFFFF);
    put(0, 6, 100);
    for (int k = 0; k < 6; ++k) put(1, k, 70000);
    put(1, 6, 20105);
    TRecordSet s;
    s.Fill(w, 2, 25);
    EXPECT_EQ(s.Count, 2);
    EXPECT_EQ(s.Values[0][0], -70000);
    EXPECT_EQ(s.Values[1][0], N);
    EXPECT_EQ(s.Min[1], 70000);
    EXPECT_EQ(s.TriggerMark, -25);
    EXPECT_EQ(s.SpanMs(), 2000u);  // (20105 - 100) / 10 truncated
}

TEST(RecordSet, RangeIsWidenedByATenthOrBy500) {
    TValueRange r = RangeOfRecords(Records({{0, {100, N, N, N, N, N}}, {1, {900, N, N, N, N, N}}}));
    EXPECT_EQ(r.Low, -400);
    EXPECT_EQ(r.High, 1400);
    r = RangeOfRecords(Records({{0, {0, N, N, N, N, 2000}}, {1, {1000, N, N, N, N, N}}}));
    EXPECT_EQ(r.Low, -200);
    EXPECT_EQ(r.High, 2200);
}

TEST(RecordSet, JoiningRuleEndsAt100ms) {
    EXPECT_TRUE(JoinedToNewer(true, 5000, 4000));
    EXPECT_FALSE(JoinedToNewer(true, 5001, 4000));
    EXPECT_FALSE(JoinedToNewer(false, 4001, 4000));
}

TEST(AutoSave, ExtensionReplacedByTheLocalTime) {
    EXPECT_EQ(AutoSaveFileName("log.csv", 2006, 12, 7, 15, 30, 0), "log061207153000.csv");
    EXPECT_EQ(AutoSaveFileName("/a.b/log", 2026, 1, 2, 3, 4, 5), "/a.b/log260102030405.csv");
}

TEST(ProfileSet, GapRuleKeepsOneGapAfterAValidPoint) {
    auto set = std::make_unique<TProfileSet>();
    const int G = kGapCoord;
    const auto w = ProfileWords(7, {{1, G}, {2, G}, {3, 30}, {4, G}, {5, G}, {6, 60}, {7, G}});
    set->AddFetched(w, 7);
    ASSERT_EQ(set->Held(), 1);
    const auto p = set->Points(0);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].X, 3);
    EXPECT_EQ(p[1].X, G);
    EXPECT_EQ(p[2].Z, 60);
    EXPECT_EQ(p[3].Z, G);
    EXPECT_EQ(set->Stamp(0), 7);  // bit 15 cleared
}

TEST(ProfileSet, TimesFollowStampsThroughWrapsAndRepeats) {
    auto set = std::make_unique<TProfileSet>();
    for (uint16_t st : {0x7FF0, 0x0010, 0x0010, 0x0020})
        set->AddFetched(ProfileWords(st, {{0, 0}}), 1);
    set->ComputeTimes();
    EXPECT_EQ(set->Time(0), 0u);
    EXPECT_EQ(set->Time(1), 0x20u);
    EXPECT_EQ(set->Time(2), 0x20u + 10);
    EXPECT_EQ(set->Time(3), 0x20u + 10 + 0x10);
    EXPECT_EQ(set->LengthMs(), (0x20u + 10 + 0x10) / 10);
}

TEST(ProfileSet, RingKeepsTheNewest8000) {
    auto set = std::make_unique<TProfileSet>();
    for (int i = 0; i < kProfileRing + 5; ++i)
        set->AddFetched(ProfileWords(uint16_t(i & 0x7FFF), {{i % 30000, 0}}), 1);
    EXPECT_EQ(set->Held(), kProfileRing);
    EXPECT_EQ(set->Points(0)[0].X, 5);
    EXPECT_EQ(set->Points(kProfileRing - 1)[0].X, (kProfileRing + 4) % 30000);
}

TEST(ProfileCsv, HeaderRunsToTheLongestAndLoadedTimesStartAtZero) {
    auto a = std::make_unique<TProfileSet>();
    const int G = kGapCoord;
    a->AddFetched(ProfileWords(100, {{1, 2}, {3, G}, {5, 6}}), 3);
    a->AddFetched(ProfileWords(150, {{-1, -2}, {7, 8}, {9, 10}, {11, 12}, {13, 14}}), 5);
    a->ComputeTimes();
    const std::string csv = WriteProfilesCsv(*a, false);
    EXPECT_EQ(csv,
              "#sec ,x0,y0 ,x1,y1 ,x2,y2 ,x3,y3 ,x4,y4\r\n"
              "0 ,1,2 ,, ,5,6\r\n"
              "50 ,-1,-2 ,7,8 ,9,10 ,11,12 ,13,14\r\n");
    EXPECT_EQ(WriteProfilesCsv(*a, true).find("50 ,"), std::string::npos);
    auto b = std::make_unique<TProfileSet>();
    ASSERT_TRUE(
        ReadProfilesCsv("#x\r\n7000 ,1,2 ,, ,5,6\r\n7050 ,-1,-2 ,7,8 ,9,10 ,11,12 ,13,14\r\n", *b)
            .Ok);
    EXPECT_EQ(WriteProfilesCsv(*b, false), csv);
}

TEST(ProfileCsv, MillimetresGapsAndBadLines) {
    auto s = std::make_unique<TProfileSet>();
    TCsvResult r = ReadProfilesCsv("0.5 ,1.234,-0.5 ,3\n1 ,x,2\n", *s);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Line, 2);
    ASSERT_EQ(s->Held(), 1);
    ASSERT_EQ(s->Count(0), 2);
    EXPECT_EQ(s->Points(0)[0].X, 1234);
    EXPECT_EQ(s->Points(0)[0].Z, -500);
    EXPECT_EQ(s->Points(0)[1].X, kGapCoord);  // an x without its z
    EXPECT_FALSE(ReadProfilesCsv("1 ,40000,1\n", *s).Ok);
}

TEST(DepthColor, LimitsAndHues) {
    EXPECT_EQ(DepthColor(0, 5, 5), 0x0000FFu);
    EXPECT_EQ(DepthColor(-25001, -25000, 25000), 0xFFFFFFu);
    EXPECT_EQ(DepthColor(25001, -25000, 25000), 0x808080u);
    EXPECT_EQ(DepthColor(25000, -25000, 25000), 0xFF00FFu);   // magenta at the far limit
    EXPECT_EQ(DepthColor(-25000, -25000, 25000), 0x0000FFu);  // red at the near limit
    EXPECT_EQ(DepthColor(-5000, -25000, 25000), 0x00FF00u);   // a = 120: green
}

TEST(ColorBar, LimitIsRoundedTowardZeroToHundreds) {
    EXPECT_EQ(ColorBarLimit(0, 520), -26000);
    EXPECT_EQ(ColorBarLimit(259, 520), -100);
    EXPECT_EQ(ColorBarLimit(3, 7), -3700);  // -3715 toward zero
    EXPECT_EQ(ColorBarLimit(2, 3), 8600);   // 8666 toward zero
}

// A scripted link for the downloads.
struct FakeStorage {
    int count = 0;
    int failAtRead = -1;
    int reads = 0;
    TStorageIo Io() {
        TStorageIo io;
        io.Command = [this](uint16_t code, std::span<const uint8_t>) -> std::vector<uint8_t> {
            if (code == cmd::GET_STR_ADDR) return {0, 0x40, 0, 0, 0, 0x80, 0, 0};
            if (code == cmd::GET_STR_COUNT) return {uint8_t(count >> 8), uint8_t(count)};
            return {0, 0};
        };
        io.MemRead = [this](void* b, uint32_t a, uint16_t, int words) {
            if (reads++ == failAtRead) throw ECommErrExe("MemRead error;-5");
            auto* w = static_cast<uint16_t*>(b);
            for (int i = 0; i < words; ++i) {
                const uint32_t at = a - 0x400000 + uint32_t(i);
                w[i] = at % 2 == 0 ? uint16_t(at / 16 * 10) : 0;
            }
        };
        io.FetchProfile = [this](uint32_t a, std::span<uint16_t> b) {
            if (reads++ == failAtRead) throw ECommErrExe("MemRead error;-5");
            const auto w = ProfileWords(uint16_t((a - 0x800000) / 2048), {{1, 1}});
            std::copy(w.begin(), w.end(), b.begin());
            return 1;
        };
        return io;
    }
};

TEST(StorageFetch, CountZeroChangesNothing) {
    FakeStorage f;
    TStorageIo io = f.Io();
    TRecordSet s = Records({{0, {1, 2, 3, 4, 5, 6}}});
    const TFetchOutcome o = FetchStoredRecords(io, s, 0, {});
    EXPECT_TRUE(o.Complete());
    EXPECT_EQ(s.Count, 1);
    EXPECT_EQ(f.reads, 0);
}

TEST(StorageFetch, AbortAndFailureKeepTheCompleteRecords) {
    FakeStorage f;
    f.count = 600;  // blocks of 253 records
    TStorageIo io = f.Io();
    TRecordSet s;
    int calls = 0;
    TFetchOutcome o = FetchStoredRecords(io, s, 0, [&](const TFetchProgress& p) {
        EXPECT_EQ(p.Total, 600);
        return ++calls < 2;
    });
    EXPECT_TRUE(o.Aborted);
    EXPECT_FALSE(o.Complete());
    EXPECT_EQ(o.Done, 506);
    EXPECT_EQ(s.Count, 506);
    EXPECT_EQ(s.Values[0][505], 5050);

    f.reads = 0;
    f.failAtRead = 1;
    o = FetchStoredRecords(io, s, 3, {});
    EXPECT_FALSE(o.Complete());
    EXPECT_FALSE(o.Error.empty());
    EXPECT_EQ(s.Count, 253);
    EXPECT_EQ(s.TriggerMark, -3);
}

TEST(StorageFetch, ProfilesAbortMidwayAndKeepTheirStamps) {
    FakeStorage f;
    f.count = 10;
    TStorageIo io = f.Io();
    auto set = std::make_unique<TProfileSet>();
    const TFetchOutcome o =
        FetchStoredProfiles(io, *set, [](const TFetchProgress& p) { return p.Done < 4; });
    EXPECT_TRUE(o.Aborted);
    EXPECT_EQ(set->Held(), 4);
    EXPECT_EQ(set->Stamp(3), 3);
    EXPECT_EQ(set->Time(3), 3u);
}

TEST(CsvField, DecimalsAreScaledOnTheirDigits) {
    struct Case {
        const char* text;
        int digits;
        TScaled mode;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0.0565", 3, TScaled::HalfUp, true, 57},
        {"-0.0565", 3, TScaled::HalfUp, true, -56},  // x * 1000 + 0.5, as the files are read
        {"-0.056", 3, TScaled::HalfUp, true, -56},   // written -56 reads back -56
        {"-0.0566", 3, TScaled::HalfUp, true, -57},
        {"1.234", 3, TScaled::HalfUp, true, 1234},
        {"0.00005", 4, TScaled::HalfUp, true, 1},
        {"+.5", 4, TScaled::HalfUp, true, 5000},
        {"-7", 3, TScaled::HalfUp, true, -7},  // no point: the integer as it stands
        {"1.0019", 3, TScaled::Trunc, true, 1001},
        {"-0.0019", 3, TScaled::Trunc, true, -1},
        {"32.767", 3, TScaled::Trunc, true, 32767},
        {"", 3, TScaled::Trunc, false, 0},
        {".", 3, TScaled::Trunc, false, 0},
        {"-", 3, TScaled::Trunc, false, 0},
        {"1e3", 3, TScaled::Trunc, false, 0},
        {"1.2.3", 3, TScaled::Trunc, false, 0},
        {"1 2", 3, TScaled::Trunc, false, 0},
        {"99999999999999999999", 3, TScaled::Trunc, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t v = 0;
        EXPECT_EQ(ParseScaledField(c.text, c.digits, c.mode, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(HeldRepeat, AClickMakesOneStepAndAHeldButtonRepeats) {
    // Data page: steps on the timer, at least 100 ms apart.
    THeldRepeat tick(THeldRepeat::TMode::AfterTick, 100);
    EXPECT_EQ(tick.Press(2, 1000), -1);
    EXPECT_EQ(tick.Release(), 2);  // a click no tick saw
    tick.Press(1, 2000);
    EXPECT_EQ(tick.Tick(2050), 1);
    EXPECT_EQ(tick.Tick(2120), -1);
    EXPECT_EQ(tick.Tick(2150), 1);
    EXPECT_EQ(tick.Release(), -1);
    EXPECT_EQ(tick.Tick(2300), -1);
    // Profile page: the press steps, the timer repeats from 300 ms on.
    THeldRepeat press(THeldRepeat::TMode::AfterPress, 300);
    EXPECT_EQ(press.Press(4, 0), 4);
    EXPECT_EQ(press.Tick(100), -1);
    EXPECT_EQ(press.Tick(299), -1);
    EXPECT_EQ(press.Tick(300), 4);
    EXPECT_EQ(press.Tick(400), 4);
    EXPECT_EQ(press.Release(), -1);
}

TEST(StorageStatus, SecondCountFromSoftware76OnTheDataPageAnd75OnTheProfilePage) {
    TStorageStatus s{1, 1, 100, 7};
    for (auto [soft, data, prof] : {std::tuple{74, 100, 100}, {75, 100, 107}, {76, 107, 107}}) {
        const TSensorVersion v{0x53, 0x6D, uint16_t(soft)};
        EXPECT_EQ(ShownStorageCount(s, 2, v), data) << soft;
        EXPECT_EQ(ShownStorageCount(s, 2, v, true), prof) << soft;
        EXPECT_EQ(ShownStorageCount(s, 1, v, true), 100) << soft;
    }
}

TEST(StorageFetch, ProfileFetchOfNothingClearsTheSet) {
    FakeStorage f;
    TStorageIo io = f.Io();
    auto set = std::make_unique<TProfileSet>();
    set->AddFetched(ProfileWords(1, {{1, 1}}), 1);
    const TFetchOutcome o = FetchStoredProfiles(io, *set, {});
    EXPECT_TRUE(o.Complete());
    EXPECT_EQ(set->Held(), 0);
}

TEST(StorageSettings, StartPositionIsSignedFromTheImageToTheLog) {
    TKestParam image;
    image.SetSys(pk::StrStl, -100);
    EXPECT_EQ(image.GetSys(pk::StrStl), 65436);  // the field as it stands
    EXPECT_EQ(image.GetSysSigned(pk::StrStl), -100);
    image.SetSys(pk::StrThd, -1);
    EXPECT_EQ(image.GetSysSigned(pk::StrThd), -1);
    const TStorageSettings s = StorageSettingsOf(image, TSensorVersion{0x53, 0x6D, 0x50});
    EXPECT_EQ(s.Stl, -100);
    std::vector<std::vector<uint8_t>> sent;
    TStorageIo io;
    io.Command = [&](uint16_t code, std::span<const uint8_t> p) {
        if (code == cmd::SET_STR_STL) sent.emplace_back(p.begin(), p.end());
        return std::vector<uint8_t>{};
    };
    std::vector<std::string> log;
    {
        ScopedLogSink sink([&](int, const std::string& line) { log.push_back(line); });
        StartStorage(io, s, 1);
    }
    EXPECT_NE(std::find(log.begin(), log.end(), "SET_STR_STL(-100)"), log.end());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (std::vector<uint8_t>{0xFF, 0x9C}));
}
