// The port name SIM of kdctl: a simulated sensor started in this process on
// first use, kept to the end of the process, and reached through its
// pseudo-terminal by the real serial code. It answers like a real sensor, at
// the port's rate with a 100 µs reply latency; KDSIM_ARGS may carry kdsim's
// options (for example "--version 53:6D:45 --faults drop=0.01" or "--no-pace").
#include "cli/cli_session.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "common/kest_error.h"
#include "sim/sim_sensor.h"

namespace {

std::string StartSim(const kd::cli::CliContext& ctx) {
    static std::mutex mutex;
    static kdsim::SimSensor* sensor = nullptr;  // never destroyed: serves to the end
    static std::string path;
    std::lock_guard<std::mutex> lock(mutex);
    if (sensor) return path;
    (void)ctx;  // the sensor paces at the rate the tool sets on the port
    auto* s = new kdsim::SimSensor(kdsim::DemoSimOptions(std::getenv("KDSIM_ARGS")));
    try {
        path = s->Start();
    } catch (...) {
        delete s;
        throw;
    }
    sensor = s;
    return path;
}

const bool kSimPortRegistered = [] {
    kd::cli::SimPortStarter() = StartSim;
    return true;
}();

}  // namespace
