#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "common/log.h"

namespace kd {
namespace {

struct LogCapture {
    std::vector<std::pair<int, std::string>> lines;
    ScopedLogSink sink{[this](int a, const std::string& l) { lines.emplace_back(a, l); }};
};

TEST(CommandLine, OptionsAndFile) {
    auto o = ParseCommandLine({"-lang", "/tmp/t.txt", "-loc", "ja", "a.kd"});
    EXPECT_EQ(o.Lang, "/tmp/t.txt");
    EXPECT_EQ(o.Loc, "ja");
    EXPECT_EQ(o.File, "a.kd");
    EXPECT_TRUE(o.Errors.empty());
}

TEST(CommandLine, OptionNamesIgnoreCase) {
    auto o = ParseCommandLine({"-LANG", "x.txt", "-Loc", "cn"});
    EXPECT_EQ(o.Lang, "x.txt");
    EXPECT_EQ(o.Loc, "cn");
}

TEST(CommandLine, UnknownOptionStopsParsing) {
    LogCapture log;
    auto o = ParseCommandLine({"a.kd", "-foo", "b.kd"});
    EXPECT_EQ(o.File, "a.kd");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].second, "unknown param; -foo");
    EXPECT_EQ(log.lines[0].first, kLogError);
}

TEST(CommandLine, LastFileWins) {
    EXPECT_EQ(ParseCommandLine({"a.kd", "b.kd"}).File, "b.kd");
}

TEST(CommandLine, OptionAsLastArgumentLeavesItsValueEmpty) {
    auto o = ParseCommandLine({"-loc", "ja", "-loc"});
    EXPECT_EQ(o.Loc, "");
}

TEST(CommandLine, EmptyArgumentIsSkipped) {
    auto o = ParseCommandLine({"", "a.kd", ""});
    EXPECT_EQ(o.File, "a.kd");
}

TEST(CommandLine, OptionValueIsTakenEvenWhenItLooksLikeAnOption) {
    auto o = ParseCommandLine({"-lang", "-x", "f.kd"});
    EXPECT_EQ(o.Lang, "-x");
    EXPECT_EQ(o.File, "f.kd");
}

TEST(CommandLine, RunOptions) {
    auto o = ParseCommandLine(
        {"-port", "SIM", "-screenshot", "/tmp/s.png", "-page", "0x24", "-wait", "250"});
    EXPECT_EQ(o.Port, "SIM");
    EXPECT_EQ(o.Screenshot, "/tmp/s.png");
    EXPECT_EQ(o.Page, 0x24);
    EXPECT_EQ(o.WaitMs, 250);
    EXPECT_TRUE(o.Errors.empty());
    EXPECT_EQ(ParseCommandLine({"-page", "144"}).Page, 0x90);
    EXPECT_EQ(ParseCommandLine({"-action", "PrfOrigButton,RecvProf"}).Actions,
              (std::vector<std::string>{"PrfOrigButton", "RecvProf"}));
}

TEST(CommandLine, BadRunOptionValuesAreErrors) {
    EXPECT_EQ(ParseCommandLine({"-page", "0x100"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-page", "abc"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-page"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-wait", "-5"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-wait", "99999999999"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-screenshot"}).Errors.size(), 1u);
    EXPECT_EQ(ParseCommandLine({"-port", ""}).Errors.size(), 1u);
    for (const char* bad : {"", ",", "A,", ",A", "A,,B"})
        EXPECT_EQ(ParseCommandLine({"-action", bad}).Errors.size(), 1u) << bad;
}

// Only the program's own pages, written in hexadecimal or in decimal.
TEST(CommandLine, PageCodes) {
    const int pages[] = {0x10, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x31, 0x32, 0x33, 0x90};
    for (int code = 0; code < 256; ++code) {
        const bool page = std::find(std::begin(pages), std::end(pages), code) != std::end(pages);
        EXPECT_EQ(ParsePageCode(Format("0x%x", code)),
                  page ? std::optional<int>(code) : std::nullopt)
            << code;
        EXPECT_EQ(ParsePageCode(std::to_string(code)),
                  page ? std::optional<int>(code) : std::nullopt)
            << code;
    }
    EXPECT_EQ(ParsePageCode("0X9a"), std::nullopt);
    EXPECT_EQ(ParsePageCode("0X90"), 0x90);
    for (const char* bad : {"0x", "", "1e2", "0x021x", " 33", "+33", "-16", "0x-10", "4096"})
        EXPECT_FALSE(ParsePageCode(bad).has_value()) << bad;
    // 21 is decimal: 0x15 is no page
    EXPECT_EQ(ParseCommandLine({"-page", "21"}).Errors.size(), 1u);
}

}  // namespace
}  // namespace kd
