#pragma once
// Measurement functions of the simulated sensor, evaluated on one profile
// inside one area rectangle. Pure functions, so they can be checked on
// constructed profiles.
#include <cstdint>
#include <span>
#include <vector>

namespace kdsim {

constexpr int kMissing = 0x7FFF;          // missing coordinate of a point
constexpr int32_t kNoValue = 0x7FFFFFFF;  // channel without a value
constexpr int16_t kNoResult = 0x7FFF;     // area without a result

struct ProfilePt {
    int x = 0;         // µm
    int z = kMissing;  // µm, kMissing when no laser line was found
};

// Area rectangle in µm (top < bottom: z grows away from the sensor).
struct AreaRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

enum MeasFunc {
    kAverage = 0,
    kPeakHeight,
    kBottomHeight,
    kWidth,
    kPeakPosition,
    kBottomPosition,
    kEdgePosition,
    kEdgeCount,
    kTilt,
    kSize,
    kLength,
    kDiameter,
    kInflect,
    kFuncCount
};

struct AreaSetup {
    int func = kAverage;
    AreaRect rect;
    int infl = 0;  // inflection threshold, degrees of bend (sign selects the bend)
    int sdr = 0;   // edge direction: 0 first edge from the left, 1 from the right
    int dir = 0;   // size/diameter side: 0 up (material above the bottom edge), 1 down
};

struct AreaOutcome {
    int32_t value = kNoValue;    // channel value, thousandths of the shown unit
    int16_t result = kNoResult;  // position for the plot marker (µm, or 1/128 degree)
};

AreaOutcome MeasureArea(std::span<const ProfilePt> profile, const AreaSetup& setup);

// Edges where the profile crosses the middle level of the rectangle, in
// ascending x; used by width, edge position and edge count.
std::vector<double> MidLevelEdges(std::span<const ProfilePt> profile, const AreaRect& rect);

}  // namespace kdsim
