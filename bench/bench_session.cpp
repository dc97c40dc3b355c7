// The session workflows against the simulated sensor paced like a
// 2 000 000 bit/s line that answers each request after 100 us: the time of a
// receive-all (whole parameter memory and the masters) and of one polling
// tick, each as a ratio to its wire time, and polling ticks per second.
//
// Wire time: every frame byte both ways x 10 bits / baud. The ratio
// time_to_wire is measured / wire time; time_to_wire_lat also counts the
// sensor's reply latency per request as wire time. own_us_med and own_us_p99:
// the program's own time per transaction, from the last byte of a reply read
// to the next request written. peer_late_us_med and peer_late_us_p99: how
// late the sensor's replies were against the wire's timing, its own late
// wake-ups included (steps of 10 us), so a ratio above its goal shows whose
// time it is. cpu_us_per_req: CPU of the whole process (program and
// simulated sensor) per transaction. Backups go to a temporary folder.
#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"

#include "link/kest_thread.h"
#include "shell/session/kest_session.h"
#include "sim/sim_sensor.h"

namespace {

constexpr int kBaud = 2000000;
constexpr int kLatencyUs = 100;

struct Rig {
    explicit Rig(bool paced = true) {
        kdsim::SimOptions o;
        o.pace = paced;
        o.baud = kBaud;
        o.latencyUs = paced ? kLatencyUs : 0;
        sensor = std::make_unique<kdsim::SimSensor>(o);
        thread.PortName = sensor->Start();
        thread.SetBaud(kBaud);
        thread.SetTrace([this](const kd::FrameTraceEvent& e) {
            bytes += e.bytes.size();
            const uint64_t now = kd::TickUs();
            if (e.sent) {
                sensor->RequestWritten(now);
                ++requests;
                // The program's own time: from the last reply byte read to
                // the next request written.
                if (lastReplyUs != 0) gapsUs.push_back(static_cast<double>(now - lastReplyUs));
                lastReplyUs = 0;
            } else if (e.result > 0) {
                lastReplyUs = now;
            }
        });
        image.Masters = &masters;
        image.SensorVersion = &state.SensorVersion;
        state.CurrentPage = kd::kPageMeasure;
        session = std::make_unique<kd::TKestSession>(
            kd::TSessionParts{thread, image, masters, state, live, host});
        backupDir = (std::filesystem::temp_directory_path() /
                     ("kd_bench_session_" + std::to_string(getpid())))
                        .string();
        session->BackupDir = backupDir;
        if (!session->TryConnect()) throw kd::EKestError(session->LastConnectError);
    }
    ~Rig() {
        thread.ForceDisconnect();
        sensor->Stop();
        std::filesystem::remove_all(backupDir);
    }
    void Reset() {
        bytes = 0;
        requests = 0;
        lastReplyUs = 0;  // the first request of a run follows no reply
    }
    double WireSeconds() const { return static_cast<double>(bytes) * 10.0 / kBaud; }

    std::unique_ptr<kdsim::SimSensor> sensor;
    kd::TKestThread thread;
    kd::TKestParam image;
    kd::TMasterStore masters;
    kd::TShellState state;
    kd::TLiveValues live;
    kd::THeadlessHost host;
    std::unique_ptr<kd::TKestSession> session;
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> requests{0};
    uint64_t lastReplyUs = 0;
    std::vector<double> gapsUs;
    std::string backupDir;
};

// Percentile (upper bound, us) of the sensor's reply lateness between two readings.
double LatePercentile(const kdsim::SimSensor::Stats& a, const kdsim::SimSensor::Stats& b,
                      double q) {
    const uint64_t count = b.lateCount - a.lateCount;
    if (count == 0) return 0;
    const uint64_t want = static_cast<uint64_t>(q * static_cast<double>(count));
    uint64_t seen = 0;
    for (size_t i = 0; i < b.lateHist.size(); ++i) {
        seen += b.lateHist[i] - a.lateHist[i];
        if (seen > want) return static_cast<double>(10 * i + 10);
    }
    return static_cast<double>(10 * b.lateHist.size());
}

double Percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

template <typename Fn>
void Measure(benchmark::State& state, Rig& rig, Fn&& fn) {
    double measured = 0, wire = 0, latency = 0;
    uint64_t allRequests = 0;
    rig.gapsUs.clear();
    const kdsim::SimSensor::Stats late0 = rig.sensor->GetStats();
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        rig.Reset();
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        const auto t1 = std::chrono::steady_clock::now();
        const double s = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(s);
        measured += s;
        wire += rig.WireSeconds();
        latency += static_cast<double>(rig.requests) * kLatencyUs * 1e-6;
        allRequests += rig.requests;
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    const kdsim::SimSensor::Stats late1 = rig.sensor->GetStats();
    state.counters["peer_late_us_med"] = LatePercentile(late0, late1, 0.5);
    state.counters["peer_late_us_p99"] = LatePercentile(late0, late1, 0.99);
    const double n = static_cast<double>(state.iterations());
    // Program and sensor share this process: its CPU per transaction.
    state.counters["cpu_us_per_req"] =
        allRequests ? cpu * 1e6 / static_cast<double>(allRequests) : 0;
    state.counters["own_us_med"] = Percentile(rig.gapsUs, 0.5);
    state.counters["own_us_p99"] = Percentile(rig.gapsUs, 0.99);
    state.counters["time_to_wire"] = wire > 0 ? measured / wire : 0;
    state.counters["time_to_wire_lat"] = wire > 0 ? measured / (wire + latency) : 0;
    state.counters["wire_ms"] = wire * 1000 / n;
    state.counters["requests"] = static_cast<double>(rig.requests);
}

// Runs the calling thread, and the sensor thread it starts, on the first
// allowed core while it lives. On this two-core virtual machine a wake-up
// across cores costs tens of microseconds a transaction; side by side with
// the free run it shows how much of a tick is those wake-ups (the program
// pays one per reply with a real sensor, the rig a second at the sensor).
class OneCore {
  public:
    explicit OneCore(bool on) {
        if (!on || sched_getaffinity(0, sizeof was_, &was_) != 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (CPU_ISSET(c, &was_)) {
                CPU_SET(c, &one);
                break;
            }
        }
        pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneCore() {
        if (pinned_) sched_setaffinity(0, sizeof was_, &was_);
    }

  private:
    cpu_set_t was_{};
    bool pinned_ = false;
};

// state.range(0): 1 runs program and sensor on one core.
void ReceiveAll(benchmark::State& state) {
    OneCore core(state.range(0) != 0);
    Rig rig;
    Measure(state, rig, [&] { rig.session->ReceiveAll(); });
    if (rig.image.ValidMask != kd::kValidAll) state.SkipWithError("image not whole");
}

// state.range(0): 1 paced line, 0 an unpaced sensor without latency (the
// program's and the pseudo-terminal's own share of the time); state.range(1):
// 1 on one core.
void PollTick(benchmark::State& state) {
    OneCore core(state.range(1) != 0);
    Rig rig(state.range(0) != 0);
    Measure(state, rig, [&] { rig.session->Tick(); });
    if (rig.state.LinkState != 2) state.SkipWithError("tick failed");
    state.counters["ticks_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(ReceiveAll)->Arg(0)->Arg(1)->Iterations(10)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(PollTick)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
