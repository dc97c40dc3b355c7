// The measurement page connected to the simulated sensor through the real
// serial code: live profiles with their areas, values polled as the main
// window's tick does. Saves what an operator would see when KD_TEST_PNG is set.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <thread>

#include "link/commands.h"
#include "link/kest_thread.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "shell/ui/qt_dispatcher.h"
#include "sim/sim_sensor.h"
#include "tests/support/test_context.h"
#include "ui_test_util.h"

using namespace kd;
using namespace kd::test;

namespace {

int32_t Be32(const std::vector<uint8_t>& r) {
    if (r.size() < 4) return kNoValue;
    return static_cast<int32_t>(static_cast<uint32_t>(r[0]) << 24 |
                                static_cast<uint32_t>(r[1]) << 16 |
                                static_cast<uint32_t>(r[2]) << 8 | r[3]);
}

void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

TEST(MeasureWithSimulatedSensor, LiveProfileAreasAndValues) {
    App();
    kdsim::SimOptions opt;
    opt.frameUs = 500;  // the scene moves 0.5 ms per request: the part stays under the line
    kdsim::SimSensor sim(opt);
    const std::string path = sim.Start();
    TKestThread th(QtDispatcher());
    th.PortName = path;
    ASSERT_NO_THROW(th.Connect());

    // The sensor's parameters, as the connect workflow receives them.
    TThreadWorker worker(th);
    TTestContext t(&worker);
    std::array<uint16_t, kImageWords> words{};
    th.MemRead(words.data(), kSensorWordBase, 0x111, kImageWords);
    for (int i = 0; i < kImageWords; ++i) t.Image.SetWord(i, words[static_cast<size_t>(i)]);
    ProfileShared shared;
    static const char* const kEdges[4][4] = {{"A1.Left", "A1.Top", "A1.Right", "A1.Bottom"},
                                             {"A2.Left", "A2.Top", "A2.Right", "A2.Bottom"},
                                             {"A3.Left", "A3.Top", "A3.Right", "A3.Bottom"},
                                             {"A4.Left", "A4.Top", "A4.Right", "A4.Bottom"}};
    for (int n = 0; n < 4; ++n)
        shared.SetArea(n, t.Ctx.GetBank(kEdges[n][0]), t.Ctx.GetBank(kEdges[n][1]),
                       t.Ctx.GetBank(kEdges[n][2]), t.Ctx.GetBank(kEdges[n][3]));

    TPMeasure page(t.Ctx, shared);
    page.SetScales(0.0141, 0.00705);
    page.RefreshFromImage();
    page.show();
    page.Action("RefRepeat")->trigger();
    ASSERT_TRUE(page.Action("RefRepeat")->isChecked());

    // Rounds of the main window's polling tick and the page's tick, until the
    // part on the belt is under the laser line (its top face 8 mm above the belt).
    auto zRange = [&] {
        int lo = 32767, hi = -32768;
        for (int i = 1; i < page.ProfileFrame()->PointCount; ++i) {
            const int16_t z = shared.ProfileBuffer[static_cast<size_t>(i)].Z;
            if (z == kMissing) continue;
            lo = std::min<int>(lo, z);
            hi = std::max<int>(hi, z);
        }
        return hi - lo;
    };
    for (int round = 0; round < 200 && (round < 5 || zRange() < 6000); ++round) {
        Pump(60);
        for (int i = 0; i < 6; ++i)
            t.Live.Channels[static_cast<size_t>(i)] =
                Be32(th.CommandReply(cmd::GET_MEAS, PayloadB(i)));
        for (int j = 0; j < 4; ++j)
            t.Live.Outputs[static_cast<size_t>(j)] =
                Be32(th.CommandReply(cmd::GET_OUT_VAL, PayloadB(j)));
        t.Live.AnalogCurrent = Be32(th.CommandReply(cmd::GET_ANA_VAL, PayloadB(3)));
        for (int j = 0; j < 4; ++j) {
            std::vector<uint8_t> r = th.CommandReply(cmd::GET_AREA_STAT, PayloadB(j));
            shared.AreaResults[static_cast<size_t>(j)] =
                r.size() >= 2 ? static_cast<int16_t>(r[0] << 8 | r[1]) : kNoResult;
        }
        std::vector<uint8_t> smp = th.CommandReply(cmd::GET_SMP_RATE);
        if (smp.size() >= 2) t.Services.Period = static_cast<uint16_t>(smp[0] << 8 | smp[1]);
        t.State.SensorVersion.Soft = 0x50;
        page.MeasTimerTimer();
    }
    Pump(100);
    EXPECT_GT(page.ProfileFrame()->PointCount, 100);
    EXPECT_GE(zRange(), 6000);
    SavePng(page.grab().toImage(), "measure_sim");

    // The profile is on the plot, and the values are numbers.
    const ProfileColors c;
    QImage plot = page.ProfileFrame()->PlotImage();
    int hits = 0;
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x) hits += Rgb(plot, x, y) == FromRef(c.ProfileLine);
    EXPECT_GT(hits, 100);
    EXPECT_NE(page.DisplLabel(0)->text(), "-.---");

    page.Action("RefRepeat")->trigger();  // stop
    EXPECT_FALSE(page.Action("RefRepeat")->isChecked());
    for (int i = 0; i < 200 && th.Task != kTaskIdle; ++i) Pump(5);
    EXPECT_EQ(th.Task, kTaskIdle);
    th.ForceDisconnect();
}
