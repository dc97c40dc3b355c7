// What the program costs while it only watches: connected to the built-in
// simulated sensor, polling, the measurement page shown, and once more with
// the page's repeated profile. Reports the CPU of the whole process (program
// and sensor) per second and per transaction, and of each thread, for the
// demo as it ships (paced at 2 Mbit/s with a 100 µs reply latency, behind a
// USB adapter's 1 ms frames) and side by side for the same line without the
// adapter's frames, an unpaced sensor, and the program connected to nothing.
// Usage: bench_idle [SECONDS]   Reports only; never fails.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/program.h"
#include "common/log.h"
#include "measure/ui/measure_views.h"
#include "measure/ui/tp_measure.h"
#include "shell/session/kest_session.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"

using namespace kd;

namespace {

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU ticks (user + system) of every thread of this process, by name.
std::map<std::string, long> ThreadTicks() {
    std::map<std::string, long> out;
    DIR* d = opendir("/proc/self/task");
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        std::string name, stat;
        std::getline(std::ifstream(base + "/comm"), name);
        std::getline(std::ifstream(base + "/stat"), stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream in(stat.substr(close + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && in >> field; ++i) {
            if (i == 14) utime = std::atol(field.c_str());
            if (i == 15) stime = std::atol(field.c_str());
        }
        out[name] += utime + stime;
    }
    closedir(d);
    return out;
}

double ProcessCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

enum class Watch { Disconnected, Polling, WithProfile };

void Run(const char* label, const char* simArgs, int seconds, Watch watch) {
    setenv("KDSIM_ARGS", simArgs, 1);
    TKestProgram program({});
    TKestTrel& window = program.Window;
    TKestSession& session = program.Session;
    TMeasureViews& views = program.Measure;
    program.Host.ShowMessage = [](const std::string&, const std::string& text) {
        std::fprintf(stderr, "bench_idle: %s\n", text.c_str());
    };
    window.Thread()->PortName = "SIM";
    window.CreateWindows();
    window.show();
    std::atomic<uint64_t> requests{0};
    window.Thread()->SetTrace([&](const FrameTraceEvent& e) {
        if (e.sent) ++requests;
    });
    if (watch != Watch::Disconnected && !session.TryConnect()) {
        std::fprintf(stderr, "bench_idle: %s\n", session.LastConnectError.c_str());
        return;
    }
    window.ShowPage(0x10);
    QAction* repeat = views.Page->Action("RefRepeat");
    if (watch == Watch::WithProfile) {
        // The page enables its buttons on its own timer.
        for (int i = 0; i < 100 && !repeat->isEnabled(); ++i) Pump(10);
        repeat->trigger();
    }
    Pump(2000);  // settle
    const auto t0 = ThreadTicks();
    const double cpu0 = ProcessCpu();
    const uint64_t r0 = requests;
    Pump(seconds * 1000);
    const double cpu = ProcessCpu() - cpu0;
    const uint64_t n = requests - r0;
    const auto t1 = ThreadTicks();
    const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf(
        "%-14s process %5.1f %% of a core, %7.0f transactions/s, %5.1f us CPU per transaction;",
        label, 100.0 * cpu / seconds, static_cast<double>(n) / seconds,
        n ? cpu * 1e6 / static_cast<double>(n) : 0.0);
    for (const auto& [name, ticks] : t1) {
        const long was = t0.count(name) ? t0.at(name) : 0;
        const double pct = 100.0 * static_cast<double>(ticks - was) / hz / seconds;
        if (pct >= 0.5) std::printf(" %s %.1f %%", name.c_str(), pct);
    }
    std::printf("\n");
    if (repeat->isChecked()) repeat->trigger();
    if (watch != Watch::Disconnected) session.Disconnect();
    Pump(100);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    char name[] = "bench_idle";
    char* qargv[] = {name, nullptr};
    TKestApplication app(qargc, qargv);
    ScopedLogSink quiet([](int, const std::string&) {});
    Run("paced", "", seconds, Watch::Polling);
    Run("paced, no USB", "--usb-frame-us 0", seconds, Watch::Polling);
    Run("unpaced", "--no-pace", seconds, Watch::Polling);
    Run("paced+profile", "", seconds, Watch::WithProfile);
    Run("disconnected", "", seconds, Watch::Disconnected);
    return 0;
}
