#include "common/clock.h"

#include <chrono>
#include <thread>

namespace kd {

uint32_t TickMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t TickUs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
void SleepUs(unsigned us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

}  // namespace kd
