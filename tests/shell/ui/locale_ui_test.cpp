#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

#include "shell/ui/apply_locale.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/qt_config_store.h"
#include "shell/ui/splash_form.h"
#include "ui_test_support.h"

namespace kd::test {
namespace {

template <typename T>
T* Named(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(name);
    return w;
}

TEST(ApplyLocale, OneNameServesControlsOnTwoWindows) {
    App();
    QWidget a, b;
    auto* s1 = Named<QPushButton>(&a, "ScalingButton");
    auto* s2 = Named<QPushButton>(&b, "ScalingButton");
    TMirelLang en = *TMirelLang::FromResource("StringTable", "en");
    ApplyLocale(&a, en);
    ApplyLocale(&b, en);
    EXPECT_EQ(s1->text(), "Scaling");
    EXPECT_EQ(s2->text(), "Scaling");
}

TEST(ApplyLocale, ToolButtonCaptionSurvivesItsActionAndLeavesTheMenu) {
    App();
    QWidget win;
    auto* action = new QAction("Hold", &win);
    action->setObjectName("HoldToggle");
    action->setCheckable(true);
    QMenu menu(&win);
    menu.addAction(action);
    auto* button = Named<QToolButton>(&win, "HoldButton");
    button->setDefaultAction(action);
    TMirelLang t = TMirelLang::FromText("HoldButton.Caption=Halten\r\n");
    ApplyLocale(&win, t);
    EXPECT_EQ(button->text(), "Halten");
    action->setChecked(true);  // a change of the action refreshes the button
    EXPECT_EQ(button->text(), "Halten");
    EXPECT_EQ(action->text(), "Hold");
}

TEST(ApplyLocale, CaptionsHintsAndWindows) {
    App();
    TLogCapture log;
    QWidget win;
    win.setObjectName("SomeDlg");
    auto* label = Named<QLabel>(&win, "BackLabel");
    auto* check = Named<QCheckBox>(&win, "Check1");
    auto* group = Named<QGroupBox>(&win, "Group1");
    auto* edit = Named<QLineEdit>(&win, "Edit9");
    auto* action = new QAction(&win);
    action->setObjectName("Act1");
    auto* menu = Named<QMenu>(&win, "Menu1");
    edit->setText("keep");
    TMirelLang t = TMirelLang::FromText(
        "charset=134\r\nSomeDlg.Caption=Title\r\nBackLabel.Caption=Back "
        "to#13#10Measure\r\nBackLabel.Hint=a#13#10b\r\n"
        "Check1.Caption=Chk\r\nGroup1.Caption=Grp\r\nEdit9.Caption=nope\r\nAct1.Caption=&"
        "Do\r\nAct1.Hint=tip\r\n"
        "Menu1.Caption=&Menu\r\n");
    ApplyLocale(&win, t);
    EXPECT_EQ(win.windowTitle(), "Title");
    EXPECT_EQ(label->text(), "Back to\nMeasure");
    EXPECT_EQ(label->toolTip(), "a\nb");
    EXPECT_EQ(check->text(), "Chk");
    EXPECT_EQ(group->title(), "Grp");
    EXPECT_EQ(edit->text(), "keep");
    EXPECT_EQ(action->text(), "&Do");
    EXPECT_EQ(action->toolTip(), "tip");
    EXPECT_EQ(menu->title(), "&Menu");
    EXPECT_EQ(win.property("kdCharset").toInt(), 134);
    EXPECT_EQ(log.AttributeOf("ApplyLocale(); not support Edit9.Caption"), kLogError);
}

TEST(ApplyLocale, ComboItemsKeepTheSelection) {
    App();
    QWidget win;
    auto* c1 = Named<QComboBox>(&win, "HoldCombo");
    c1->addItems({"Normal", "Sample", "Peak", "Bottom"});
    c1->setCurrentIndex(2);
    auto* c2 = Named<QComboBox>(&win, "ShortCombo");
    c2->addItems({"a", "b", "c", "d"});
    c2->setCurrentIndex(3);
    auto* c3 = Named<QComboBox>(&win, "NumCombo");
    c3->addItems({"x", "y"});
    c3->setCurrentIndex(1);
    auto* c4 = Named<QComboBox>(&win, "PortCombo");
    c4->setEditable(true);
    int changes = 0;
    QObject::connect(c1, &QComboBox::currentIndexChanged, [&changes] { ++changes; });
    TMirelLang t = TMirelLang::FromText(
        "HoldCombo.Items=None,Sample,Peak,Bottom\r\nShortCombo.Items=one,\"two three\"\r\n"
        "NumCombo.Items0=first item\r\nNumCombo.Items1=second#13#10\r\nNumCombo.Items3=gap\r\n"
        "PortCombo.Text=ttyUSB0\r\n");
    ApplyLocale(&win, t);
    ASSERT_EQ(c1->count(), 4);
    EXPECT_EQ(c1->itemText(0), "None");
    EXPECT_EQ(c1->currentIndex(), 2);
    EXPECT_EQ(changes, 0);  // refilling is not a selection by the operator
    ASSERT_EQ(c2->count(), 2);
    EXPECT_EQ(c2->itemText(1), "two three");
    EXPECT_EQ(c2->currentIndex(), -1);  // the old index lies beyond the new list
    ASSERT_EQ(c3->count(), 2);          // numbered items up to the first gap
    EXPECT_EQ(c3->itemText(0), "first item");
    EXPECT_EQ(c3->itemText(1), "second#13#10");  // items keep #13#10
    EXPECT_EQ(c3->currentIndex(), 1);
    EXPECT_EQ(c4->currentText(), "ttyUSB0");
}

TEST(ApplyLocale, RadioGroupKeepsItsChoices) {
    App();
    QWidget win;
    auto* group = Named<QGroupBox>(&win, "ViewGroup");
    auto* r1 = Named<QRadioButton>(group, "R1");
    auto* r2 = Named<QRadioButton>(group, "R2");
    r1->setText("a");
    r2->setText("b");
    ApplyLocale(&win, TMirelLang::FromText("ViewGroup.Items0=One\r\n"));
    EXPECT_EQ(r1->text(), "One");
    EXPECT_EQ(r2->text(), "b");
}

class LangFileTest : public ::testing::Test {
  protected:
    void SetUp() override { App(); }
    std::string Write(const char* name, const QByteArray& bytes) {
        QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path.toStdString();
    }
    std::unique_ptr<TKestTrel> Start(const std::string& langFile, const char* loc = "en") {
        TKestServices s;
        s.Worker = &link;
        s.Workflow = &workflow;
        auto w = std::make_unique<TKestTrel>(
            std::vector<std::string>{"-lang", langFile, "-loc", loc}, s);
        w->CreateWindows();
        w->show();
        return w;
    }
    QTemporaryDir dir;
    TRecordingLink link;
    TRecordingWorkflow workflow;
};

TEST_F(LangFileTest, FourCodePages) {
    struct Case {
        const char* file;
        QByteArray bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"ja.txt", QByteArray("charset=128\r\nBankLabel.Caption=\x83\x6F\x83\x93\x83\x4E\r\n"),
         "バンク"},
        {"cn.txt", QByteArray("charset=134\r\nBankLabel.Caption=\xC9\xE8\xD6\xC3\r\n"), "设置"},
        {"ko.txt", QByteArray("charset=129\r\nBankLabel.Caption=\xBC\xB3\xC1\xA4\r\n"), "설정"},
        {"en.txt", QByteArray("charset=1\r\nBankLabel.Caption=Banque \xE9\r\n"), "Banque é"},
    };
    for (const Case& c : cases) {
        auto w = Start(Write(c.file, c.bytes));
        EXPECT_EQ(w->BankLabel->text(), QString::fromUtf8(c.expected)) << c.file;
        // Entries the file lacks keep the layout's text.
        EXPECT_EQ(w->ConnectButton->text(), "Connect") << c.file;
    }
}

TEST_F(LangFileTest, FileKeepsSupplyingTextsWhenTheCodeChanges) {
    auto w = Start(Write("t.txt", "BankLabel.Caption=FromFile\r\n"));
    w->LocaleCode = "ja";
    w->ReloadLanguage();
    EXPECT_EQ(w->BankLabel->text(), "FromFile");
    EXPECT_EQ(w->LocaleCode, "ja");
}

TEST_F(LangFileTest, MissingFileUsesTheBuiltInTable) {
    auto w = Start(dir.filePath("none.txt").toStdString(), "cn");
    EXPECT_EQ(w->BankLabel->text(), QString::fromUtf8("参数组"));
}

TEST_F(LangFileTest, ReloadLanguageOrderListsAndSystemChoice) {
    auto w = Start("", "ja");
    std::vector<std::string> order = {
        "TKestTrel", "TSplashForm", "TPMeasure",      "TPSettings",  "TPTrigger", "TPCamera",
        "TPProfile", "TPArea",      "TPOperation",    "TPOutput",    "TPStoSett", "TPStoDispl",
        "TPStoProf", "TPCommon",    "TParamWriteDlg", "TOkCancelDlg"};
    EXPECT_EQ(w->LocaleOrder, order);
    EXPECT_EQ(w->Lists.OutTargetNames.size(), 6u);
    EXPECT_EQ(w->Lists.OutTargetNames[4], "演算1");
    EXPECT_EQ(w->Lists.MeasModeUnits.size(), 13u);
    EXPECT_EQ(w->Lists.MeasModeShort[0], "平均");
    EXPECT_EQ(w->Action("HelpAboutApp")->text(),
              QString::fromUtf8("'KD trelva' のバージョン情報(&A)..."));
    EXPECT_EQ(w->OkCancelDlg->windowTitle(), QString::fromUtf8("確認"));
    EXPECT_EQ(w->property("kdCharset").toInt(), 128);

    // An empty code is chosen from the system's language.
    qputenv("LC_ALL", "zh_CN.UTF-8");
    w->LocaleCode = " ";
    w->ReloadLanguage();
    EXPECT_EQ(w->LocaleCode, "cn");
    EXPECT_EQ(w->MeasureTitle->text(), QString::fromUtf8("测量"));
    qputenv("LC_ALL", "ko_KR.UTF-8");
    w->LocaleCode = "";
    w->ReloadLanguage();
    EXPECT_EQ(w->LocaleCode, "en");
    qputenv("LC_ALL", "en_US.UTF-8");
    EXPECT_EQ(w->MeasureTitle->text(), "Measurement");
    EXPECT_EQ(w->BackButton->text(), "Back to\nMeasure");
    EXPECT_EQ(w->Action("CommSendAll")->text(), "&Write Param");
}

TEST_F(LangFileTest, LanguageSelectorChoice) {
    auto w = Start("", "en");
    int refreshed = 0;
    w->RegisterPage(kPageMeasure,
                    {w->Page(kPageMeasure)->Window, {}, {}, {}, [&refreshed] { ++refreshed; }});
    w->SelectLanguage("ko:Korean");
    EXPECT_EQ(w->LocaleCode, "ko");
    EXPECT_EQ(w->BankLabel->text(), QString::fromUtf8("뱅크"));
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // "OS language" has no code: the next start chooses by the system again.
    w->SelectLanguage("OS language");
    EXPECT_EQ(w->LocaleCode, "en");  // the system of the tests is English
}

TEST_F(LangFileTest, SystemChoiceIsStoredAsNoChoice) {
    QTemporaryDir storeDir;
    TQtConfigStore store(storeDir.filePath("s.ini"));
    TKestServices s;
    s.Worker = &link;
    s.Workflow = &workflow;
    s.Store = &store;
    {
        TKestTrel w({"-loc", "ja"}, s);
        w.CreateWindows();
        w.show();
        w.close();
    }
    EXPECT_EQ(TQtConfigStore(storeDir.filePath("s.ini")).ReadString("Main", "loc"), "ja");
    {
        TKestTrel w({}, s);
        w.CreateWindows();
        w.show();
        EXPECT_EQ(w.LocaleCode, "ja");  // from the store
        w.SelectLanguage("OS language");
        w.close();
    }
    EXPECT_EQ(TQtConfigStore(storeDir.filePath("s.ini")).ReadString("Main", "loc"), "");
}

TEST_F(LangFileTest, UnknownLocaleCodeFallsBackToEnglish) {
    TLogCapture log;
    auto w = Start("", "xx");
    EXPECT_EQ(w->MeasureTitle->text(), "Measurement");
    EXPECT_EQ(log.AttributeOf("no string table for 'xx'; English used"), kLogError);
}

TEST_F(LangFileTest, ListsFallBackToTheirDefaults) {
    auto w = Start(Write("few.txt", "x=1\r\n"));
    EXPECT_EQ(w->Lists.OutTargetNames,
              (std::vector<std::string>{"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"}));
    EXPECT_TRUE(w->Lists.MeasModeUnits.empty());
    EXPECT_EQ(w->Action("HelpAboutApp")->text(), "About 'KD trelva' ...");
}

}  // namespace
}  // namespace kd::test
