#include <gtest/gtest.h>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/qt_config_store.h"
#include "shell/ui/tp_settings.h"
#include "ui_test_support.h"

namespace kd::test {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<TQtConfigStore>(dir.filePath("settings.ini"));
    }

    TKestTrel& Make(std::vector<std::string> args = {}, bool show = true) {
        TKestServices s;
        s.Worker = &link;
        s.Workflow = &workflow;
        s.Store = store.get();
        s.ProgramPath = dir.filePath("kdtrelva").toStdString();
        win = std::make_unique<TKestTrel>(args, s);
        win->CreateWindows();
        if (show) win->show();
        return *win;
    }

    static QLabel* TopTitle(TKestTrel& w) {
        QLabel* top = nullptr;
        int best = -1;
        for (QLabel* t : {w.MeasureTitle, w.SettingsTitle, w.StorageTitle, w.PCSettTitle}) {
            int i = static_cast<int>(w.BankPanel->children().indexOf(t));
            if (i > best) {
                best = i;
                top = t;
            }
        }
        return top;
    }

    QTemporaryDir dir;
    std::unique_ptr<TQtConfigStore> store;
    TRecordingLink link;
    TRecordingWorkflow workflow;
    std::unique_ptr<TKestTrel> win;
};

TEST_F(MainWindowTest, StartUpOrder) {
    TKestTrel& w = Make();
    std::vector<std::string> expected = {"layout",
                                         "debug window",
                                         "handlers",
                                         "worker",
                                         "image",
                                         "chart store",
                                         "command line",
                                         "settings",
                                         "localise",
                                         "about caption",
                                         "create TPMeasure",
                                         "create TPSettings",
                                         "create TPCommon",
                                         "create TPTrigger",
                                         "create TPCamera",
                                         "create TPProfile",
                                         "create TPArea",
                                         "create TPOutput",
                                         "create TPOperation",
                                         "create TParamWriteDlg",
                                         "create TOkCancelDlg",
                                         "create TPStoDispl",
                                         "create TPStoSett",
                                         "create TPStoProf",
                                         "create TSplashForm",
                                         "show: language selector",
                                         "show: chart mask",
                                         "show: colours",
                                         "show: measurement page",
                                         "show: localise",
                                         "show: file new",
                                         "show: measurement"};
    EXPECT_EQ(w.StartupSteps, expected);
    EXPECT_EQ(workflow.calls, std::vector<std::string>{"FileNew"});
    EXPECT_EQ(w.State.CurrentPage, kPageMeasure);
    EXPECT_EQ(w.windowTitle(), "KD trelva ver1.70 [untitled]");
    EXPECT_FALSE(w.DebugForm->isVisible());
    EXPECT_TRUE(w.DebugForm->Displ->isChecked());
    EXPECT_FALSE(w.DebugForm->Sync->isChecked());
    EXPECT_FALSE(w.DebugMenu->menuAction()->isVisible());
    EXPECT_FALSE(w.DebugButton->isVisible());
    EXPECT_FALSE(w.ServicePanel->isVisible());
    EXPECT_FALSE(w.BackButton->isVisible());
    EXPECT_EQ(w.ClientArea->size(), QSize(800, 480));
    EXPECT_EQ(w.Live.Channels[0], kNoValue32);
    EXPECT_EQ(w.Live.AreaResults[3], kNoValue16);
    EXPECT_EQ(w.Action("HelpAboutApp")->text(), "About 'KD trelva' ...");
}

TEST_F(MainWindowTest, WindowFactoriesReplaceEmptyPages) {
    std::vector<std::string> made;
    TKestServices s;
    s.Worker = &link;
    s.Workflow = &workflow;
    win = std::make_unique<TKestTrel>(std::vector<std::string>{}, s);
    win->WindowFactories["TPCommon"] = [&made](TKestTrel& w) {
        made.push_back("TPCommon");
        auto* page = new QWidget;
        page->setObjectName("PCommon");
        page->resize(400, 300);
        w.RegisterPage(kPageCommon, {page, {}, {}, {}, {}});
    };
    win->CreateWindows();
    win->show();
    EXPECT_EQ(made, std::vector<std::string>{"TPCommon"});
    win->ShowPage(kPageCommon);
    ASSERT_NE(win->ShownPage(), nullptr);
    EXPECT_EQ(win->ShownPage()->objectName(), "PCommon");
    EXPECT_TRUE(win->ShownPage()->isVisible());
    EXPECT_EQ(win->ShownPage()->pos(), QPoint(0, 0));
}

