// The settings pages' live work. Area page: live profiles polled from the
// simulated sensor paced at 2 Mbit/s for a few seconds, each with its
// correction query, as profiles per second and as the wire time that one
// profile's frames take (from the sensor's frame trace) against the time
// between two profiles (1.0: the link never idles). Operation page: the
// chart redrawn with all six channels and 3000 samples at the page's own
// chart size (goal: at most 4 ms). Reports only; never fails.
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "bench_util.h"
#include "common/clock.h"
#include "measure/chart_data.h"
#include "measure/ui/chart_frame.h"
#include "measure/ui/profile_frame.h"
#include "pages/ui/tp_area.h"
#include "pages/ui/tp_operation.h"
#include "shell/ui/qt_dispatcher.h"
#include "sim/sim_sensor.h"
#include "tests/support/test_context.h"

using namespace kd;
using kdbench::MedianMs;

namespace {

// The worker of the program, counting the profiles it hands to the page.
class TCountingWorker : public TThreadWorker {
  public:
    using TThreadWorker::TThreadWorker;
    void RequestProfiles(std::function<void()> onDone) override {
        TThreadWorker::RequestProfiles([this, onDone] {
            ++Profiles;
            onDone();
        });
    }
    int Profiles = 0;
};

// Bytes of every frame in and out in the sensor's trace.
size_t TraceBytes(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    size_t bytes = 0;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string time, dir, hex;
        ls >> time >> dir;
        if (dir != "IN" && dir != "OUT") continue;
        while (ls >> hex) ++bytes;
    }
    return bytes;
}

void RunFor(int ms) {
    const uint64_t until = TickMs() + static_cast<uint64_t>(ms);
    while (TickMs() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // ---- area page: live profiles
    const std::string trace = "/tmp/bench_pages_trace_" + std::to_string(::getpid()) + ".txt";
    for (bool wide : {false, true}) {
        std::remove(trace.c_str());
        kdsim::SimOptions o;
        o.pace = true;
        o.baud = 2000000;
        o.latencyUs = 100;
        o.trace = trace;
        kdsim::SimSensor sim(o);
        TKestThread th(QtDispatcher());
        th.PortName = sim.Start();
        th.Connect();
        th.SetBaud(2000000);
        th.WideTransfers = wide;
        TCountingWorker worker(th);
        test::TTestContext t(&worker);
        t.State.CurrentPage = kPageArea;
        ProfileShared shared;
        TPArea page(t.Ctx, shared);
        page.show();
        const size_t before = TraceBytes(trace);
        const uint64_t a = TickUs();
        page.RecvProfExecute();
        RunFor(3000);
        page.StopRepeat();
        const double s = (TickUs() - a) / 1e6;
        while (th.Task != kTaskIdle) RunFor(5);
        const int n = worker.Profiles;
        const double wireMs = (TraceBytes(trace) - before) * 10.0 / 2000000 * 1000 / std::max(n, 1);
        const double periodMs = s * 1000 / std::max(n, 1);
        std::printf(
            "area live profiles, %-6s %4d points: %6.1f profiles/s, %6.2f ms apart, "
            "wire %5.2f ms each, wire/period %.2f\n",
            wide ? "wide" : "normal", page.Frame()->PointCount, n / s, periodMs, wireMs,
            wireMs / periodMs);
        th.ForceDisconnect();
        sim.Stop();
    }
    std::remove(trace.c_str());

    // ---- operation page: the chart with all six channels
    TChartData data;
    const double now = NowDays();
    kdbench::FillChart(data, now);
    test::TTestContext t;
    TPOperation page(t.Ctx, &data);
    TChartFrame* chart = page.Chart();
    chart->ChMask = 0x3F;
    chart->Now = [now] { return now; };
    QImage img(chart->width() - 4, chart->height() - 4, QImage::Format_RGB32);
    std::printf(
        "operation chart redraw, 3000 samples x 6 channels, %dx%d: %.3f ms (goal <= 4 ms)\n",
        img.width(), img.height(), MedianMs(200, [&] { chart->DrawChart(img); }));
    return 0;
}
