#pragma once
// The built-in default parameter image ("INIT_PARAM"): 2048 bytes, 1024
// little-endian words, embedded in the program from resources/init_param.bin.
#include <array>
#include <cstdint>

namespace kd {

constexpr int kImageBytes = 2048;

const std::array<uint8_t, kImageBytes>& DefaultImage();

}  // namespace kd
