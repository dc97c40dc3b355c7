// The port name SIM of kdctl: a simulated sensor started in this process on
// first use, kept to the end of the process, and reached through its
// pseudo-terminal by the real serial code. KDSIM_ARGS may carry kdsim's
// options (for example "--version 53:6D:45 --faults drop=0.01").
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
    const char* env = std::getenv("KDSIM_ARGS");
    kdsim::SimOptions options = kdsim::ParseSimArgs(kdsim::SplitArgs(env ? env : ""));
    if (ctx.baud > 0 && (!env || std::string(env).find("--baud") == std::string::npos)) {
        options.baud = static_cast<uint32_t>(ctx.baud);
    }
    auto* s = new kdsim::SimSensor(options);
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
