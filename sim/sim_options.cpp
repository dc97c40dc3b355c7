#include "sim/sim_options.h"

#include <cstdlib>
#include <sstream>

#include "common/kest_error.h"
#include "sim/sim_faults.h"

namespace kdsim {

namespace {

uint64_t Number(const std::string& option, const std::string& text, uint64_t min, uint64_t max) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || v < min || v > max) {
        throw kd::EKestError(option + ": '" + text + "' is not a number " + std::to_string(min) +
                             ".." + std::to_string(max));
    }
    return v;
}

std::array<uint16_t, 3> Version(const std::string& text) {
    std::array<uint16_t, 3> v{};
    size_t pos = 0;
    for (size_t i = 0; i < 3; ++i) {
        const size_t colon = text.find(':', pos);
        const std::string part =
            text.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
        if ((i < 2) == (colon == std::string::npos) || part.empty() || part.size() > 4 ||
            part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            throw kd::EKestError("--version: '" + text + "' is not FF:BB:SS in hexadecimal");
        }
        v[i] = static_cast<uint16_t>(std::strtoul(part.c_str(), nullptr, 16));
        pos = colon + 1;
    }
    return v;
}

}  // namespace

const char* SimUsage() {
    return "usage: kdsim [--link PATH] [--sensor-version FF:BB:SS] [--eeprom FILE] "
           "[--pace|--no-pace]\n"
           "             [--baud N] [--latency-us N] [--spin-us N] [--chunk-us N] [--usb-frame-us N]\n"
           "             [--compute-us N] [--faults LIST] [--seed N] [--trace FILE]\n"
           "             [--frame-us N]\n"
           "       kdsim --version | --help\n"
           "  prints the path of its pseudo-terminal on the first line and serves until stopped\n"
           "  --sensor-version: the sensor's fpga:bios:soft words (also as --version FF:BB:SS)\n"
           "  --baud N: pace at N bit/s (default: the rate the program sets on the port)\n"
           "  LIST: noise=P,corrupt=P,drop=P,cut=P,late=P:MS,epm-exe=N,memwrite-fail=N,\n"
           "        nostorage\n";
}

SimOptions ParseSimArgs(const std::vector<std::string>& args, SimOptions defaults) {
    SimOptions o = std::move(defaults);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw kd::EKestError(a + " needs a value");
            return args[++i];
        };
        if (a == "--link") {
            o.link = value();
        } else if (a == "--sensor-version" || a == "--version") {
            o.version = Version(value());
        } else if (a == "--eeprom") {
            o.eeprom = value();
        } else if (a == "--pace") {
            o.pace = true;
        } else if (a == "--no-pace") {
            o.pace = false;
        } else if (a == "--baud") {
            o.baud = static_cast<uint32_t>(Number(a, value(), 300, 12000000));
        } else if (a == "--latency-us") {
            o.latencyUs = static_cast<uint32_t>(Number(a, value(), 0, 10000000));
        } else if (a == "--faults") {
            o.faults = value();
            ParseFaults(o.faults);  // reject a bad config now
        } else if (a == "--seed") {
            o.seed = Number(a, value(), 0, UINT64_MAX);
        } else if (a == "--trace") {
            o.trace = value();
        } else if (a == "--compute-us") {
            o.computeUs = static_cast<uint32_t>(Number(a, value(), 1, 1000000));
        } else if (a == "--chunk-us") {
            o.chunkUs = static_cast<uint32_t>(Number(a, value(), 0, 1000000));
        } else if (a == "--usb-frame-us") {
            o.usbFrameUs = static_cast<uint32_t>(Number(a, value(), 0, 100000));
        } else if (a == "--spin-us") {
            o.spinUs = static_cast<uint32_t>(Number(a, value(), 0, 1000));
        } else if (a == "--frame-us") {
            o.frameUs = static_cast<uint32_t>(Number(a, value(), 0, 10000000));
        } else {
            throw kd::EKestError("unknown argument '" + a + "'");
        }
    }
    return o;
}

SimOptions DemoSimOptions(const char* envArgs) {
    SimOptions demo;
    demo.pace = true;
    demo.latencyUs = 100;
    demo.spinUs = 0;  // a demo may answer a little late; it must not spin a core
    // Values and profiles 50 times a second are plenty to watch; working
    // them out more often made the demo sensor cost more than the program.
    demo.computeUs = 20000;
    demo.chunkUs = 0;  // one wake-up a reply
    // A sensor on a USB port answers through its adapter, which hands a short
    // reply to the host when its 1 ms latency timer runs out. Without it the
    // demo answered four times as many requests a second as such a sensor
    // can, and cost as much again in wake-ups.
    demo.usbFrameUs = 1000;
    demo.demoStorage = true;
    return ParseSimArgs(SplitArgs(envArgs ? envArgs : ""), demo);
}

std::vector<std::string> SplitArgs(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string word;
    while (in >> word) out.push_back(word);
    return out;
}

}  // namespace kdsim