TEST_F(MainWindowTest, StoreIsReadAtCreation) {
    store->WriteInt("Main", "WindowState", 2);
    store->WriteInt("Main", "Left", 1);
    store->WriteString("Main", "loc", "ja");
    store->WriteInt("View", "DisplUnit", 1);
    store->WriteInt("View", "DisplDecimal", 1);
    store->WriteInt("AdjChart", "ChMask", 5);
    store->Flush();
    int chartMask = -1;
    TKestServices s;
    s.Worker = &link;
    s.Workflow = &workflow;
    s.Store = store.get();
    win = std::make_unique<TKestTrel>(std::vector<std::string>{}, s);
    win->SetChartMask = [&chartMask](int m) { chartMask = m; };
    win->CreateWindows();
    win->show();
    EXPECT_TRUE(win->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(win->LocaleCode, "ja");
    EXPECT_EQ(win->Display.DisplUnit, 1);
    EXPECT_EQ(win->Display.DisplDecimal, 1);
    EXPECT_EQ(chartMask, 5);
    EXPECT_EQ(win->MeasureTitle->text(), QString::fromUtf8("測定"));
}

TEST_F(MainWindowTest, LocOptionWinsOverTheStore) {
    store->WriteString("Main", "loc", "ja");
    store->Flush();
    TKestTrel& w = Make({"-loc", "ko"});
    EXPECT_EQ(w.LocaleCode, "ko");
    EXPECT_EQ(w.BankLabel->text(), QString::fromUtf8("뱅크"));
}

TEST_F(MainWindowTest, SaveOfANormalAndAMaximisedWindow) {
    TKestTrel& w = Make({"-loc", "cn"});
    w.Display.DisplUnit = 1;
    w.close();
    TQtConfigStore reread(dir.filePath("settings.ini"));
    EXPECT_EQ(reread.ReadInt("Main", "WindowState"), 0);
    EXPECT_TRUE(reread.ReadInt("Main", "Width").has_value());
    EXPECT_EQ(reread.ReadString("Main", "loc"), "cn");
    EXPECT_EQ(reread.ReadInt("View", "DisplUnit"), 1);
    EXPECT_EQ(reread.ReadInt("AdjChart", "ChMask"), 0x3F);
    EXPECT_EQ(reread.ReadDouble("Area", "ScaleX"), 1.0);

    QFile::remove(dir.filePath("settings.ini"));
    store = std::make_unique<TQtConfigStore>(dir.filePath("settings.ini"));
    TKestTrel& m = Make();
    m.showMaximized();
    m.close();
    TQtConfigStore again(dir.filePath("settings.ini"));
    EXPECT_EQ(again.ReadInt("Main", "WindowState"), 2);
    EXPECT_FALSE(again.ReadInt("Main", "Left").has_value());
    EXPECT_TRUE(again.ReadString("Main", "loc").has_value());
}

TEST_F(MainWindowTest, PortOptionHoldsForThisRunOnly) {
    store->WriteString("Comm", "PortName", "ttyUSB0");
    store->Flush();
    TKestTrel& w = Make({"-port", "SIM"});
    EXPECT_EQ(link.port, "SIM");
    w.close();
    TQtConfigStore reread(dir.filePath("settings.ini"));
    EXPECT_EQ(reread.ReadString("Comm", "PortName"), "ttyUSB0");
}

TEST_F(MainWindowTest, ColourFileBesideTheProgram) {
    QFile ini(dir.filePath("kdtrelva.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[Colors]\r\nchart_bg_color=not a "
        "number\r\nchart_grid_color=255\r\narea_sel_color2=$0000FF\r\n");
    ini.close();
    TKestTrel& w = Make();
    EXPECT_EQ(w.Colors.chart_bg_color, 0u);
    EXPECT_EQ(w.Colors.chart_grid_color, 255u);
    EXPECT_EQ(w.Colors.area_sel_color[2], 0xFFu);
}

TEST_F(MainWindowTest, CommandLineFileIsLoadedAndUnknownOptionsLogged) {
    TLogCapture log;
    TKestTrel& w = Make({"a.kd", "-foo", "b.kd"});
    EXPECT_EQ(w.Options.File, "a.kd");
    EXPECT_EQ(workflow.calls, std::vector<std::string>{"FileOpen(a.kd)"});
    EXPECT_EQ(log.AttributeOf("unknown param; -foo"), kLogError);
}

TEST_F(MainWindowTest, UnreadableStartFileFallsBackToTheDefaultSet) {
    TLogCapture log;
    workflow.failOpen = true;
    TKestTrel& w = Make({"broken.kd"});
    std::vector<QString> boxes;
    w.MessageBox = [&boxes](const QString& caption, const QString& text) {
        boxes.push_back(caption + "|" + text);
    };
    QCoreApplication::processEvents();
    EXPECT_EQ(workflow.calls, (std::vector<std::string>{"FileOpen(broken.kd)", "FileNew"}));
    EXPECT_EQ(log.AttributeOf("load 'broken.kd': cannot read broken.kd"), kLogError);
    EXPECT_EQ(boxes, std::vector<QString>{
                         "|The file could not be opened.\nbroken.kd\n\ncannot read broken.kd"});
    EXPECT_EQ(w.State.CurrentPage, kPageMeasure);
}

// A file that cannot be opened or saved is named to the operator with the
// reason, in a box of the window's language, not only in the hidden log.
TEST_F(MainWindowTest, FailedOpenAndSaveShowTheFileAndTheReason) {
    TKestTrel& w = Make({"-loc", "ja"});
    std::vector<QString> boxes;
    w.MessageBox = [&boxes](const QString& caption, const QString& text) {
        boxes.push_back(caption + "|" + text);
    };
    w.FileNameDialog = [](const QString&, bool save) {
        return QString(save ? "/ro/out.kd" : "/tmp/f.txt");
    };
    workflow.failOpen = workflow.failSave = true;
    w.Action("FileOpen1")->trigger();
    w.Action("FileSaveAs1")->trigger();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], QString::fromUtf8("|ファイルを開けませんでした。\n/tmp/f.txt\n\n"
                                          "cannot read /tmp/f.txt"));
    EXPECT_TRUE(boxes[1].contains("/ro/out.kd\n\ncannot write /ro/out.kd: No space left"));
    workflow.failOpen = false;
    w.Action("FileOpen1")->trigger();
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(MainWindowTest, CaptionFollowsFileAndChangedFlags) {
    TKestTrel& w = Make();
    w.SetFileName("/data/line/a3.kd");
    EXPECT_EQ(w.windowTitle(), "KD trelva ver1.70 [a3.kd]");
    w.Image().SetSensorModified(true);
    EXPECT_EQ(w.windowTitle(), "KD trelva ver1.70 [a3.kd]*");
    w.Image().SetSensorModified(false);
    w.Image().SetFileModified(true);
    EXPECT_EQ(w.windowTitle(), "KD trelva ver1.70 [a3.kd]*");
}

TEST_F(MainWindowTest, ShowPageSamePageDoesNothing) {
    TKestTrel& w = Make();
    w.DebugForm->Sync->setChecked(true);
    w.ShowPage(kPageMeasure);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(MainWindowTest, ShowPageWithoutSyncSendsNoMode) {
    TKestTrel& w = Make();
    w.ShowPage(kPageCamera);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_FALSE(w.State.SysModeActive);
    EXPECT_EQ(TopTitle(w), w.SettingsTitle);
    EXPECT_TRUE(w.BackButton->isVisible());
    EXPECT_EQ(w.ShownPage(), w.PSettings);
    EXPECT_EQ(w.PSettings->ShownPage(), w.PSettings->SubPage(kPageCamera));
    w.ShowPage(kPageMeasure);
    EXPECT_TRUE(link.sent.empty());  // the mode was never set
    EXPECT_FALSE(w.BackButton->isVisible());
    EXPECT_EQ(TopTitle(w), w.MeasureTitle);
}

TEST_F(MainWindowTest, ShowPageWithoutSyncResetsAnActiveMode) {
    TKestTrel& w = Make();
    w.ShowPage(kPageCommon);
    w.Action("CamStop1")->trigger();
    EXPECT_TRUE(w.State.SysModeActive);
    link.sent.clear();
    w.ShowPage(kPageMeasure);
    EXPECT_EQ(link.sent, (std::vector<TSentCommand>{{cmd::SET_SYS_MODE, {0, 0}}}));
    EXPECT_FALSE(w.State.SysModeActive);
}

TEST_F(MainWindowTest, ShowPageWithSyncSendsTheModeOnEveryChange) {
    TLogCapture log;
    TKestTrel& w = Make();
    w.DebugForm->Sync->setChecked(true);
    w.ShowPage(kPageCamera);
    w.ShowPage(kPageProfile);
    w.ShowPage(kPageTrigger);
    w.ShowPage(kPageMeasure);
    std::vector<TSentCommand> expected = {{cmd::SET_SYS_MODE, {0, 1}},
                                          {cmd::SET_SYS_MODE, {0, 1}},
                                          {cmd::SET_SYS_MODE, {0, 0}},
                                          {cmd::SET_SYS_MODE, {0, 0}}};
    EXPECT_EQ(link.sent, expected);
    EXPECT_TRUE(log.Has("SET_SYS_MODE(1)"));
    EXPECT_FALSE(w.State.SysModeActive);
    link.sent.clear();
    w.ShowPage(kPageArea);
    EXPECT_TRUE(w.State.SysModeActive);
    w.ShowPage(kPageStoSett);
    EXPECT_FALSE(w.State.SysModeActive);
    EXPECT_EQ(TopTitle(w), w.StorageTitle);
    w.ShowPage(kPageCommon);
    EXPECT_EQ(TopTitle(w), w.PCSettTitle);
}

TEST_F(MainWindowTest, ShowPageAbortsARunningTaskAndSurvivesNoReply) {
    TLogCapture log;
    TKestTrel& w = Make();
    w.DebugForm->Sync->setChecked(true);
    link.taskRunning = true;
    link.failNext = true;
    w.ShowPage(kPageCamera);
    EXPECT_EQ(link.aborts, 1);
    EXPECT_EQ(log.AttributeOf("KEST_SET_SYS_MODE no reply"), kLogError);
    EXPECT_EQ(w.State.CurrentPage, kPageCamera);
    EXPECT_FALSE(w.State.SysModeActive);
}

TEST_F(MainWindowTest, ShowPageReturnToMeasurementNoReply) {
    TLogCapture log;
    TKestTrel& w = Make();
    w.ShowPage(kPageCamera);
    w.State.SysModeActive = true;
    link.failNext = true;
    w.ShowPage(kPageMeasure);
    EXPECT_EQ(log.AttributeOf("SET_SYS_MODE no reply"), kLogError);
    EXPECT_FALSE(w.State.SysModeActive);
    EXPECT_EQ(w.State.CurrentPage, kPageMeasure);
}

TEST_F(MainWindowTest, UnknownPageRaises) {
    TKestTrel& w = Make();
    try {
        w.ShowPage(0x40);
        FAIL() << "no error";
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "unknown page: 64");
    }
}

TEST_F(MainWindowTest, ZoomIsCarriedBetweenProfileAndAreaOnly) {
    TKestTrel& w = Make();
    std::array<double, 2> profileZoom{0.5, 0.25}, areaZoom{1, 1};
    std::vector<std::string> setCalls;
    int profileEnter = 0, areaEnter = 0;
    w.RegisterPage(kPageProfile, {nullptr,
                                  [&] { ++profileEnter; },
                                  [&] { return profileZoom; },
                                  [&](double x, double y) {
                                      profileZoom = {x, y};
                                      setCalls.push_back("profile");
                                  },
                                  {}});
    w.RegisterPage(kPageArea, {nullptr,
                               [&] { ++areaEnter; },
                               [&] { return areaZoom; },
                               [&](double x, double y) {
                                   areaZoom = {x, y};
                                   setCalls.push_back("area");
                               },
                               {}});
    w.ShowPage(kPageProfile);
    EXPECT_TRUE(setCalls.empty());  // nothing stored yet
    EXPECT_EQ(profileEnter, 1);
    w.ShowPage(kPageArea);
    EXPECT_EQ(areaZoom, (std::array<double, 2>{0.5, 0.25}));
    EXPECT_EQ(areaEnter, 1);
    areaZoom = {2, 3};
    w.ShowPage(kPageCamera);
    EXPECT_EQ(w.State.SharedZoom, (std::array<double, 2>{2, 3}));
    w.ShowPage(kPageProfile);
    EXPECT_EQ(profileZoom, (std::array<double, 2>{2, 3}));
    EXPECT_EQ(setCalls, (std::vector<std::string>{"area", "profile"}));
}

TEST_F(MainWindowTest, EnablingRules) {
    TKestTrel& w = Make();
    w.UpdateActions();
    EXPECT_TRUE(w.Action("CommConnect")->isEnabled());
    EXPECT_TRUE(w.ConnectButton->isEnabled());
    for (const char* a : {"CommDisConnect", "CommSendAll", "CommSendBank", "CommRecvAll",
                          "CommBankClear", "CommBankCopy", "CommEpmWrite", "Reset", "HoldToggle"})
        EXPECT_FALSE(w.Action(a)->isEnabled()) << a;
    w.State.LinkState = 2;
    w.UpdateActions();
    EXPECT_FALSE(w.Action("CommConnect")->isEnabled());
    for (const char* a : {"CommDisConnect", "CommSendAll", "CommSendBank", "CommRecvAll",
                          "CommBankClear", "CommBankCopy", "CommEpmWrite", "Reset", "HoldToggle"})
        EXPECT_TRUE(w.Action(a)->isEnabled()) << a;
    EXPECT_TRUE(w.HoldButton->isEnabled());
    for (const char* a :
         {"ViewMeasure", "SettingTrigger", "ViewDataLog", "ViewProfLogRun", "CommSettings1",
          "FileNew1", "FileOpen1", "FileSaveAs1", "FileCompare2", "FileExit1", "HelpAboutApp"})
        EXPECT_TRUE(w.Action(a)->isEnabled()) << a;
}

TEST_F(MainWindowTest, PollingTickRunsOnlyWhileLinked) {
    TKestTrel& w = Make();
    EXPECT_FALSE(w.PollingActive());
    w.SetLinkState(2);
    EXPECT_TRUE(w.PollingActive());
    EXPECT_TRUE(w.Action("CommDisConnect")->isEnabled());
    w.SetLinkState(1);
    EXPECT_TRUE(w.PollingActive());
    w.SetLinkState(0);
    EXPECT_FALSE(w.PollingActive());
    EXPECT_TRUE(w.Action("CommConnect")->isEnabled());
}

TEST_F(MainWindowTest, InputTwoHoldingTheSensorDisablesHold) {
    TKestTrel& w = Make();
    w.Image().SetSys(pk::INPUT2, 1);
    w.State.LinkState = 1;
    w.UpdateActions();
    EXPECT_FALSE(w.Action("HoldToggle")->isEnabled());
    EXPECT_FALSE(w.HoldButton->isEnabled());
    EXPECT_TRUE(w.Action("Reset")->isEnabled());
}

TEST_F(MainWindowTest, CloseWithoutConnectionClosesAtOnce) {
    TKestTrel& w = Make();
    int asked = 0;
    w.ExecDialog = [&asked](QDialog&) { return ++asked, 0; };
    w.Image().SetSensorModified(true);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(asked, 0);
}

TEST_F(MainWindowTest, CloseQuestionAnswers) {
    TKestTrel& w = Make();
    w.Image().SetSensorModified(true);
    w.State.LinkState = 2;
    w.SetBankSelector(4);
    QString shown;
    int answer = TParamWriteDlg::Cancelled;
    w.ExecDialog = [&](QDialog& d) {
        shown = static_cast<TParamWriteDlg&>(d).Label1->text();
        return answer;
    };
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(shown, "Changes has not been saved yet. \nWrite to KD sensor unit?");
    EXPECT_TRUE(workflow.calls.size() == 1);  // only FileNew of the start

    answer = TParamWriteDlg::Yes;
    workflow.failWrite = true;
    EXPECT_FALSE(w.close());  // the write failed: nothing is lost
    EXPECT_EQ(workflow.calls.back(), "WriteToEeprom(4)");

    workflow.failWrite = false;
    EXPECT_TRUE(w.close());
    EXPECT_EQ(workflow.calls.back(), "WriteToEeprom(4)");
}

TEST_F(MainWindowTest, CloseQuestionNoClosesWithoutWriting) {
    TKestTrel& w = Make();
    w.Image().SetSensorModified(true);
    w.State.LinkState = 1;
    w.ExecDialog = [](QDialog&) { return static_cast<int>(TParamWriteDlg::No); };
    EXPECT_TRUE(w.close());
    EXPECT_EQ(workflow.calls, std::vector<std::string>{"FileNew"});
}

TEST_F(MainWindowTest, ServiceActionsSendTheirCommands) {
    TLogCapture log;
    TKestTrel& w = Make();
    w.State.LinkState = 2;
    w.UpdateActions();
    w.Action("Reset")->trigger();
    w.HoldButton->click();
    w.HoldButton->click();
    std::vector<TSentCommand> expected = {
        {cmd::RUN_RESET, {}}, {cmd::SET_HOLD_STATE, {0, 1}}, {cmd::SET_HOLD_STATE, {0, 0}}};
    EXPECT_EQ(link.sent, expected);
    EXPECT_EQ(log.AttributeOf("RUN_RESET"), kLogAction);
    EXPECT_EQ(log.AttributeOf("SET_HOLD_STATE(1)"), kLogAction);
    w.Action("CamStarat1")->trigger();
    EXPECT_EQ(link.sent.back(), (TSentCommand{cmd::CAM_STARAT, {}}));
}

TEST_F(MainWindowTest, DirectEepromWrite) {
    TLogCapture log;
    TKestTrel& w = Make();
    w.State.LinkState = 2;
    w.UpdateActions();
    std::vector<QString> prefill;
    std::optional<QString> reply = QString("15");
    w.InputBox = [&](const QString& caption, const QString& prompt, const QString& value) {
        EXPECT_EQ(caption, "EPM_WRITE");
        EXPECT_EQ(prompt, "bank (0-7,15):");
        prefill.push_back(value);
        return reply;
    };
    w.Action("CommEpmWrite")->trigger();
    reply = QString("9");
    w.Action("CommEpmWrite")->trigger();
    reply = std::nullopt;
    w.Action("CommEpmWrite")->trigger();
    EXPECT_EQ(prefill, (std::vector<QString>{"0", "15", "9"}));
    EXPECT_EQ(link.sent, (std::vector<TSentCommand>{{cmd::EPM_WRITE, {0, 15}}}));
    EXPECT_EQ(log.AttributeOf("EPM_WRITE(15)"), kLogAction);
    EXPECT_EQ(log.AttributeOf("EPM_WRITE: not a bank: '9'"), kLogError);
}

TEST_F(MainWindowTest, UnhandledExceptionsAreLoggedAndShownOnlyWhenChecked) {
    TLogCapture log;
    TKestTrel& w = Make();
    std::vector<QString> boxes;
    App().ShowMessage = [&boxes](const QString& t) { boxes.push_back(t); };
    w.State.LinkState = 2;
    w.UpdateActions();
    link.failNext = true;
    QMetaObject::invokeMethod(w.Action("Reset"), "trigger", Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.AttributeOf("Command no reply"), kLogError);
    EXPECT_TRUE(boxes.empty());
    w.Action("UnhandledException1")->trigger();
    EXPECT_TRUE(w.UnhandledExceptionChecked());
    link.failNext = true;
    QMetaObject::invokeMethod(w.Action("Reset"), "trigger", Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes, std::vector<QString>{"Command no reply"});
}

TEST_F(MainWindowTest, ProfileStorageChangeAsksDuringDataStorage) {
    TKestTrel& w = Make();
    int stops = 0;
    w.StopDataStorage = [&] {
        ++stops;
        w.State.StorageRunState = 0;
    };
    w.State.StorageRunState = 1;
    w.State.LinkState = 2;
    int answer = QDialog::Rejected;
    QString text;
    w.ExecDialog = [&](QDialog& d) {
        text = static_cast<TOkCancelDlg&>(d).Label1->text();
        return answer;
    };
    w.Action("ViewProfLogRun")->trigger();
    EXPECT_EQ(w.State.CurrentPage, kPageMeasure);
    EXPECT_EQ(text, "goto_prof_storage");
    answer = QDialog::Accepted;
    w.Action("ViewProfLogRun")->trigger();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(w.State.CurrentPage, kPageStoProf);
}

TEST_F(MainWindowTest, BankSelectorClickRunsTheBankChange) {
    TKestTrel& w = Make();
    w.State.CurrentBank = 2;
    w.SetBankSelector(2);
    emit w.BankCombo->activated(2);
    emit w.BankCombo->activated(5);
    EXPECT_EQ(workflow.calls.back(), "BankChange(5)");
    EXPECT_EQ(workflow.calls.size(), 2u);
}

TEST_F(MainWindowTest, ResizeBelowTheMinimumIsRaised) {
    TKestTrel& w = Make();
    w.resize(300, 200);
    EXPECT_GE(w.ClientArea->width(), 800);
    EXPECT_GE(w.ClientArea->height(), 480);
    w.resize(1000, 700);
    EXPECT_EQ(w.BankPanel->x() + w.BankPanel->width(), w.ClientArea->width());
}

TEST_F(MainWindowTest, DebugFromShowsTheDebugWindowAndServicePanel) {
    TKestTrel& w = Make();
    w.Action("DebugFrom")->trigger();
    EXPECT_TRUE(w.DebugForm->isVisible());
    EXPECT_TRUE(w.ServicePanel->isVisible());
    EXPECT_TRUE(w.DebugForm->StampTimerActive());
    w.DebugForm->hide();
    EXPECT_FALSE(w.DebugForm->StampTimerActive());
}

TEST_F(MainWindowTest, ShutdownTerminatesTheWorker) {
    Make();
    win.reset();
    EXPECT_EQ(link.terminated, 1);
}

}  // namespace
}  // namespace kd::test

namespace kd::test {
namespace {

TEST(MainWindowWorker, OwnWorkerWithClosedPortLogsTheModeFailure) {
    App();
    TLogCapture log;
    TRecordingWorkflow workflow;
    TKestServices s;
    s.Workflow = &workflow;
    TKestTrel w({"-port", "/nonexistent/tty"}, s);
    ASSERT_NE(w.Thread(), nullptr);
    EXPECT_EQ(w.Thread()->PortName, "/nonexistent/tty");
    w.CreateWindows();
    w.show();
    w.DebugForm->Sync->setChecked(true);
    w.ShowPage(kPageCamera);
    EXPECT_EQ(w.State.CurrentPage, kPageCamera);
    EXPECT_EQ(log.AttributeOf("KEST_SET_SYS_MODE no reply"), kLogError);
    EXPECT_FALSE(w.Worker().TaskRunning());
}

}  // namespace
}  // namespace kd::test
