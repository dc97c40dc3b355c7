#include "link/frame_trace.h"

#include <chrono>
#include <ctime>

#include "common/log.h"

namespace kd {

std::string HexBytes(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out.push_back(' ');
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

uint64_t WallClockMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

std::string FormatTraceLine(uint64_t wallMs, const FrameTraceEvent& event) {
    std::time_t secs = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    std::string line = Format("%02d:%02d:%02d.%03u %c %s", local.tm_hour, local.tm_min,
                              local.tm_sec, static_cast<unsigned>(wallMs % 1000),
                              event.sent ? '>' : '<', HexBytes(event.bytes).c_str());
    if (event.sent ? event.result < 0 : event.result <= 0) line += Format(" [%d]", event.result);
    return line;
}

}  // namespace kd
