// The whole program on a sensor that stops answering or goes away: the window
// keeps handling events, the operator is told once, and the program connects
// again by itself when the port comes back.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
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
#include "shell/ui/kest_trel.h"
#include "sim/sim_sensor.h"

using namespace kd;
using apptest::KestApp;
using apptest::Pump;

namespace {

// The program as main() puts it together, on the port at path.
struct Program : TKestProgram {
    explicit Program(const std::string& path)
        : TKestProgram({}), window(Window), session(Session), views(Measure) {
        Host.ShowMessage = [this](const std::string&, const std::string& text) {
            Messages.push_back(text);
        };
        window.CreateWindows();
        window.show();
        window.Thread()->PortName = path;
    }
    TKestTrel& window;
    TKestSession& session;
    TMeasureViews& views;
    std::vector<std::string> Messages;
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
    p.views.Page->Action("RefRepeat")->trigger();
    Pump(600);
    ASSERT_EQ(p.window.State.LinkState, 2);

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
    // Polling resumes once the sensor answers again.
    for (int i = 0; i < 50 && p.window.State.LinkState != 2; ++i) Pump(100);
    EXPECT_EQ(p.window.State.LinkState, 2);
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
    ASSERT_EQ(p.Messages.size(), 1u);
    EXPECT_EQ(p.Messages[0], "Connection lost: " + link);
    EXPECT_FALSE(p.window.DisConnectButton->isVisible());
    EXPECT_TRUE(p.window.ConnectButton->isVisible());
    EXPECT_EQ(p.views.Page->DisplLabel(0)->text(), "-.---");

    kdsim::SimSensor back(o);  // and plugged in again
    back.Start();
    for (int i = 0; i < 30 && p.window.State.LinkState != 2; ++i) Pump(100);
    EXPECT_EQ(p.window.State.LinkState, 2);
    EXPECT_TRUE(p.window.DisConnectButton->isVisible());
    EXPECT_EQ(p.Messages.size(), 1u);  // nothing unsaved: no backup to mention
    p.session.Disconnect();
    back.Stop();
}
