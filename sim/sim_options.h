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
    std::array<uint16_t, 3> version = {0x53, 0x6D, 0x50};  // --version FF:BB:SS (hexadecimal)
    std::string eeprom;                                    // --eeprom FILE
    bool pace = false;                                     // --pace
    uint32_t baud = 2000000;                               // --baud N
    uint32_t latencyUs = 0;                                // --latency-us N
    std::string faults;                                    // --faults LIST
    uint64_t seed = 1;                                     // --seed N
    std::string trace;                                     // --trace FILE
    uint32_t frameUs = 0;  // --frame-us N: model clock advances N µs per request (0: real time)
};

// Parses the arguments (without the program name). Throws kd::EKestError with
// a message naming the bad argument.
SimOptions ParseSimArgs(const std::vector<std::string>& args);
// Splits a string at blanks (for KDSIM_ARGS).
std::vector<std::string> SplitArgs(const std::string& text);
const char* SimUsage();

}  // namespace kdsim
