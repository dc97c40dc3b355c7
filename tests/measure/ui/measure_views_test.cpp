// The measurement views inside the real main window: page registration, the
// session's hooks, and the whole program connected to the simulated sensor.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <chrono>
#include <thread>

#include "app/program.h"
#include "common/log.h"
#include "measure/ui/measure_views.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "shell/session/kest_session.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"
#include "tests/app/app_test_util.h"
#include "ui_test_util.h"

using namespace kd;

namespace {

// One application object for every test of this program.
TKestApplication& KestApp() {
    qputenv("LC_ALL", "en_US.UTF-8");
    return apptest::KestApp();
}

void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The session host's measurement hooks, as TTrelSessionHost carries them.
struct HookSlots {
    std::function<void()> StartMeasureRepeatHook, StopRepeatsHook, RefreshMeasurePlotHook;
    std::function<void(int, bool)> ZeroToggleHook;
    std::function<void(bool)> HoldIndicatorHook, LaserIndicatorHook, ChartAdvanceHook;
    std::function<void(int, int32_t)> ChartValueHook;
};

}  // namespace

TEST(MeasureViews, PageRegisteredAndHooksConnected) {
    KestApp();
    TKestServices services;
    TDeferredWorkflow workflow;
    services.Workflow = &workflow;
    TKestTrel window({}, services);
    TMeasureViews views(window);
    window.CreateWindows();
    ASSERT_NE(views.Page, nullptr);
    ASSERT_NE(window.Page(0x10), nullptr);
    EXPECT_EQ(window.Page(0x10)->Window, views.Page);
    window.show();
    window.ShowPage(0x10);
    EXPECT_TRUE(views.Page->isVisible());
    window.Image().SetBank(window.Image().GetSys(pk::Bank), pk::AreaLeft(2), -3000);
    window.Page(0x10)->ShowParams();
    EXPECT_FALSE(views.Page->findChild<QLabel*>("Source1Label")->text().isEmpty());
    EXPECT_EQ(views.Shared.AreaRects[1].Left, -3000);
    EXPECT_EQ(views.Shared.AreaOrder.size(), 4u);

    HookSlots hooks;
    views.ConnectSession(hooks);
    hooks.ZeroToggleHook(1, true);
    EXPECT_TRUE(views.Page->Action("ZeroSetToggle2")->isChecked());
    hooks.ChartValueHook(0, 1234);
    hooks.ChartValueHook(9, 1);  // no such channel: ignored
    hooks.ChartAdvanceHook(false);
    EXPECT_EQ(views.Chart.Head(), 1);
    EXPECT_EQ(views.Chart.Value(0, 0), 1234);
    hooks.HoldIndicatorHook(true);
    EXPECT_TRUE(views.Page->findChild<QLabel*>("HoldInd")->styleSheet().contains("#ffff00"));

    // The rendering tick reads the window's live values and area results.
    window.State.LinkState = 2;
    window.State.CurrentPage = 0x10;
    window.Live.Outputs[0] = 2500;
    window.Live.AreaResults[2] = 1500;
    views.Page->MeasTimerTimer();
    EXPECT_EQ(views.Page->DisplLabel(0)->text(), "2.500");
    EXPECT_EQ(views.Shared.AreaResults[2], 1500);
    window.State.LinkState = 0;
}

TEST(MeasureViews, ProgramOnTheSimulatedSensor) {
    KestApp();
    qputenv("KDSIM_ARGS", "--frame-us 5000");
    TKestProgram program({});
    TKestTrel& window = program.Window;
    TKestSession& session = program.Session;
    TMeasureViews& views = program.Measure;
    program.Host.ShowMessage = [](const std::string&, const std::string& text) {
        WriteLog(kLogError, "message: %s", text.c_str());
    };
    window.Thread()->PortName = "SIM";
    window.CreateWindows();
    window.show();
    ASSERT_TRUE(session.TryConnect());
    window.ShowPage(0x10);
    // The repeat starts after a connection only when its button was down: the
    // operator presses it once the page has enabled it.
    EXPECT_EQ(window.Thread()->Task, kTaskIdle);
    for (int i = 0; i < 40 && !views.Page->Action("RefRepeat")->isEnabled(); ++i) Pump(10);
    views.Page->Action("RefRepeat")->trigger();
    ASSERT_TRUE(views.Page->Action("RefRepeat")->isChecked());
    auto zRange = [&] {
        int lo = 32767, hi = -32768;
        for (int i = 1; i < views.Page->ProfileFrame()->PointCount; ++i) {
            const int16_t z = views.Shared.ProfileBuffer[static_cast<size_t>(i)].Z;
            if (z == kMissing) continue;
            lo = std::min<int>(lo, z);
            hi = std::max<int>(hi, z);
        }
        return hi - lo;
    };
    for (int i = 0; i < 100 && (i < 10 || zRange() < 6000); ++i) Pump(50);
    Pump(250);
    test::SavePng(window.grab().toImage(), "program_measure");
    EXPECT_GT(views.Page->ProfileFrame()->PointCount, 100);
    EXPECT_NE(views.Page->DisplLabel(0)->text(), "-.---");
    EXPECT_NE(views.Page->SampleEdit()->text(), "");
    EXPECT_GT(views.Chart.Head(), 0);
    session.Disconnect();
    Pump(50);
}
