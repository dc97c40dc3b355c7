#include "shell/mirel_lang.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "common/kest_error.h"

namespace kd {
namespace {

TEST(MirelLangParse, NamesValuesAndLineEnds) {
    TMirelLang t = TMirelLang::FromText(
        "A.Caption=one\r\nB.Caption= two  \nno equals here\r\nC=x=y\r\n=empty name\r\n");
    ASSERT_NE(t.Find("A.Caption"), nullptr);
    EXPECT_EQ(*t.Find("A.Caption"), "one");
    EXPECT_EQ(*t.Find("B.Caption"), " two  ");  // blanks kept exactly
    EXPECT_EQ(*t.Find("C"), "x=y");             // the first "=" splits
    EXPECT_EQ(*t.Find(""), "empty name");
    EXPECT_EQ(t.Find("no equals here"), nullptr);
    EXPECT_EQ(t.Count(), 4u);
}

TEST(MirelLangParse, CaseInsensitiveAndFirstEntryWins) {
    TMirelLang t = TMirelLang::FromText("Name.Caption=first\r\nNAME.CAPTION=second\r\n");
    EXPECT_EQ(*t.Find("name.caption"), "first");
    EXPECT_EQ(*t.Find("NaMe.CaPtIoN"), "first");
    EXPECT_EQ(t.Count(), 1u);
}

TEST(MirelLangParse, CharsetEntry) {
    EXPECT_EQ(TMirelLang::FromText("x=1").Charset(), 1);
    EXPECT_EQ(TMirelLang::FromText("charset=128\r\n").Charset(), 128);
    EXPECT_EQ(TMirelLang::FromText("CharSet= 134 \r\n").Charset(), 134);
    EXPECT_EQ(TMirelLang::FromText("charset=abc\r\n").Charset(), 1);
}

TEST(MirelLangParse, ByteOrderMarkIsNotPartOfTheFirstName) {
    TMirelLang t = TMirelLang::FromText("\xEF\xBB\xBFlanguage=en:English\r\n");
    ASSERT_NE(t.Find("language"), nullptr);
}

TEST(MirelLangTranslate, LineBreaksAndDefaults) {
    TMirelLang t = TMirelLang::FromText("BackButton.Caption=Back to#13#10Measure\r\nE=\r\n");
    EXPECT_EQ(t.Translate("BackButton.Caption", "x"), "Back to\r\nMeasure");
    EXPECT_EQ(t.Translate("missing", "Completed."), "Completed.");
    EXPECT_EQ(t.Translate("E", "default"), "");  // present but empty
    EXPECT_EQ(ExpandLineBreaks("#13#10a#13#10#13#10"), "\r\na\r\n\r\n");
    EXPECT_EQ(ExpandLineBreaks("#13#1"), "#13#1");
}

TEST(CommaList, QuotedItemsAndBlanks) {
    EXPECT_EQ(ParseCommaList("Average, \"Peak Height\""),
              (std::vector<std::string>{"Average", "Peak Height"}));
    EXPECT_EQ(ParseCommaList("\"a,b\",\"say \"\"hi\"\"\""),
              (std::vector<std::string>{"a,b", "say \"hi\""}));
    EXPECT_EQ(ParseCommaList("  x,\ty"), (std::vector<std::string>{"x", "y"}));
    // A blank ends an unquoted item; what follows is the next item.
    EXPECT_EQ(ParseCommaList("Laser OFF,On"), (std::vector<std::string>{"Laser", "OFF", "On"}));
}

TEST(CommaList, EmptyItems) {
    EXPECT_EQ(ParseCommaList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(ParseCommaList("a,  ,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(ParseCommaList("a,"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(ParseCommaList(",,"), (std::vector<std::string>{"", "", ""}));
    EXPECT_TRUE(ParseCommaList("").empty());
    EXPECT_TRUE(ParseCommaList("   ").empty());
}

TEST(CommaList, UnterminatedQuoteTakesTheRest) {
    EXPECT_EQ(ParseCommaList("\"abc,def"), (std::vector<std::string>{"abc,def"}));
}

TEST(CommaList, MeasurementModeUnits) {
    auto units = ParseCommaList(
        "           mm,        mm,        mm,mm,        mm,        mm,        mm,              ,  "
        "deg., mm2,    mm,  "
        "mm, mm");
    ASSERT_EQ(units.size(), 13u);
    EXPECT_EQ(units[0], "mm");
    EXPECT_EQ(units[7], "");
    EXPECT_EQ(units[8], "deg.");
    EXPECT_EQ(units[9], "mm2");
}

TEST(Utf8, Validation) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xE6\xB8\xAC\xE5\xAE\x9A"));  // 測定
    EXPECT_FALSE(IsValidUtf8("\x90\xDD"));                 // Shift-JIS
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));                 // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));             // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE6\xB8"));                 // truncated
}

TEST(DecodeTable, CodePagesByCharset) {
    // 設定 in Shift-JIS, 设置 in GB2312, 설정 in the Korean code page, é in Windows-1252.
    TMirelLang ja =
        TMirelLang::FromText(DecodeStringTable("charset=128\r\nA.Caption=\x90\xDD\x92\xE8\r\n"));
    EXPECT_EQ(*ja.Find("A.Caption"), "\xE8\xA8\xAD\xE5\xAE\x9A");
    EXPECT_EQ(ja.Charset(), 128);
    TMirelLang cn =
        TMirelLang::FromText(DecodeStringTable("charset=134\r\nA.Caption=\xC9\xE8\xD6\xC3\r\n"));
    EXPECT_EQ(*cn.Find("A.Caption"), "\xE8\xAE\xBE\xE7\xBD\xAE");
    TMirelLang ko =
        TMirelLang::FromText(DecodeStringTable("charset=129\r\nA.Caption=\xBC\xB3\xC1\xA4\r\n"));
    EXPECT_EQ(*ko.Find("A.Caption"), "\xEC\x84\xA4\xEC\xA0\x95");
    TMirelLang en =
        TMirelLang::FromText(DecodeStringTable("A.Caption=Caf\xE9 \x80\r\n"));  // no charset: 1
    EXPECT_EQ(*en.Find("A.Caption"), "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(DecodeTable, Utf8TextIsTakenAsItStands) {
    std::string utf8 = "charset=128\r\nA.Caption=\xE6\xB8\xAC\xE5\xAE\x9A\r\n";
    EXPECT_EQ(DecodeStringTable(utf8), utf8);
    EXPECT_EQ(DecodeStringTable("\xEF\xBB\xBFx=1"), "x=1");
}

TEST(DecodeTable, UndecodableBytesBecomeReplacementCharacters) {
    // 0x81 0x20 is no Shift-JIS pair; 0x81 is undefined in Windows-1252.
    std::string ja = DecodeStringTable("charset=128\r\nA=\x81 x\x90\xDD\r\n");
    EXPECT_NE(ja.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(ja.find("x\xE8\xA8\xAD"), std::string::npos);  // decoding goes on after the bad byte
    std::string en = DecodeStringTable("A=\x81z");
    EXPECT_EQ(en, "A=\xEF\xBF\xBDz");
    std::string cut = DecodeStringTable("charset=134\r\nA=\xC9");  // truncated pair at the end
    EXPECT_EQ(cut.substr(cut.size() - 3), "\xEF\xBF\xBD");
}

TEST(DecodeTable, CharsetEntryLookup) {
    EXPECT_EQ(FindCharsetEntry("a=1\r\ncharset=129\r\n"), 129);
    EXPECT_EQ(FindCharsetEntry("CHARSET=134"), 134);
    EXPECT_FALSE(FindCharsetEntry("xcharset=1\r\n").has_value());
    EXPECT_EQ(FindCharsetEntry("charset=128\r\ncharset=129\r\n"), 128);
    EXPECT_STREQ(CodePageOfCharset(0), "CP1252");
    EXPECT_STREQ(CodePageOfCharset(77), "CP1252");
}

TEST(LangFile, ReadsAndDecodesAFile) {
    std::string path = ::testing::TempDir() + "kd_lang_sjis.txt";
    {
        std::ofstream f(path, std::ios::binary);
        f << "language=ja:Japanese\r\ncharset=128\r\nBankLabel.Caption="
             "\x83\x6F\x83\x93\x83\x4E\r\n";  // バンク
    }
    TMirelLang t = TMirelLang::FromFile(path);
    EXPECT_EQ(*t.Find("BankLabel.Caption"), "\xE3\x83\x90\xE3\x83\xB3\xE3\x82\xAF");
    EXPECT_THROW(TMirelLang::FromFile(path + ".missing"), EKestError);
}

TEST(LocaleChoice, SystemLanguageMapping) {
    EXPECT_EQ(LocaleCodeFromSystem("ja_JP.UTF-8"), "ja");
    EXPECT_EQ(LocaleCodeFromSystem("zh_CN.UTF-8"), "cn");
    EXPECT_EQ(LocaleCodeFromSystem("zh_SG"), "cn");
    EXPECT_EQ(LocaleCodeFromSystem("zh_TW.UTF-8"), "en");
    EXPECT_EQ(LocaleCodeFromSystem("ko_KR.UTF-8"), "en");  // like code page 949
    EXPECT_EQ(LocaleCodeFromSystem("C"), "en");
    EXPECT_EQ(LocaleCodeFromSystem(""), "en");
    EXPECT_EQ(IsoLanguageOf("ko_KR.UTF-8"), "ko");
    EXPECT_EQ(IsoLanguageOf("POSIX"), "en");
}

TEST(LocaleChoice, ResourceByCode) {
    auto ja = TMirelLang::FromResource("StringTable", " JA ");
    ASSERT_TRUE(ja.has_value());
    EXPECT_EQ(ja->Charset(), 128);
    EXPECT_FALSE(TMirelLang::FromResource("StringTable", "xx").has_value());
    // "??" stands for the system's language.
    setenv("LC_ALL", "ko_KR.UTF-8", 1);
    auto ko = TMirelLang::FromResource("StringTable", "??");
    unsetenv("LC_ALL");
    ASSERT_TRUE(ko.has_value());
    EXPECT_EQ(ko->Charset(), 129);
}

}  // namespace
}  // namespace kd
