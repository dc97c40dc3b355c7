#pragma once
// Text form of the frame trace: one frame per line, a millisecond time, the
// direction and the bytes in hexadecimal.
#include <cstdint>
#include <span>
#include <string>

#include "link/kest_com.h"

namespace kd {

// "hh:mm:ss.mmm > 02 00 20 06 03 26" for a frame sent, "<" for bytes received;
// a received attempt that failed ends with its result in brackets: "[-100]".
// wallMs: milliseconds since the epoch (local time of day is shown).
std::string FormatTraceLine(uint64_t wallMs, const FrameTraceEvent& event);
// Upper-case two-digit hexadecimal bytes separated by blanks.
std::string HexBytes(std::span<const uint8_t> bytes);
// Milliseconds since the epoch from the system clock.
uint64_t WallClockMs();

}  // namespace kd
