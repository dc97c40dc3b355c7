#pragma once
// Options of the simulated sensor, as the program kdsim takes them on its
// command line and the in-process sensor takes them from KDSIM_ARGS.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kdsim {

struct SimOptions {
    std::string link;                                      // --link PATH: symbolic link to the port
    std::array<uint16_t, 3> version = {0x53, 0x6D, 0x50};  // --sensor-version FF:BB:SS (hex)
    std::string eeprom;                                    // --eeprom FILE
    bool pace = false;                                     // --pace / --no-pace
    uint32_t baud = 0;       // --baud N; 0: the rate the program set on the port (2 Mbit/s if none)
    uint32_t latencyUs = 0;  // --latency-us N
    std::string faults;      // --faults LIST
    uint64_t seed = 1;       // --seed N
    std::string trace;       // --trace FILE
    uint32_t computeUs = 1000;  // --compute-us N: least time between two worked-out profiles
    uint32_t spinUs = 60;       // --spin-us N: paced waits spin their last N µs (0: sleep only)
    // --chunk-us N: a paced reply leaves in pieces of N µs of wire time, as a
    // USB serial adapter hands them on; 0: whole, when its last byte is due.
    uint32_t chunkUs = 1000;
    // --usb-frame-us N: a paced piece reaches the program on the next N µs
    // frame after its last byte, as a USB serial adapter's latency timer
    // hands short replies to the host; 0: the moment the wire brings it.
    uint32_t usbFrameUs = 0;
    uint32_t frameUs = 0;  // --frame-us N: model clock advances N µs per request (0: real time)
    // The demo's storage is set up for a recording that ends: 1000 records
    // of every sample, not repeated (the factory image keeps one, repeated).
    bool demoStorage = false;
};

// Parses the arguments (without the program name) over the given defaults.
// Throws kd::EKestError with a message naming the bad argument.
SimOptions ParseSimArgs(const std::vector<std::string>& args, SimOptions defaults = {});
// The built-in demo sensor (port SIM): paced at the port's rate with a reply
// latency of 100 µs, behind a USB serial adapter that hands replies on in
// 1 ms frames, like a real sensor on a USB port; then the options of envArgs
// (KDSIM_ARGS; "--no-pace" for tests that want no wire time).
SimOptions DemoSimOptions(const char* envArgs);
// Splits a string at blanks (for KDSIM_ARGS).
std::vector<std::string> SplitArgs(const std::string& text);
const char* SimUsage();

}  // namespace kdsim
