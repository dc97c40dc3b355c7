// Serving speed of the simulated sensor through its pseudo-terminal.
//   unpaced: request/reply round trips per second (short queries and the
//            largest wide reads), as fast as the machine allows;
//   paced:   the same at 2 000 000 bit/s, compared with the wire time of the
//            request and reply bytes (10 bits per byte): ratio = wire / measured.
// Reports only; never fails.
#include <chrono>
#include <cstdio>
#include <string>

#include "sim/sim_sensor.h"
#include "sim_client.h"

namespace {

struct Result {
    double seconds;
    size_t bytes;  // request and reply bytes on the wire
    int frames;
};

Result Run(kdsim::SimSensor& sensor, bool wide, int frames) {
    simtest::Client c(sensor.Path());
    const auto req = wide ? simtest::Request(0x001A, simtest::ReadReq(0x400, 253, 0x11))
                          : simtest::Request(0x801A, simtest::Words({0}));
    size_t bytes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        c.Send(req);
        auto r = c.Receive(wide);
        if (!r.ok) {
            std::fprintf(stderr, "bench_sim: reply %d failed\n", i);
            break;
        }
        bytes += req.size() + r.raw.size();
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {s, bytes, frames};
}

}  // namespace

int main(int argc, char** argv) {
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    kdsim::SimOptions fast;
    kdsim::SimSensor unpaced(fast);
    unpaced.Start();
    kdsim::SimOptions slow;
    slow.pace = true;
    slow.baud = 2000000;
    kdsim::SimSensor paced(slow);
    paced.Start();

    std::printf("%-34s %10s %12s %10s\n", "case", "frames/s", "bytes/s", "wire/meas");
    for (bool wide : {false, true}) {
        const char* what = wide ? "wide read 1012 words" : "GET_MEAS";
        const Result u = Run(unpaced, wide, (wide ? 2000 : 10000) * scale);
        std::printf("%-34s %10.0f %12.0f %10s\n", (std::string("unpaced ") + what).c_str(),
                    u.frames / u.seconds, u.bytes / u.seconds, "-");
        const Result p = Run(paced, wide, (wide ? 100 : 1000) * scale);
        const double wire = p.bytes * 10.0 / slow.baud;
        std::printf("%-34s %10.0f %12.0f %10.3f\n", (std::string("paced 2 Mbit/s ") + what).c_str(),
                    p.frames / p.seconds, p.bytes / p.seconds, wire / p.seconds);
    }
    // How late the paced replies' last bytes reached us against the wire's timing.
    const kdsim::SimSensor::Stats st = paced.GetStats();
    auto percentile = [&](double q) {
        uint64_t want = static_cast<uint64_t>(q * static_cast<double>(st.lateCount)), seen = 0;
        for (size_t i = 0; i < st.lateHist.size(); ++i) {
            seen += st.lateHist[i];
            if (seen > want) return static_cast<int>(10 * i + 10);
        }
        return static_cast<int>(10 * st.lateHist.size());
    };
    std::printf(
        "paced reply lateness: median < %d us, p99 < %d us, max %llu us "
        "(terminal delivery %llu us counted as wire time)\n",
        percentile(0.5), percentile(0.99), static_cast<unsigned long long>(st.lateMaxUs),
        static_cast<unsigned long long>(st.ptyUs));
    return 0;
}
