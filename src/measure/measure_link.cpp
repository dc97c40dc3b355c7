#include "measure/measure_link.h"

#include <algorithm>

#include "link/comm_error.h"
#include "link/commands.h"

namespace kd {

void ProfilePointsFromWords(std::span<const uint16_t> words, std::span<ProfilePoint> out) {
    const size_t n = std::min(out.size(), words.size() / 2);
    for (size_t i = 0; i < n; ++i)
        out[i] = {static_cast<int16_t>(words[2 * i]), static_cast<int16_t>(words[2 * i + 1])};
}

std::vector<uint8_t> PayloadWords(std::span<const uint16_t> words) {
    std::vector<uint8_t> out;
    out.reserve(words.size() * 2);
    for (uint16_t w : words) {
        out.push_back(static_cast<uint8_t>(w >> 8));
        out.push_back(static_cast<uint8_t>(w & 0xFF));
    }
    return out;
}

std::span<const ProfilePoint> TMeasureLink::WorkerProfile() {
    ProfilePointsFromWords(worker_.ProfileBuffer, points_);
    return points_;
}

std::optional<std::vector<uint8_t>> TMeasureLink::Command(uint16_t code,
                                                          std::span<const uint16_t> words) {
    try {
        // The correction query follows every live profile: it must not hold
        // the window when the sensor falls silent (a missed one is asked
        // again with the next profile).
        if (code == cmd::GET_PROF_CORR)
            return worker_.CommandReply(code, PayloadWords(words), worker_.QueryTiming(1));
        return worker_.CommandReply(code, PayloadWords(words));
    } catch (const ECommErrData&) {
        return std::nullopt;
    } catch (const ELinkBusy&) {
        return std::nullopt;
    }
}

std::optional<uint16_t> TMeasureLink::MemReadWord(uint32_t address, uint16_t mode) {
    uint16_t w = 0;
    try {
        worker_.MemRead(&w, address, mode, 1);
    } catch (const ECommErrData&) {
        return std::nullopt;
    }
    return w;
}

std::optional<AreaBounds> TMeasureLink::SendAreaRect(int area, const AreaBounds& r) {
    try {
        AreaRect sent = worker_.SetAreaRect(area, r.Left, r.Top, r.Right, r.Bottom);
        return AreaBounds{sent.x0, sent.y0, sent.x1, sent.y1};
    } catch (const ECommErrData&) {
        return std::nullopt;
    }
}

}  // namespace kd
