#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "measure/profile_file.h"

using namespace kd;

namespace {
std::string ErrorOf(std::string_view text, std::span<ProfilePoint> buf) {
    try {
        ReadProfileText(text, buf);
    } catch (const EKestError& e) {
        return e.what();
    }
    return "";
}
}  // namespace

TEST(ProfileFile, WriterHeaderLinesAndMissingFields) {
    std::vector<ProfilePoint> pts = {
        {-15000, 29000}, {kMissing, 5}, {7, kMissing}, {kMissing, kMissing}, {0, -32768}};
    EXPECT_EQ(ProfileFileText(pts),
              "#KEST profile\r\n-15000,29000\r\n,5\r\n7,\r\n,\r\n0,-32768\r\n");
    EXPECT_EQ(ProfileFileText({}), "#KEST profile\r\n");
}

TEST(ProfileFile, RoundTripKeepsEveryPointIncludingPointZeroAndGaps) {
    std::vector<ProfilePoint> pts;
    for (int i = 0; i < 2047; ++i)
        pts.push_back({static_cast<int16_t>(i % 7 == 0 ? kMissing : i * 13 - 15000),
                       static_cast<int16_t>(i % 11 == 0 ? kMissing : -i * 7)});
    ProfileBufferArray buf{};
    ASSERT_EQ(ReadProfileText(ProfileFileText(pts), buf), 2047);
    for (size_t i = 0; i < pts.size(); ++i) ASSERT_EQ(buf[i], pts[i]) << i;
}

TEST(ProfileFile, ReaderFieldRules) {
    ProfileBufferArray buf{};
    const char* text =
        "#KEST profile\n"
        "\n"
        "  12 , -34\n"
        "\"5\",\"6\"\n"
        "abc,7\n"
        "+8,99999\n"
        "# a comment in the middle\r\n"
        "\t9,\t10\r"
        "11,12";
    ASSERT_EQ(ReadProfileText(text, buf), 6);
    EXPECT_EQ(buf[0], (ProfilePoint{12, -34}));
    EXPECT_EQ(buf[1], (ProfilePoint{5, 6}));
    EXPECT_EQ(buf[2], (ProfilePoint{kMissing, 7}));
    EXPECT_EQ(buf[3], (ProfilePoint{8, kMissing}));  // beyond 16 bits: missing, no wrap
    EXPECT_EQ(buf[4], (ProfilePoint{9, 10}));
    EXPECT_EQ(buf[5], (ProfilePoint{11, 12}));  // last line without an end
    // No header needed: "#" lines are comments wherever they are.
    EXPECT_EQ(ReadProfileText("1,2\r\n", buf), 1);
    EXPECT_EQ(ReadProfileText("", buf), 0);
}

TEST(ProfileFile, RefusedLinesLeaveTheBufferUntouched) {
    ProfileBufferArray buf{};
    buf[0] = {111, 222};
    buf[1] = {333, 444};
    for (const char* bad :
         {"#KEST profile\n1,2\n1 2,3\n", "1,2,3\n", "5\n", "   \n", "1,,\n", "\"1\"x,2\n"}) {
        EXPECT_EQ(ErrorOf(bad, buf), "not profile file") << bad;
        EXPECT_EQ(buf[0], (ProfilePoint{111, 222})) << bad;
        EXPECT_EQ(buf[1], (ProfilePoint{333, 444})) << bad;
    }
}

TEST(ProfileFile, OnlyTheFirst2048LinesAreRead) {
    std::string text = "#KEST profile\r\n";
    for (int i = 0; i < 3000; ++i) text += std::to_string(i) + "," + std::to_string(-i) + "\r\n";
    ProfileBufferArray buf{};
    ASSERT_EQ(ReadProfileText(text, buf), 2047);
    EXPECT_EQ(buf[2046], (ProfilePoint{2046, -2046}));
    // A refused line beyond line 2048 is never looked at.
    text += "1 2 3\r\n";
    EXPECT_EQ(ReadProfileText(text, buf), 2047);
    // Without a header 2048 points fit.
    std::string noHeader = text.substr(text.find('\n') + 1);
    EXPECT_EQ(ReadProfileText(noHeader, buf), 2048);
    // A smaller buffer is never overrun.
    std::array<ProfilePoint, 3> small{};
    EXPECT_EQ(ReadProfileText(text, small), 3);
}

TEST(ProfileFile, CommaTextSplitting) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommaText("1,2"), (V{"1", "2"}));
    EXPECT_EQ(SplitCommaText(",5"), (V{"", "5"}));
    EXPECT_EQ(SplitCommaText("5,"), (V{"5", ""}));
    EXPECT_EQ(SplitCommaText(","), (V{"", ""}));
    EXPECT_EQ(SplitCommaText("1 2,3"), (V{"1", "2", "3"}));
    EXPECT_EQ(SplitCommaText("\"a,b\",\"c\"\"d\""), (V{"a,b", "c\"d"}));
    EXPECT_EQ(SplitCommaText("\"open"), (V{"open"}));
    EXPECT_EQ(SplitCommaText(std::string_view("1,2\0,3", 6)), (V{"1", "2"}));
    EXPECT_TRUE(SplitCommaText("").empty());
}

TEST(ProfileFile, FilesAreWrittenAtomicallyAndLogged) {
    auto dir = std::filesystem::temp_directory_path() / ("kd_prof_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "p.csv").string();
    std::vector<std::string> log;
    ScopedLogSink sink([&](int, const std::string& l) { log.push_back(l); });
    std::vector<ProfilePoint> pts = {{1, 2}, {3, kMissing}};
    SaveProfileFile(path, pts);
    ProfileBufferArray buf{};
    EXPECT_EQ(LoadProfileFile(path, buf), 2);
    EXPECT_EQ(buf[1], (ProfilePoint{3, kMissing}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "save profile '" + path + "'");
    EXPECT_EQ(log[1], "load profile '" + path + "'");
    EXPECT_THROW(LoadProfileFile((dir / "none.csv").string(), buf), EKestError);
    EXPECT_THROW(SaveProfileFile((dir / "no" / "dir.csv").string(), pts), EKestError);
    std::filesystem::remove_all(dir);
}

TEST(ProfileFile, MeasurementPageText) {
    std::vector<ProfilePoint> pts = {{1500, -250}, {kMissing, 12345}};
    EXPECT_EQ(MeasureProfileText(pts), "   1.500,   -0.250\r\n  32.767,   12.345\r\n");
}
