// Offscreen drawing cost of the profile frame, the chart frame and the
// measurement page's rendering tick, each as a fraction of a 16.7 ms frame.
// Reports only; never fails.
#include <QApplication>
#include <cmath>
#include <cstdio>

#include "bench_util.h"
#include "common/clock.h"
#include "measure/chart_data.h"
#include "measure/measure_page_logic.h"
#include "measure/ui/chart_frame.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "tests/support/test_context.h"

using namespace kd;
using kdbench::MedianMs;

namespace {

constexpr double kFrameMs = 16.7;

void Report(const char* what, double ms) {
    std::printf("%-58s %8.3f ms  %6.3f frame\n", what, ms, ms / kFrameMs);
}

// The keys the plot and the page read: areas with correction, A4 a tilt,
// every output with limits of +-5 mm.
void FillKeys(test::TTestContext& t) {
    for (int n = 1; n <= 4; ++n) {
        t.Set("A" + std::to_string(n) + ".Cmp", 1);
        t.Set("A" + std::to_string(n) + ".Func", n == 4 ? 8 : 0);
    }
    for (const char* k : {"O1.ULimit", "O2.ULimit", "O3.ULimit", "Ana.ULimit"}) t.Set(k, 5000);
    for (const char* k : {"O1.LLimit", "O2.LLimit", "O3.LLimit", "Ana.LLimit"}) t.Set(k, -5000);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Profile frame: 2048 points, four areas with results, at two zooms.
    ProfileShared shared;
    for (int i = 0; i < kProfileBufferPoints; ++i) {
        const int x = -14000 + i * 28000 / kProfileBufferPoints;
        const int z = static_cast<int>(5000 * std::sin(i * 0.01) + 300 * std::sin(i * 0.9));
        shared.ProfileBuffer[static_cast<size_t>(i)] = {
            static_cast<int16_t>(x), static_cast<int16_t>(i % 97 == 0 ? kMissing : z)};
    }
    for (int n = 0; n < 4; ++n) shared.SetArea(n, -12000 + n * 6000, -6000, -8000 + n * 6000, 6000);
    shared.AreaResults = {1000, 0, -2000, 640};
    test::TTestContext t;
    FillKeys(t);
    TContextKeys keys(t.Ctx);
    TProfileFrame frame(shared, &t.Ctx);
    frame.resize(440, 370);
    frame.ShowAreas = frame.ShowAreaLabels = frame.ShowShiftedAreas = true;
    frame.PointCount = kProfileBufferPoints;
    frame.OffsetX = 300;
    frame.show();
    QImage target(1400, 1300, QImage::Format_RGB32);

    std::printf("measurement views, offscreen, median of 200 runs (frame = %.1f ms)\n", kFrameMs);
    struct Zoom {
        double x, y;
        const char* name;
    };
    const Zoom zooms[2] = {{0.0141, 0.00705, "profile frame redraw, 2048 points, 4 areas, 423x408"},
                           {0.04, 0.02, "profile frame redraw, 2048 points, 4 areas, 1200x1160"}};
    for (const Zoom& z : zooms) {
        frame.SetScaleX(z.x);
        frame.SetScaleY(z.y);
        Report(z.name, MedianMs(200, [&] {
                   frame.Redraw();
                   frame.PlotWidget()->render(&target);
               }));
    }
    frame.SetScaleX(0.0141);
    frame.SetScaleY(0.00705);
    Report("profile frame paint without change (image copy + overlay)",
           MedianMs(200, [&] { frame.PlotWidget()->render(&target); }));

    // Chart: 3000 samples in six channels.
    TChartData data;
    const double now = NowDays();
    kdbench::FillChart(data, now);
    TChartFrame chart;
    chart.Data = &data;
    chart.ChMask = 0x3F;
    chart.Now = [now] { return now; };
    // At a display scaling of 2 the same chart covers four times the pixels.
    for (auto [size, dpr] : {std::pair{QSize(320, 240), 1}, std::pair{QSize(760, 300), 1},
                             std::pair{QSize(760, 300), 2}}) {
        chart.resize(size);
        QImage img((size.width() - 4) * dpr, (size.height() - 4) * dpr, QImage::Format_RGB32);
        img.setDevicePixelRatio(dpr);
        char name[96];
        std::snprintf(name, sizeof name, "chart redraw, 3000 samples x 6 channels, %dx%d, scale %d",
                      size.width() - 4, size.height() - 4, dpr);
        Report(name, MedianMs(200, [&] { chart.DrawChart(img); }));
        chart.ChMask = 0;
        std::snprintf(name, sizeof name, "  of which grids and labels, %dx%d, scale %d",
                      size.width() - 4, size.height() - 4, dpr);
        Report(name, MedianMs(200, [&] { chart.DrawChart(img); }));
        chart.ChMask = 0x3F;
    }

    // The measurement page's rendering tick (values, colours, gauges).
    MeasureLive live;
    live.Output = {1234, -99999, kNoValue, 777};
    live.SoftVersion = 70;
    t.Live.Outputs = live.Output;
    t.State.SensorVersion.Soft = 70;
    const std::array<std::string, 4> units = {"mm", "mm", "um", "mm"};
    const std::array<GaugeGeometry, 3> gauges{};
    volatile size_t sink = 0;
    Report("rendering tick computation (RenderMeasure)", MedianMs(2000, [&] {
               MeasureView v = RenderMeasure(live, keys, units, 3, gauges);
               sink = sink + v.Outputs[0].Text.size();
           }));

    // The whole tick of the page: values, colours, gauges and the repaint of
    // the page that follows it.
    ProfileShared pageShared;
    TPMeasure page(t.Ctx, pageShared);
    page.show();
    QImage pageImage(800, 500, QImage::Format_RGB32);
    int step = 0;
    Report("measurement page tick (MeasTimerTimer)", MedianMs(500, [&] {
               t.Live.Outputs[0] = 1000 + (++step % 50) * 100;
               page.MeasTimerTimer();
           }));
    Report("measurement page tick + repaint of the page", MedianMs(200, [&] {
               t.Live.Outputs[0] = 1000 + (++step % 50) * 100;
               page.MeasTimerTimer();
               page.render(&pageImage);
           }));
    return 0;
}
