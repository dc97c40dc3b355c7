// The camera picture. Transfer: the adaptive live picture of a dark scene
// (laser off) against a full picture of the same window, side by side on the
// simulated sensor paced at 2 Mbit/s (goal: at most 0.1 of the full time).
// Drawing: the camera page's picture with grid and stripe into a viewport at
// zoom 1 and 2 (goal: at most 4 ms). Reports only; never fails.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench_util.h"
#include "common/clock.h"
#include "link/commands.h"
#include "pages/ui/tp_camera.h"
#include "sim/sim_sensor.h"
#include "tests/support/test_context.h"

using namespace kd;
using kdbench::MedianMs;

namespace {

// One task to its end; milliseconds.
double RunTask(TKestThread& th, const std::function<void(TKestThread::Callback)>& request) {
    const uint64_t a = TickUs();
    bool done = false;
    request([&] {
        done = true;
        th.AbortRequested = true;  // one picture, as the page takes it
    });
    while (th.Task != kTaskIdle) SleepMs(1);
    const double ms = (TickUs() - a) / 1000.0;
    if (!done) std::printf("  task failed: %s\n", th.LastError.c_str());
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // ---- transfer
    kdsim::SimOptions o;
    o.pace = true;
    o.baud = 2000000;
    o.latencyUs = 100;
    kdsim::SimSensor sim(o);
    TKestThread th;
    th.PortName = sim.Start();
    th.Connect();
    th.SetBaud(2000000);
    th.Command(cmd::SET_LASER, PayloadB(0));  // a dark scene
    const CamRect r = th.GetCamRect();
    const int h = r.width, w = r.height;  // the picture is turned a quarter
    std::printf("camera window %d x %d (sensor pixels), wide transfers %s\n", r.width, r.height,
                th.WideTransfers ? "on" : "off");
    for (bool wide : {false, true}) {
        th.WideTransfers = wide;
        std::vector<double> full, live;
        for (int i = 0; i < 3; ++i) {
            full.push_back(RunTask(th, [&](auto done) { th.RequestImage(h, w, done); }));
            live.push_back(RunTask(th, [&](auto done) { th.RequestLiveView(h, w, done, {}); }));
        }
        std::sort(full.begin(), full.end());
        std::sort(live.begin(), live.end());
        std::printf(
            "%-10s full picture %8.1f ms, adaptive live picture %7.1f ms, ratio %.3f "
            "(goal <= 0.1)\n",
            wide ? "wide" : "normal", full[1], live[1], live[1] / full[1]);
    }
    th.ForceDisconnect();
    sim.Stop();

    // ---- drawing
    test::TTestContext t;
    TPCamera page(t.Ctx);
    page.resize(680, 390);
    page.ImageWindow = {0, 0, 800, 800};
    TBitmap pic;
    pic.width = pic.height = 800;
    pic.pixels.resize(800 * 800);
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 800; ++x)
            pic.pixels[static_cast<size_t>(y * 800 + x)] =
                static_cast<uint8_t>(std::abs(y - 400 - x / 8) < 4 ? 220 : (x ^ y) & 31);
    page.SetViewPicture(std::move(pic));
    for (int i = 0; i < 400; ++i) page.Line.push_back({i * 2.0, 400 + i / 8.0});
    page.SectionColumn = 400;
    const QSize viewport(400, 350);
    QImage target(viewport, QImage::Format_RGB32);
    for (double zoom : {1.0, 2.0}) {
        page.SetScaleX(zoom);
        page.SetScaleY(zoom);
        const QRect clip(QPoint(static_cast<int>(200 * zoom), static_cast<int>(200 * zoom)),
                         viewport);
        const double ms = MedianMs(30, [&] {
            QPainter p(&target);
            p.translate(-clip.topLeft());
            page.PaintPicture(p, clip);
        });
        std::printf("camera picture redraw, zoom %.0f, %dx%d viewport %8.3f ms (goal <= 4 ms)\n",
                    zoom, viewport.width(), viewport.height(), ms);
    }
    return 0;
}
