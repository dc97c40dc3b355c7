// Transfer efficiency of MemRead: 65 536 words from a peer that paces its bytes
// like a 2 000 000 bit/s line and answers each request after 100 us. Reported
// as the ratio of the wire time (all frame bytes both ways x 10 / baud) to the
// measured time, for wide and for normal reads.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/kest_thread.h"
#include "pty_peer.h"

namespace {

constexpr int kBaud = 2000000;
constexpr int kLatencyUs = 100;
constexpr int kWords = 65536;

void MemReadEfficiency(benchmark::State& state) {
    const bool wide = state.range(0) != 0;
    kdtest::PtyPeer peer;
    kdtest::MemorySensor sensor(size_t{1} << 18);
    for (size_t i = 0; i < sensor.Size(); ++i)
        sensor.Put(static_cast<uint32_t>(i), static_cast<uint16_t>(i * 13));
    peer.SetHandler([&](kdtest::PtyPeer& p, const kdtest::Request& r) { sensor.Handle(p, r); });
    peer.SetPacing(kBaud, kLatencyUs);
    const bool realtime = peer.SetRealtime();

    kd::TKestThread th;
    th.PortName = peer.Path();
    th.SetBaud(kBaud);
    th.Connect();
    std::vector<uint16_t> words(kWords);

    double wireSeconds = 0, measuredSeconds = 0;
    for (auto _ : state) {
        th.WideTransfers = wide;
        peer.ResetCounters();
        auto t0 = std::chrono::steady_clock::now();
        th.MemRead(words.data(), 0x1000, kd::kModeWords, kWords);
        auto t1 = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        const double wire =
            static_cast<double>(peer.BytesReceived() + peer.BytesSent()) * 10.0 / kBaud;
        state.SetIterationTime(seconds);
        wireSeconds += wire;
        measuredSeconds += seconds;
        if (words[kWords - 1] != static_cast<uint16_t>((0x1000 + kWords - 1) * 13))
            state.SkipWithError("wrong data");
    }
    state.counters["wire_ratio"] = measuredSeconds > 0 ? wireSeconds / measuredSeconds : 0;
    state.counters["wire_ms"] = wireSeconds * 1000 / static_cast<double>(state.iterations());
    state.SetLabel(std::string(wide ? "wide reads" : "normal reads") +
                   (realtime ? "" : ", peer at normal priority"));
}

}  // namespace

BENCHMARK(MemReadEfficiency)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
