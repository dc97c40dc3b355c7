// The program ends at once whatever task the worker runs and however it is
// ended, also when the worker waits for the event loop that has just stopped.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <memory>
#include <thread>

#include "app/program.h"
#include "app_test_util.h"
#include "common/kest_error.h"
#include "shell/ui/kest_trel.h"
#include "sim/sim_sensor.h"

using namespace kd;
using apptest::KestApp;
using apptest::Pump;

namespace {

enum class Ending { CloseWindow, FileExit, LoopExit, StartUpException };
const char* const kEndings[] = {"window closed", "File > Exit", "event loop ended",
                                "exception at start-up"};
const char* const kTasks[] = {"profiles", "live view", "image", "image pair"};

void StartTask(TKestThread& w, int task) {
    auto none = [] {};
    switch (task) {
        case 0:
            w.RequestProfiles(none);
            break;
        case 1:
            w.RequestLiveView(480, 800, none, none);
            break;
        case 2:
            w.RequestImage(480, 800, none);
            break;
        default:
            w.RequestImagePair(480, 800, none);
            break;
    }
}

// Workflows that do nothing: the test drives the worker itself.
class TIdleWorkflow : public TShellWorkflow {
  public:
    void Connect() override {}
    void Disconnect() override {}
    void ReceiveAll() override {}
    void SendAll() override {}
    void SendBank() override {}
    void WriteToEeprom(int) override {}
    void BankChange(int) override {}
    void FileNew() override {}
    void FileOpen(const std::string&) override {}
    void FileSaveAs(const std::string&) override {}
    void RefreshAll() override {}
    void PollTick() override {}
};

}  // namespace

TEST(Shutdown, EveryTaskEveryEnding) {
    TKestApplication& app = KestApp();
    QTemporaryDir home;  // the program's own start-up reads and may keep its settings
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    kdsim::SimOptions opt;
    opt.pace = true;  // transfers take wire time, so a task is always mid-way
    kdsim::SimSensor sim(opt);
    const std::string path = sim.Start();
    for (int task = 0; task < 4; ++task) {
        for (Ending ending :
             {Ending::CloseWindow, Ending::FileExit, Ending::LoopExit, Ending::StartUpException}) {
            SCOPED_TRACE(std::string(kTasks[task]) + ", " + kEndings[static_cast<int>(ending)]);
            if (ending == Ending::StartUpException) {
                // The program's own start-up, failing once the window is up
                // and the worker is in the middle of its task.
                std::chrono::steady_clock::time_point thrown;
                const int rc = RunDesktopProgram(app, {}, [&](TKestProgram& p) {
                    TKestThread& worker = *p.Window.Thread();
                    worker.PortName = path;
                    worker.Connect();
                    StartTask(worker, task);
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    thrown = std::chrono::steady_clock::now();
                    throw EKestError("start-up failed");
                });
                EXPECT_EQ(rc, 1);
                EXPECT_LT(std::chrono::steady_clock::now() - thrown, std::chrono::seconds(1));
                continue;
            }
            TIdleWorkflow workflow;
            TKestServices services;
            services.Workflow = &workflow;
            auto window = std::make_unique<TKestTrel>(std::vector<std::string>{}, services);
            window->CreateWindows();
            window->show();
            TKestThread& worker = *window->Thread();
            worker.PortName = path;
            worker.Connect();
            StartTask(worker, task);
            QTimer guard;  // a loop that does not end fails the test instead of hanging it
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(3); });
            guard.start(5000);
            int loop = 0;
            switch (ending) {
                case Ending::CloseWindow:
                    QTimer::singleShot(100, window.get(), [&] { window->close(); });
                    loop = app.exec();
                    break;
                case Ending::FileExit:
                    QTimer::singleShot(100, window.get(),
                                       [&] { window->Action("FileExit1")->trigger(); });
                    loop = app.exec();
                    break;
                case Ending::LoopExit:
                    QTimer::singleShot(100, window.get(), [] { QCoreApplication::exit(0); });
                    loop = app.exec();
                    break;
                case Ending::StartUpException:
                    break;
            }
            EXPECT_EQ(loop, 0);
            // The worker now waits for a hand-over that the stopped loop will not run.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto t0 = std::chrono::steady_clock::now();
            window.reset();
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - t0)
                                .count();
            EXPECT_LT(ms, 1000);
        }
    }
}

TEST(Shutdown, ASignalKeepsUnwrittenChangesAndEndsTheLoop) {
    TKestApplication& app = KestApp();
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    for (const bool modified : {true, false}) {
        QTemporaryDir backups;
        const int rc = RunDesktopProgram(app, {}, [&](TKestProgram& p) {
            p.Session.BackupDir = backups.path().toStdString();
            QTimer::singleShot(100, [&p, modified] {
                p.Window.Image().SensorModified = modified;  // the operator changed a setting
                raise(SIGTERM);
            });
        });
        EXPECT_EQ(rc, 128 + SIGTERM) << modified;
        EXPECT_EQ(QDir(backups.path()).entryList(QDir::Files).size(), modified ? 1 : 0);
    }
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);  // the program's handler is gone with it
    EXPECT_EQ(alarm(0), 0u);             // and so is its fallback
}
