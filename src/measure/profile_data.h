#pragma once
// Profile points, the area rectangles and the data every profile frame of
// the program shares. The main window owns one ProfileShared and hands it to
// each frame by reference.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kd {

// One profile sample in micrometres; kMissing in either field: no laser line.
struct ProfilePoint {
    int16_t X = 0;
    int16_t Z = 0;
    bool operator==(const ProfilePoint&) const = default;
};
constexpr int16_t kMissing = 0x7FFF;
constexpr int kProfileBufferPoints = 2048;
using ProfileBufferArray = std::array<ProfilePoint, kProfileBufferPoints>;

// Fixed coordinate window of the sensor, micrometres.
constexpr int kRangeLeft = -15000;
constexpr int kRangeWidth = 30000;
constexpr int kRangeTop = -29000;
constexpr int kRangeHeight = 58000;

// An area rectangle in micrometres.
struct AreaBounds {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const AreaBounds&) const = default;
    // Left/right and top/bottom put in order.
    AreaBounds Ordered() const;
};

constexpr int kAreas = 4;
constexpr int16_t kNoResult = 0x7FFF;

// Points of the worker's profile buffer (host-order words, x then z), from
// its first entry on: the entry 0 is the buffer's head, as the plots expect.
void ProfilePointsFromWords(std::span<const uint16_t> words, std::span<ProfilePoint> out);

struct ProfileShared {
    ProfileBufferArray ProfileBuffer{};  // zeroed
    std::array<AreaBounds, kAreas> AreaRects{};
    // Front-to-back order of the areas stored with SetArea; front = index 0.
    std::vector<int> AreaOrder;
    // Result position per area from the polling tick; kNoResult = none.
    std::array<int16_t, kAreas> AreaResults{kNoResult, kNoResult, kNoResult, kNoResult};

    // Stores an area as given and puts it at the back of AreaOrder the first
    // time; logs "SetArea(...)". Out-of-range indexes are ignored.
    void SetArea(int index, int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Moves an area to the front of AreaOrder (adds it when missing).
    void BringToFront(int index);
};

}  // namespace kd
