// The desktop program's wiring of the session: the main window's actions
// run the workflows on the built-in simulated sensor (port SIM), the polling
// timer fills the live values and lamps, the bank selector and the debug
// window's switches take part, and the dialogs answer through the host.
#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/session_wiring.h"
#include "common/clock.h"
#include "common/log.h"
#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/qt_config_store.h"

namespace {

kd::TKestApplication& App() {
    static int argc = 1;
    static char name[] = "session_ui_test";
    static char* argv[] = {name, nullptr};
    static kd::TKestApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new kd::TKestApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until done() or the time is up.
template <typename Fn>
bool Pump(Fn done, int ms = 3000) {
    const uint32_t end = kd::TickMs() + static_cast<uint32_t>(ms);
    while (!done()) {
        if (static_cast<int32_t>(kd::TickMs() - end) > 0) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class SessionUi : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<kd::TQtConfigStore>(dir.filePath("settings.ini"));
        kd::TKestServices s;
        s.Workflow = &workflow;
        s.Store = store.get();
        s.ProgramPath = dir.filePath("kdtrelva").toStdString();
        win = std::make_unique<kd::TKestTrel>(std::vector<std::string>{"-port", "SIM"}, s);
        host = std::make_unique<kd::TTrelSessionHost>(*win);
        host->ShowMessage = [this](const std::string& c, const std::string& t) {
            messages.push_back(c + "|" + t);
        };
        session = std::make_unique<kd::TKestSession>(kd::TSessionParts{
            *win->Thread(), win->Image(), win->Masters, win->State, win->Live, *host});
        session->PortResolver = [this](const std::string& n) { return simPort.Resolve(n); };
        session->BackupDir = dir.filePath("backup").toStdString();
        session->SysUpdateDelayMs = 0;
        workflow.Target = session.get();
        win->ExecDialog = [this](QDialog&) { return answer; };
        win->CreateWindows();
        win->show();
    }
    void TearDown() override {
        session.reset();
        host.reset();
        win.reset();
    }

    QTemporaryDir dir;
    std::unique_ptr<kd::TQtConfigStore> store;
    kd::TSimPort simPort;
    kd::TDeferredWorkflow workflow;
    std::unique_ptr<kd::TKestTrel> win;
    std::unique_ptr<kd::TTrelSessionHost> host;
    std::unique_ptr<kd::TKestSession> session;
    std::vector<std::string> messages;
    int answer = QDialog::Accepted;
};

TEST_F(SessionUi, ConnectActionReachesTheSimulatedSensorAndThePollingTimerRuns) {
    EXPECT_FALSE(win->PollingActive());
    win->Action("CommConnect")->trigger();
    ASSERT_EQ(win->State.LinkState, 2) << session->LastConnectError;
    EXPECT_EQ(win->Worker().PortName(), "SIM");  // the operator's choice is kept
    EXPECT_TRUE(win->PollingActive());
    EXPECT_TRUE(win->DebugForm->Sync->isChecked());
    EXPECT_FALSE(win->ConnectButton->isVisible());
    EXPECT_TRUE(win->DisConnectButton->isVisible());
    EXPECT_TRUE(win->Action("CommSendAll")->isEnabled());
    EXPECT_FALSE(win->Action("CommConnect")->isEnabled());
    EXPECT_EQ(win->TargetLabel->text().toStdString(), "target ver53:6D:50(fpga:bios:soft)");

    // The 1 ms timer polls: live values arrive and the status word is shown.
    ASSERT_TRUE(Pump([&] { return win->Live.Channels[0] != kd::kNoValue32; }));
    ASSERT_TRUE(Pump([&] { return !win->DebugForm->Edit1->text().isEmpty(); }));
    EXPECT_EQ(win->DebugForm->Edit1->text().size(), 4);

    // Displ off: polling stops and the values stay.
    win->DebugForm->Displ->setChecked(false);
    QApplication::processEvents();
    win->Live.Channels[0] = 42;
    Pump([] { return false; }, 30);
    EXPECT_EQ(win->Live.Channels[0], 42);
    win->DebugForm->Displ->setChecked(true);
    EXPECT_TRUE(Pump([&] { return win->Live.Channels[0] != 42; }));

    win->Action("CommDisConnect")->trigger();
    EXPECT_EQ(win->State.LinkState, 0);
    EXPECT_FALSE(win->PollingActive());
    EXPECT_FALSE(win->DebugForm->Sync->isChecked());
    EXPECT_TRUE(win->ConnectButton->isVisible());
    EXPECT_FALSE(win->SendButton->isVisible());
    EXPECT_EQ(win->Live.Channels[0], kd::kNoValue32);
}

TEST_F(SessionUi, WriteParamAsksAndReportsCompletion) {
    win->Action("CommConnect")->trigger();
    ASSERT_EQ(win->State.LinkState, 2);
    answer = QDialog::Rejected;
    win->Action("CommSendAll")->trigger();
    EXPECT_TRUE(messages.empty());
    answer = QDialog::Accepted;
    win->Action("CommSendAll")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Send Para.|Completed.");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone again
}

TEST_F(SessionUi, BankSelectorChangesTheSensorsBank) {
    win->Action("CommConnect")->trigger();
    ASSERT_EQ(win->State.LinkState, 2);
    win->Image().SetSys(kd::pk::BankSwitch, 1);
    win->BankCombo->setCurrentIndex(4);
    emit win->BankCombo->activated(4);
    EXPECT_EQ(win->State.CurrentBank, 4);
    // The sensor took the bank: the polling ticks keep the selector on it.
    Pump([] { return false; }, 30);
    EXPECT_EQ(win->BankCombo->currentIndex(), 4);
    EXPECT_EQ(win->State.CurrentBank, 4);
}

TEST_F(SessionUi, FailedConnectionShowsTheSetupPageAndTheMessage) {
    win->Worker().SetPortName(dir.filePath("none").toStdString());
    win->Action("CommConnect")->trigger();
    EXPECT_EQ(win->State.LinkState, 0);
    EXPECT_EQ(win->State.CurrentPage, kd::kPageCommon);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("KD"), std::string::npos) << messages[0];
}

}  // namespace
