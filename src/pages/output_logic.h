#pragma once
// The output page's rules without the widgets: the hysteresis list by
// version and unit, the limits relative to the channel offset, the output
// time in tenths of a millisecond, the analog current (measured or worked
// out from the 4 mA and 20 mA values) and which controls a setting shows.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "measure/measure_access.h"
#include "params/sensor_version.h"

namespace kd {

// The offset key of channel 0..5 ("C1.Offset".."C6.Offset"); µm.
std::string OffsetKeyOf(int channel);
// Key name of output o (0..2, 3 the analog output): "O2.ULimit", "Ana.Ch".
std::string OutputKey(int o, std::string_view field);

// The sixteen hysteresis values in µm: 4 · j for software 1..4A, the
// table 0, 4, 8, 16, 32, 50 ... 2000 otherwise.
std::array<int, 16> HysteresisValues(uint16_t soft);
// An entry's text: the integer in µm, else millimetres with three decimals.
std::string HysteresisText(int um, int displUnit);

// A switching output's action that shows no live value (Ready, Strobe).
constexpr bool OutputValueHidden(int action) {
    return action == 3 || action == 4;
}
// The output time is shown for every action but Normal and Ready.
constexpr bool OutputTimeShown(int action) {
    return action != 0 && action != 3;
}

// The current label says "estimated" for software 1..4E.
constexpr bool CurrentLabelEstimated(uint16_t soft) {
    return soft >= 1 && soft <= 0x4E;
}
// The sensor reports its analog current (and output value) from software 4B.
constexpr bool AnalogCurrentMeasured(uint16_t soft) {
    return soft >= 0x4B;
}
// The 4 mA / 20 mA teach buttons take the channel's value before 4D.
constexpr bool AnalogTeachFromChannel(uint16_t soft) {
    return soft < 0x4D;
}

// The analog current in µA for a value between the 4 mA value `lower` and
// the 20 mA value `upper` (both with the offset added): 24000 for no value,
// an empty span, or a result outside 0..24000.
int32_t EstimatedCurrent(int32_t value, int64_t upper, int64_t lower);

// Hint of the limit edits: "lo ... hi [um]" from the key's limits and the
// offset, each × 0.001 with three decimals and '_' as the separator.
std::string LimitHint(double keyMin, double keyMax, int offset);

// The output time text as tenths of a millisecond: a decimal number of
// milliseconds from 0.1 to 204.7, truncated to tenths; nothing otherwise.
std::optional<int> ParseOutputTime(std::string_view text);

// The unit of channel 0..5's values as the pages show it (the function of
// its area, of operand A for a calculation; "?" for another channel).
std::string ChannelUnit(const TPageContext& ctx, int channel);

// The channel (0..5) whose offset is sent with output o's number: the
// first switching output that evaluates it, -1 when none does.
int OutputOfChannel(int channel, const IBankKeys& keys);

}  // namespace kd
