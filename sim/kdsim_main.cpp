// kdsim: the simulated sensor on a pseudo-terminal. Prints the path of the
// terminal on its first line of output and serves until it is terminated.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/kest_error.h"
#include "kd_version.h"
#include "sim/sim_sensor.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kdsim::SimUsage(), stdout);
            return 0;
        }
        // --version with a value is the simulated sensor's version; alone, ours.
        if (a == "--version" && (i + 1 == args.size() || args[i + 1].rfind("-", 0) == 0)) {
            std::printf("kdsim (KD Trelva) %s\n", KD_VERSION);
            return 0;
        }
        if (a == "--version" || a == "--sensor-version") ++i;
    }
    kdsim::SimOptions options;
    try {
        options = kdsim::ParseSimArgs(args);
    } catch (const kd::EKestError& e) {
        std::fprintf(stderr, "kdsim: %s\n%s", e.what(), kdsim::SimUsage());
        return 2;
    }
    try {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);  // the serving thread inherits the mask
        kdsim::SimSensor sensor(options);
        std::printf("%s\n", sensor.Start().c_str());
        std::fflush(stdout);
        int sig = 0;
        sigwait(&set, &sig);
        sensor.Stop();
        return 0;
    } catch (const kd::EKestError& e) {
        std::fprintf(stderr, "kdsim: %s\n", e.what());
        return 1;
    }
}
