#pragma once
#include <cstdint>

namespace kd {

// Milliseconds from a monotonic clock; wraps like a 32-bit tick counter.
uint32_t TickMs();
// Microseconds from the same clock, for benchmarks and pacing.
uint64_t TickUs();
void SleepMs(unsigned ms);
void SleepUs(unsigned us);

}  // namespace kd
