#pragma once
// The versions of the connected sensor: FPGA, BIOS and software, all zero while
// none has been read. Owned by the connect workflow, read by the pages and
// recorded in text parameter files. Versions are always shown in hexadecimal.
#include <cstdint>

namespace kd {

struct TSensorVersion {
    uint16_t Fpga = 0;
    uint16_t Bios = 0;
    uint16_t Soft = 0;

    bool Known() const { return Fpga != 0; }
};

// The newest sensor version this program knows.
constexpr TSensorVersion kSupportedVersion{0x53, 0x6D, 0x50};

}  // namespace kd
