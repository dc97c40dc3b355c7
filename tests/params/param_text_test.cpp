// The reader's text helpers: first line, name=value lookup, comma text, hex words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "params/param_text.h"

using namespace kd;
using Strings = std::vector<std::string>;

TEST(FindValue, FirstLineWithTheNameAnyCase) {
    std::string text = "[Sys]\r\n# Sys.Hexa=1\r\nsys.HEXA= 1 2\rSys.Hexa= 3 4\nx=a=b";
    EXPECT_EQ(FindValue(text, "Sys.Hexa").value(), " 1 2");
    EXPECT_EQ(FindValue(text, "x").value(), "a=b");  // only the first "=" splits
    EXPECT_FALSE(FindValue(text, "Bank1.Hexa"));
    EXPECT_FALSE(FindValue("Sys.Hexa = 1", "Sys.Hexa"));    // the name is not trimmed
    EXPECT_FALSE(FindValue("Sys.Hexa\r\n=1", "Sys.Hexa"));  // "=" on the next line
    EXPECT_EQ(FindValue("a\r\nSys.Hexa=\r\n", "Sys.Hexa").value(), "");
    EXPECT_FALSE(FindValue("", "Sys.Hexa"));
}

TEST(FirstLine, UpToTheFirstLineEnd) {
    EXPECT_EQ(FirstLine("abc\r\ndef"), "abc");
    EXPECT_EQ(FirstLine("abc\rdef"), "abc");
    EXPECT_EQ(FirstLine("abc"), "abc");
    EXPECT_EQ(FirstLine("\nabc"), "");
}

TEST(SplitCommaText, BlanksAndCommas) {
    EXPECT_EQ(SplitCommaText(" 00F0 0004"), (Strings{"00F0", "0004"}));
    EXPECT_EQ(SplitCommaText("00F0,0004"), (Strings{"00F0", "0004"}));
    EXPECT_EQ(SplitCommaText("00F0  ,  0004   0008"), (Strings{"00F0", "0004", "0008"}));
    EXPECT_EQ(SplitCommaText("\t1\t\t2\x01 3"), (Strings{"1", "2", "3"}));
    EXPECT_EQ(SplitCommaText(""), Strings{});
    EXPECT_EQ(SplitCommaText("   \t "), Strings{});
}

TEST(SplitCommaText, EmptyTokens) {
    EXPECT_EQ(SplitCommaText("1,,2"), (Strings{"1", "", "2"}));
    EXPECT_EQ(SplitCommaText("1, ,2"), (Strings{"1", "", "2"}));
    EXPECT_EQ(SplitCommaText("1,"), (Strings{"1", ""}));
    EXPECT_EQ(SplitCommaText("1, "), (Strings{"1"}));  // the blank after the comma is skipped
    EXPECT_EQ(SplitCommaText(",1"), (Strings{"", "1"}));
    EXPECT_EQ(SplitCommaText(",,"), (Strings{"", "", ""}));
}

TEST(SplitCommaText, QuotedTokens) {
    EXPECT_EQ(SplitCommaText("\"1 2\",3"), (Strings{"1 2", "3"}));
    EXPECT_EQ(SplitCommaText("\"1,2\" 3"), (Strings{"1,2", "3"}));
    EXPECT_EQ(SplitCommaText("\"abc"), (Strings{"abc"}));  // unterminated: to the end
    EXPECT_EQ(SplitCommaText("\"\""), (Strings{""}));
    EXPECT_EQ(SplitCommaText("\"ab\"cd"), (Strings{"ab", "cd"}));
    EXPECT_EQ(SplitCommaText("a\"b"), (Strings{"a\"b"}));  // a quote inside is plain
}

TEST(SplitCommaText, StopsAtTheTokenLimit) {
    EXPECT_EQ(SplitCommaText("1 2 3 4", 2), (Strings{"1", "2"}));
    EXPECT_EQ(SplitCommaText("1,", 1), (Strings{"1"}));
    EXPECT_EQ(SplitCommaText("1,", 2), (Strings{"1", ""}));
    EXPECT_EQ(SplitCommaText("1 2", 0), Strings{});
}

TEST(SplitCommaText, HighCharactersArePartOfATokenNulIsABlank) {
    EXPECT_EQ(SplitCommaText("\xE9\xFF 1"), (Strings{"\xE9\xFF", "1"}));
    EXPECT_EQ(SplitCommaText(std::string("1\0"
                                         "2",
                                         3)),
              (Strings{"1", "2"}));
}

TEST(HexStrToULong, TheListedCases) {
    EXPECT_EQ(HexStrToULong("12G4"), 0x12u);
    EXPECT_EQ(HexStrToULong("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(HexStrToULong("0x1F"), 0x1Fu);
    EXPECT_EQ(HexStrToULong("0X1f"), 0x1Fu);
    EXPECT_EQ(HexStrToULong("00f0"), 0xF0u);
}

TEST(HexStrToULong, PrefixSignAndWhiteSpace) {
    EXPECT_EQ(HexStrToULong(" \t+1A"), 0x1Au);
    EXPECT_EQ(HexStrToULong("-0x10"), 0xFFFFFFF0u);
    EXPECT_EQ(HexStrToULong("0x"), 0u);  // the "0" is read, "x" stops
    EXPECT_EQ(HexStrToULong("0xG"), 0u);
    EXPECT_EQ(HexStrToULong("-0"), 0u);
    EXPECT_FALSE(HexStrToULong(""));
    EXPECT_FALSE(HexStrToULong("G"));
    EXPECT_FALSE(HexStrToULong("+"));
    EXPECT_FALSE(HexStrToULong("--1"));
    EXPECT_FALSE(HexStrToULong("x1"));
    EXPECT_FALSE(HexStrToULong(" "));
}

TEST(HexStrToULong, ThirtyTwoBitRange) {
    EXPECT_EQ(HexStrToULong("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexStrToULong("100000000"), 0xFFFFFFFFu);  // too large: all ones
    EXPECT_EQ(HexStrToULong("12345678A"), 0xFFFFFFFFu);
    EXPECT_EQ(HexStrToULong("-FFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexStrToULong("-FFFFFFFF"), 1u);
    std::string leadingZeros(5000, '0');
    leadingZeros += '1';
    EXPECT_EQ(HexStrToULong(leadingZeros), 1u);
    EXPECT_EQ(HexStrToULong(std::string(5000, 'F')), 0xFFFFFFFFu);
}
