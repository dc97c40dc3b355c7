// The comparison rows, their cell texts, the differences and the choice of
// what to write, and the history of received settings.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "compare/compare_apply.h"
#include "compare/compare_rows.h"
#include "shell/session/settings_backup.h"

namespace {

using namespace kd;

struct Images {
    Images() {
        for (TKestParam* p : {&file, &sensor}) {
            p->LoadDefaultImage();
            p->NotLoaded = false;
            p->ModeUnit = [this](int func) {
                return ModeUnitFromList(units, texts.DisplUnit, func);
            };
            for (int j = 0; j < kBankCount; ++j) p->SetBank(j, pk::Shutter, 100);
        }
        file.SensorImage = &sensor;
    }
    TKestParam file, sensor;
    TCompareTexts texts;
    std::vector<std::string> units{"mm", "mm", "mm", "mm", "mm", "mm", "mm2", "deg."};
};

int RowOf(int key) {
    for (int r = 0; r < kCompareRowCount; ++r)
        if (CompareRows()[static_cast<size_t>(r)].Key == key) return r;
    return -1;
}

TEST(CompareRows, EveryRowHasItsKeyAndTheOffsetRowsNone) {
    std::set<int> keys;
    int offsetRows = 0;
    for (const TCompareRow& row : CompareRows()) {
        if (row.Key == 0)
            ++offsetRows;
        else
            EXPECT_TRUE(keys.insert(row.Key).second) << "twice: " << row.Key;
    }
    EXPECT_EQ(offsetRows, 3);
    EXPECT_EQ(CompareRows()[0].Key, pk::INPUT1);
    EXPECT_EQ(CompareRows()[124].Key, pk::AxisDir);
    EXPECT_EQ(RowOf(pk::StrRpt3) >= 0, true);
    EXPECT_EQ(RowOf(pk::StrRpt), -1);
}

TEST(CompareRows, Mappings) {
    struct Case {
        TCompareMap map;
        int in, out;
    } cases[] = {{TCompareMap::Polarity, 0x00, 0}, {TCompareMap::Polarity, 0x55, 1},
                 {TCompareMap::Polarity, 0xFF, 1}, {TCompareMap::Polarity, 0x05, 2},
                 {TCompareMap::Trigger, 3, 2},     {TCompareMap::Trigger, 2, 2},
                 {TCompareMap::Camera, 0x10, 3},   {TCompareMap::Camera, 1, 2},
                 {TCompareMap::Camera, 2, 1},      {TCompareMap::Camera, 3, -1},
                 {TCompareMap::Extract, 3, 0},     {TCompareMap::Extract, 1, 2},
                 {TCompareMap::Extract, 2, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(MapCompareValue(c.map, c.in), c.out) << static_cast<int>(c.map) << " " << c.in;
}

TEST(CompareRows, CellTextsByKind) {
    Images im;
    const auto& rows = CompareRows();
    auto text = [&](int key, int bank = 0) {
        return CompareCellText(rows[static_cast<size_t>(RowOf(key))], &im.sensor, &im.sensor, bank,
                               im.texts);
    };
    im.sensor.SetBank(0, pk::HCorrect, -1500);
    im.sensor.SetBank(0, pk::Shutter, 100);
    im.sensor.SetBank(0, pk::OutTime(1), 25);
    im.sensor.SetBank(0, pk::AlarmLimit, 15);
    EXPECT_EQ(text(pk::HCorrect), "-1.500\tmm");
    EXPECT_EQ(text(pk::Shutter), "100\tusec");
    EXPECT_EQ(text(pk::OutTime(1)), "2.5\tmsec");
    EXPECT_EQ(text(pk::AlarmLimit), "HOLD");
    im.texts.DisplUnit = 1;
    EXPECT_EQ(text(pk::HCorrect), "-1500\tum");
    // a value outside its list is shown as a number
    im.sensor.SetBank(0, pk::Gain, 12);
    EXPECT_EQ(text(pk::Gain), "12");
    // the start position is signed
    im.sensor.SetSys(pk::StrStl, -100);
    EXPECT_EQ(text(pk::StrStl), "-100");
    // an image never loaded shows nothing
    TKestParam empty;
    EXPECT_EQ(CompareCellText(rows[0], &empty, &im.sensor, 0, im.texts), "");
}

TEST(CompareRows, OffsetRowShowsTheOffsetOfTheSensorsOutputChannelWithTwoDecimals) {
    Images im;
    const TCompareRow& offsetRow = CompareRows()[static_cast<size_t>(RowOf(pk::OutCh(1)) + 1)];
    ASSERT_EQ(offsetRow.Key, 0);
    im.sensor.SetBank(3, pk::OutCh(1), 2);
    im.file.SetBank(3, pk::AreaFunc(3), 0);
    im.file.SetBank(3, pk::ChOffset(3), 1230);
    EXPECT_EQ(CompareCellText(offsetRow, &im.file, &im.sensor, 3, im.texts), "1.23\tmm");
    im.texts.DisplUnit = 1;
    EXPECT_EQ(CompareCellText(offsetRow, &im.file, &im.sensor, 3, im.texts), "1230\tum");
}

TEST(CompareDiffs, ShutterOfOneBankAndASysRowOnce) {
    Images im;
    im.file.SetBank(2, pk::Shutter, 500);
    im.file.SetSys(pk::InputFilter, 100);
    const auto diffs = CompareDiffs(im.file, im.sensor, im.sensor, im.texts);
    ASSERT_EQ(diffs.size(), 2u);
    EXPECT_EQ(diffs[0].Row, RowOf(pk::InputFilter));
    EXPECT_EQ(diffs[0].Bank, -1);
    EXPECT_EQ(diffs[1].Row, RowOf(pk::Shutter));
    EXPECT_EQ(diffs[1].Bank, 2);
    EXPECT_EQ(DiffLine(diffs[1], im.texts), "Bank3\tCamButton\tShutterLabel\t500 usec\t100 usec");
    EXPECT_EQ(DiffLine(diffs[0], im.texts).substr(0, 4), "Sys\t");
}

TEST(CompareDiffs, MissingBlocksOfAFileAreNeitherComparedNorOffered) {
    Images im;
    im.file.SetBank(4, pk::Shutter, 500);
    im.file.SetBank(5, pk::Shutter, 500);
    im.file.MissingBlocks = 1u << 4;
    const auto diffs = CompareDiffs(im.file, im.sensor, im.sensor, im.texts);
    ASSERT_EQ(diffs.size(), 1u);
    EXPECT_EQ(diffs[0].Bank, 5);
    const auto changes = PlanApply(im.file, im.sensor, [](int, int) { return true; });
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].Bank, 5);
}

TEST(PlanApply, OnlyChosenCellsThatDiffer) {
    Images im;
    im.file.SetBank(1, pk::Shutter, 500);
    im.file.SetBank(6, pk::Shutter, 300);
    im.file.SetBank(6, pk::Gain, 3);
    im.file.SetSys(pk::InputFilter, 100);
    const int shutter = RowOf(pk::Shutter);
    struct Case {
        std::function<bool(int, int)> chosen;
        size_t count;
    } cases[] = {
        {[](int, int) { return true; }, 4},
        {[](int, int) { return false; }, 0},
        {[&](int r, int) { return r == shutter; }, 2},
        {[](int, int b) { return b == 6; }, 2},
        {[](int, int b) { return b == -1; }, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(PlanApply(im.file, im.sensor, c.chosen).size(), c.count);
    const auto list = ChangeListText(
        PlanApply(im.file, im.sensor, [&](int r, int b) { return r == shutter && b == 1; }),
        im.file, im.sensor, im.texts);
    EXPECT_EQ(list, "Bank2  CamButton  ShutterLabel: 100 usec -> 500 usec\n");
}

// A tinted offset or limit cell can be written: it stands for the offset of
// the channel the sensor's output uses there, and for its limit; each key once.
TEST(PlanApply, OffsetAndLimitRowsWriteTheChannelOffsetTheyShow) {
    Images im;
    for (TKestParam* p : {&im.file, &im.sensor}) {
        for (int k = 1; k <= 4; ++k) p->SetBank(0, pk::OutCh(k), 2);
        p->SetBank(0, pk::AreaFunc(3), 0);
    }
    im.file.SetBank(0, pk::ChOffset(3), 1230);
    im.file.SetBank(0, pk::OutULimit(2), 700);
    const int offset1 = RowOf(pk::OutCh(1)) + 1, limit1 = RowOf(pk::OutULimit(1)),
              limit2 = RowOf(pk::OutULimit(2)), ana = RowOf(pk::AnaULimit);
    const int off = pk::ChOffset(3);
    struct Case {
        std::set<int> rows;
        std::vector<std::pair<int, int>> keyRow;
    } cases[] = {
        {{offset1}, {{off, offset1}}},
        {{limit1}, {{off, limit1}}},  // the limit itself is the same
        {{limit2}, {{pk::OutULimit(2), limit2}, {off, limit2}}},
        {{offset1, limit1, limit2}, {{off, offset1}, {pk::OutULimit(2), limit2}}},
        {{ana}, {{off, ana}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<int, int>> got;
        for (const auto& ch :
             PlanApply(im.file, im.sensor, [&](int r, int b) { return b == 0 && c.rows.count(r); }))
            got.emplace_back(ch.Key, ch.Row);
        EXPECT_EQ(got, c.keyRow) << *c.rows.begin();
    }
    // listed under the offset caption of the output, with the offset's own values
    for (int row : {limit1, ana}) {
        const auto changes =
            PlanApply(im.file, im.sensor, [&](int r, int b) { return b == 0 && r == row; });
        EXPECT_EQ(ChangeListText(changes, im.file, im.sensor, im.texts),
                  std::string("Bank1  ") + CompareRows()[static_cast<size_t>(row)].Group +
                      "  OffsetLabel: 0.00 mm -> 1.23 mm\n");
    }
}

TEST(ReceivedHistory, IdenticalSetsOnceAndOnlyTheNewestKept) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("kd_hist_" + std::to_string(getpid()))).string();
    std::filesystem::remove_all(dir);
    TMasterStore masters;
    TKestParam image;
    image.Masters = &masters;
    image.LoadDefaultImage();
    EXPECT_NE(KeepReceivedSet(image, dir, 3), "");
    EXPECT_EQ(KeepReceivedSet(image, dir, 3), "");  // the same set again
    for (int i = 1; i <= 4; ++i) {
        image.SetBank(0, pk::Shutter, 10 * i);
        EXPECT_NE(KeepReceivedSet(image, dir, 3), "");
    }
    image.SetBank(0, pk::Shutter, 10);  // like an older one, but not the newest
    const std::string last = KeepReceivedSet(image, dir, 3);
    EXPECT_NE(last, "");
    const auto list = ListBackups(dir);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Path, last);
    EXPECT_EQ(list[0].Reason, "received");
    EXPECT_FALSE(list[0].DateTime.empty());
    std::filesystem::remove_all(dir);
}

TEST(ReceivedHistory, TheNewestSetIsComparedInMemoryUntilTheFolderChanges) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("kd_hist2_" + std::to_string(getpid())))
            .string();
    std::filesystem::remove_all(dir);
    TMasterStore masters;
    TKestParam image;
    image.Masters = &masters;
    image.LoadDefaultImage();
    TKeptSet known;
    const std::string first = KeepReceivedSet(image, dir, 3, &known);
    ASSERT_NE(first, "");
    EXPECT_EQ(KeepReceivedSet(image, dir, 3, &known), "");
    // Another program puts a different set in its place: it is read again.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int held = image.GetBank(0, pk::Shutter);
    image.SetBank(0, pk::Shutter, held + 7);
    image.WriteTextFile(first);
    image.SetBank(0, pk::Shutter, held);  // what the sensor holds, as before
    EXPECT_NE(KeepReceivedSet(image, dir, 3, &known), "");
    EXPECT_EQ(KeepReceivedSet(image, dir, 3, &known), "");
    std::filesystem::remove_all(dir);
}

}  // namespace
