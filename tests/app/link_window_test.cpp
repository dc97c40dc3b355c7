// The whole program on a sensor that stops answering or goes away: the window
// keeps handling events, the operator is told once, and the program connects
// again by itself when the port comes back.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/program.h"
#include "app_test_util.h"
#include "common/clock.h"
#include "common/log.h"
#include "measure/ui/measure_views.h"
#include "measure/ui/tp_measure.h"
#include "shell/session/kest_session.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_trel.h"
#include "sim/sim_sensor.h"

using namespace kd;
using apptest::KestApp;
using apptest::Pump;

namespace {

// The program as main() puts it together, on the port at path, with its own
// message boxes. A modal box would hold the test: it is counted and closed.
struct Program : TKestProgram {
    explicit Program(const std::string& path)
        : TKestProgram({}), window(Window), session(Session), views(Measure) {
        window.CreateWindows();
        window.show();
        window.Thread()->PortName = path;
        modalWatch.setInterval(50);
        QObject::connect(&modalWatch, &QTimer::timeout, [this] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                ++ModalBoxes;
                m->close();
            }
        });
        modalWatch.start();
    }
    // The message boxes that stand open (shown without waiting for OK).
    std::vector<TMessageDlg*> Notices() const {
        std::vector<TMessageDlg*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<TMessageDlg*>(w); d && d->isVisible()) out.push_back(d);
        return out;
    }
    TKestTrel& window;
    TKestSession& session;
    TMeasureViews& views;
    QTimer modalWatch;
    int ModalBoxes = 0;
};

}  // namespace

TEST(SilentSensor, TheWindowAnswersWithinAQuarterSecondWhileTheSensorIsStopped) {
    KestApp();
    QTemporaryDir dir;
    const std::string link = dir.filePath("kd").toStdString();
    QProcess sim;
    sim.start(KDSIM_PATH,
              {"--pace", "--latency-us", "100", "--link", QString::fromStdString(link)});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    Program p(link);
    ASSERT_TRUE(p.session.TryConnect()) << p.session.LastConnectError;
    p.window.ShowPage(0x10);
    for (int i = 0; i < 40 && !p.views.Page->Action("RefRepeat")->isEnabled(); ++i) Pump(10);
    p.views.Page->Action("RefRepeat")->trigger();
    Pump(600);
    ASSERT_EQ(p.window.State.LinkState, 2);
    ASSERT_EQ(p.window.Thread()->Task.load(), kTaskProfiles);

    ::kill(static_cast<pid_t>(sim.processId()), SIGSTOP);
    // Events posted from another thread every 20 ms; how long each waited.
    std::atomic<bool> done{false};
    std::vector<int64_t> waits;
    bool sawSilence = false;
    std::thread poster([&] {
        while (!done) {
            const uint64_t posted = TickUs();
            QMetaObject::invokeMethod(
                qApp, [&waits, posted] { waits.push_back(int64_t(TickUs() - posted) / 1000); },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    for (int i = 0; i < 30; ++i) {
        Pump(100);
        sawSilence = sawSilence || p.window.State.LinkState == 1;
    }
    done = true;
    poster.join();
    Pump(50);
    ::kill(static_cast<pid_t>(sim.processId()), SIGCONT);

    ASSERT_GT(waits.size(), 100u);
    EXPECT_LT(*std::max_element(waits.begin(), waits.end()), 250);
    EXPECT_TRUE(sawSilence);
    // Polling resumes once the sensor answers again, the profile's too: the
    // worker dropped it during the silence, the Repeat button is still down.
    for (int i = 0; i < 50 && p.window.State.LinkState != 2; ++i) Pump(100);
    EXPECT_EQ(p.window.State.LinkState, 2);
    Pump(300);
    EXPECT_TRUE(p.views.Page->Action("RefRepeat")->isChecked());
    EXPECT_EQ(p.window.Thread()->Task.load(), kTaskProfiles);
    p.session.Disconnect();
    sim.kill();
    sim.waitForFinished();
}

TEST(LostPort, TheWindowTellsOnceShowsNothingLiveAndReconnectsByItself) {
    KestApp();
    QTemporaryDir dir;
    const std::string link = dir.filePath("kd").toStdString();
    kdsim::SimOptions o;
    o.pace = true;
    o.link = link;
    auto sensor = std::make_unique<kdsim::SimSensor>(o);
    sensor->Start();
    Program p(link);
    ASSERT_TRUE(p.session.TryConnect());
    p.window.ShowPage(0x10);
    Pump(400);
    EXPECT_NE(p.views.Page->DisplLabel(0)->text(), "-.---");

    sensor->Stop();  // the adapter is pulled
    Pump(400);
    EXPECT_EQ(p.window.State.LinkState, 0);
    auto notices = p.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0]->Label1->text().toStdString(), "Connection lost: " + link);
    EXPECT_FALSE(p.window.DisConnectButton->isVisible());
    EXPECT_TRUE(p.window.ConnectButton->isVisible());
    EXPECT_EQ(p.views.Page->DisplLabel(0)->text(), "-.---");

    // Plugged in again while the operator has not yet read the message.
    kdsim::SimSensor back(o);
    back.Start();
    for (int i = 0; i < 30 && p.window.State.LinkState != 2; ++i) Pump(100);
    EXPECT_EQ(p.window.State.LinkState, 2);
    EXPECT_TRUE(p.window.DisConnectButton->isVisible());
    notices = p.Notices();
    ASSERT_EQ(notices.size(), 1u);  // nothing unsaved: no backup to mention
    notices[0]->OKButton->click();
    Pump(50);
    EXPECT_TRUE(p.Notices().empty());
    EXPECT_EQ(p.ModalBoxes, 0);
    p.session.Disconnect();
    back.Stop();
}
