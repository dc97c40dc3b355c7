// The two storage downloads against the simulated sensor paced like a
// 2 000 000 bit/s line: a recording is made there, then fetched as the
// pages fetch it (with the window's event processing after every block).
// Reported as the ratio of the wire time (every frame byte both ways x 10 /
// baud) to the measured time, with the records or profiles per second.
// Reports only; never fails.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "link/commands.h"
#include "link/kest_thread.h"
#include "sim/sim_options.h"
#include "sim/sim_sensor.h"
#include "storage/profile_set.h"
#include "storage/record_set.h"
#include "storage/storage_link.h"

using namespace kd;

namespace {

constexpr uint32_t kBaud = 2000000;

std::vector<uint8_t> Word(int v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}

// Records `count` records (target 1) or profiles with their records (2).
bool Record(TKestThread& th, int target, int count) {
    th.CommandReply(cmd::SET_STR_BUF, Word(count));
    th.CommandReply(cmd::SET_STR_STT, Word(0));
    th.CommandReply(cmd::SET_STR_STL, Word(0));
    th.CommandReply(cmd::SET_STR_SMP, Word(1));
    th.CommandReply(cmd::SET_STR_RPT, Word(1));  // off: the recording ends when full
    th.CommandReply(cmd::STR_RUN, Word(target));
    for (int i = 0; i < 1200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto run = th.CommandReply(cmd::GET_STR_RUN);
        if (run.size() >= 2 && run[1] == 0) return true;
    }
    return false;
}

struct TResult {
    double Seconds = 0;
    double WireSeconds = 0;
    int Items = 0;
};

// The median of three fetches of the same recording.
template <typename Fetch>
TResult Measure(TKestThread& th, Fetch fetch) {
    std::vector<TResult> runs;
    for (int run = 0; run < 3; ++run) {
        size_t bytes = 0;
        th.SetTrace([&](const FrameTraceEvent& e) { bytes += e.bytes.size(); });
        const auto t0 = std::chrono::steady_clock::now();
        const TFetchOutcome o = fetch([](const TFetchProgress&) {
            QCoreApplication::processEvents();  // as the page does between blocks
            return true;
        });
        TResult r;
        r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        th.SetTrace({});
        r.WireSeconds = double(bytes) * 10.0 / kBaud;
        r.Items = o.Done;
        if (!o.Complete()) std::fprintf(stderr, "bench_storage_fetch: incomplete fetch\n");
        runs.push_back(r);
    }
    std::sort(runs.begin(), runs.end(), [](const TResult& a, const TResult& b) {
        return a.WireSeconds / a.Seconds < b.WireSeconds / b.Seconds;
    });
    return runs[1];
}

void Print(const char* what, const TResult& r) {
    std::printf("%-46s %8d %10.0f/s %9.1f ms %9.1f ms %8.3f\n", what, r.Items, r.Items / r.Seconds,
                r.Seconds * 1000, r.WireSeconds * 1000, r.WireSeconds / r.Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const int profiles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 400;
    // The built-in demo sensor (100 us reply latency), paced at 2 Mbit/s,
    // but on time as kdsim --pace is: the demo only sleeps, and a sleep ends
    // late by the scheduler's wake-up, which would be measured as the
    // program's time. Its USB-like pieces as kdsim hands them on.
    kdsim::SimOptions o = kdsim::DemoSimOptions(nullptr);
    o.spinUs = kdsim::SimOptions{}.spinUs;
    o.chunkUs = kdsim::SimOptions{}.chunkUs;
    o.baud = kBaud;
    kdsim::SimSensor sensor(o);
    sensor.Start();
    TKestThread th;
    th.PortName = sensor.Path();
    th.SetBaud(int(kBaud));
    th.Connect();
    th.WideTransfers = true;
    TStorageIo io = StorageIoOf(th);

    std::printf("%-46s %8s %12s %12s %12s %8s\n", "download", "items", "rate", "measured", "wire",
                "ratio");
    if (!Record(th, 1, records)) std::fprintf(stderr, "bench_storage_fetch: no recording\n");
    TRecordSet set;
    Print("data storage (records, 16 words each)", Measure(th, [&](const TFetchProgressFn& p) {
              return FetchStoredRecords(io, set, 0, p);
          }));
    if (!Record(th, 2, profiles)) std::fprintf(stderr, "bench_storage_fetch: no recording\n");
    auto ring = std::make_unique<TProfileSet>();
    const TResult r =
        Measure(th, [&](const TFetchProgressFn& p) { return FetchStoredProfiles(io, *ring, p); });
    char what[80];
    std::snprintf(what, sizeof what, "profile storage (%d points), sized reads", ring->MaxCount());
    Print(what, r);
    // Side by side: every profile read with the live-profile block pattern.
    TStorageIo blocks = io;
    blocks.FetchProfile = [&th](uint32_t a, std::span<uint16_t> b) {
        return th.FetchProfile(a, b, 1);
    };
    std::snprintf(what, sizeof what, "profile storage (%d points), FetchProfile", ring->MaxCount());
    Print(what, Measure(th, [&](const TFetchProgressFn& p) {
              return FetchStoredProfiles(blocks, *ring, p);
          }));
    th.Disconnect();
    return 0;
}
