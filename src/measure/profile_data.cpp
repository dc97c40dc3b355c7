#include "measure/profile_data.h"

#include <algorithm>

#include "common/log.h"

namespace kd {

AreaBounds AreaBounds::Ordered() const {
    return {std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right),
            std::max(Top, Bottom)};
}

void ProfileShared::SetArea(int index, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (index < 0 || index >= kAreas) return;
    if (std::find(AreaOrder.begin(), AreaOrder.end(), index) == AreaOrder.end())
        AreaOrder.push_back(index);
    AreaRects[static_cast<size_t>(index)] = {left, top, right, bottom};
    WriteLog(kLogPlain, "SetArea(%d, %d, %d, %d)", left, top, right, bottom);
}

void ProfileShared::BringToFront(int index) {
    if (index < 0 || index >= kAreas) return;
    auto it = std::find(AreaOrder.begin(), AreaOrder.end(), index);
    if (it != AreaOrder.end()) AreaOrder.erase(it);
    AreaOrder.insert(AreaOrder.begin(), index);
}

void ProfilePointsFromWords(std::span<const uint16_t> words, std::span<ProfilePoint> out) {
    const size_t n = std::min(out.size(), words.size() / 2);
    for (size_t i = 0; i < n; ++i)
        out[i] = {static_cast<int16_t>(words[2 * i]), static_cast<int16_t>(words[2 * i + 1])};
}

}  // namespace kd
