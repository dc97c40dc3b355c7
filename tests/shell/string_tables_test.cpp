// The four built-in tables: complete, consistent and with the values the
// program's English texts are defined by.
#include <gtest/gtest.h>

#include <set>

#include "shell/mirel_lang.h"

namespace kd {
namespace {

TMirelLang Table(const char* code) {
    auto t = TMirelLang::FromResource("StringTable", code);
    EXPECT_TRUE(t.has_value()) << code;
    return t ? *t : TMirelLang{};
}

bool IsComment(const std::string& name) {
    return !name.empty() && (name[0] == ';' || name[0] == '#');
}

TEST(BuiltinTables, CharsetsOfTheFourTables) {
    EXPECT_EQ(Table("en").Charset(), 1);
    EXPECT_EQ(Table("ja").Charset(), 128);
    EXPECT_EQ(Table("cn").Charset(), 134);
    EXPECT_EQ(Table("ko").Charset(), 129);
}

TEST(BuiltinTables, EnglishValues) {
    TMirelLang en = Table("en");
    EXPECT_EQ(en.Translate("CommSendAll.Caption", ""), "&Write Param");
    EXPECT_EQ(en.Translate("CommSettings1.Caption", ""), "&Common Settings");
    EXPECT_EQ(en.Translate("connect_failed", ""), "Failed to connect to %s sensor unit.");
    EXPECT_EQ(en.Translate("bank_overrode", ""), "Bank switch is changed to Comm.");
    EXPECT_EQ(en.Translate("ParamWriteLabel", ""),
              "Changes has not been saved yet. \r\nWrite to %s sensor unit?");
    EXPECT_EQ(en.Translate("param_done", ""), "Completed.");
    EXPECT_EQ(en.Translate("param_write_all", ""), "All parameters is saved to EEPROM.");
    EXPECT_EQ(en.Translate("param_write_bank", ""), "Bank parameters is saved to EEPROM.");
    EXPECT_EQ(en.Translate("bank_clear", ""), "Clear current bank#%d.");
    EXPECT_EQ(en.Translate("fact_init", ""), "Initialize to factory preset.");
    EXPECT_EQ(en.Translate("OkCancelDlg.Caption", ""), "Confirmation");
    EXPECT_EQ(en.Translate("ScalingButton.Caption", ""), "Scaling");
    EXPECT_FALSE(en.Has("HelpAboutS"));
    EXPECT_FALSE(en.Has("goto_prof_storage"));
    EXPECT_EQ(ParseCommaList(*en.Find("LanguageCombo.Items")),
              (std::vector<std::string>{"OS language", "en:English", "ja:Japanese",
                                        "cn:Chinese Simplified", "ko:Korean"}));
    EXPECT_EQ(ParseCommaList(*en.Find("OutTargetCombo.Items")),
              (std::vector<std::string>{"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"}));
    EXPECT_EQ(*en.Find("MeasMode_short"),
              "ave, p_hgt,b_hgt,width,p_pos,b_pos,edge,count,tilt,size,len,dia,infl");
}

TEST(BuiltinTables, EveryEnglishNameIsTranslated) {
    TMirelLang en = Table("en");
    for (const char* code : {"ja", "cn", "ko"}) {
        TMirelLang t = Table(code);
        for (const auto& [name, value] : en.Entries()) {
            if (IsComment(name)) continue;
            EXPECT_TRUE(t.Has(name)) << code << " lacks " << name;
        }
        EXPECT_TRUE(t.Has("goto_prof_storage")) << code;
        EXPECT_TRUE(t.Has("HelpAboutS")) << code;
    }
}

// The table is flat: a name given twice (two pages naming a control alike)
// would give both controls the later text.
TEST(BuiltinTables, NoNameTwice) {
    for (const char* code : {"en", "ja", "cn", "ko"}) {
        std::set<std::string> seen;
        const TMirelLang table = Table(code);
        for (const auto& [name, value] : table.Entries()) {
            if (!IsComment(name)) {
                EXPECT_TRUE(seen.insert(name).second) << code << " " << name;
            }
        }
    }
}

TEST(BuiltinTables, ChoiceListsHaveTheSameLengthInEveryLanguage) {
    TMirelLang en = Table("en");
    for (const char* code : {"ja", "cn", "ko"}) {
        TMirelLang t = Table(code);
        for (const auto& [name, value] : en.Entries()) {
            bool isList = name.find(".Items") != std::string::npos || name == "MeasMode_units" ||
                          name == "MeasMode_short";
            if (!isList || !t.Has(name)) continue;
            EXPECT_EQ(ParseCommaList(value).size(), ParseCommaList(*t.Find(name)).size())
                << code << " " << name;
        }
    }
}

TEST(BuiltinTables, ModeListsMatchTheThirteenFunctions) {
    for (const char* code : {"en", "ja", "cn", "ko"}) {
        TMirelLang t = Table(code);
        EXPECT_EQ(ParseCommaList(*t.Find("MeasModeCombo.Items")).size(), 13u) << code;
        EXPECT_EQ(ParseCommaList(t.Translate("MeasMode_units", "")).size(), 13u) << code;
        EXPECT_EQ(ParseCommaList(t.Translate("MeasMode_short", "")).size(), 13u) << code;
        EXPECT_EQ(ParseCommaList(*t.Find("ToCombo.Items")).size(), 9u) << code;
    }
}

TEST(BuiltinTables, TranslatedTextsDifferFromEnglish) {
    TMirelLang en = Table("en");
    for (const char* code : {"ja", "cn", "ko"}) {
        TMirelLang t = Table(code);
        EXPECT_NE(*t.Find("MeasureTitle.Caption"), *en.Find("MeasureTitle.Caption")) << code;
        EXPECT_NE(*t.Find("ParamWriteLabel"), *en.Find("ParamWriteLabel")) << code;
        EXPECT_NE(t.Find("ParamWriteLabel")->find("%s"), std::string::npos) << code;
        EXPECT_NE(t.Find("bank_clear")->find("%d"), std::string::npos) << code;
        // The language selector's codes stay the same in every language.
        auto items = ParseCommaList(*t.Find("LanguageCombo.Items"));
        ASSERT_EQ(items.size(), 5u);
        EXPECT_EQ(items[1].substr(0, 3), "en:");
        EXPECT_EQ(items[4].substr(0, 3), "ko:");
        EXPECT_EQ(items[0].find(':'), std::string::npos);
    }
}

// The texts shown above OK and Cancel ask before the action; none reports it
// as done.
TEST(BuiltinTables, ConfirmationsAskBeforeTheAction) {
    struct Lang {
        const char* code;
        const char* done;  // how the language says "has been done"
    };
    for (Lang l : {Lang{"ja", "しました"}, Lang{"cn", "已"}, Lang{"ko", "했습니다"}}) {
        TMirelLang t = Table(l.code);
        for (const char* name : {"param_write_all", "param_write_bank", "bank_overrode",
                                 "bank_clear", "fact_init", "goto_prof_storage"}) {
            const std::string v = t.Translate(name, "");
            ASSERT_FALSE(v.empty()) << l.code << " " << name;
            const bool asks = v.size() >= 3 && (v.back() == '?' || v.substr(v.size() - 3) == "？");
            EXPECT_TRUE(asks) << l.code << " " << name << ": " << v;
            EXPECT_EQ(v.find(l.done), std::string::npos) << l.code << " " << name << ": " << v;
        }
    }
}

}  // namespace
}  // namespace kd
