#include "pages/output_logic.h"

#include <cmath>

#include "common/kest_error.h"
#include "measure/measure_model.h"
#include "measure/value_text.h"

namespace kd {

std::string OffsetKeyOf(int channel) {
    return "C" + std::to_string(channel + 1) + ".Offset";
}

std::string OutputKey(int o, std::string_view field) {
    const std::string prefix = o == 3 ? "Ana." : "O" + std::to_string(o + 1) + ".";
    return prefix + std::string(field);
}

std::array<int, 16> HysteresisValues(uint16_t soft) {
    std::array<int, 16> h{0, 4, 8, 16, 32, 50, 75, 100, 150, 200, 300, 500, 750, 1000, 1500, 2000};
    if (soft >= 1 && soft <= 0x4A)
        for (size_t j = 0; j < h.size(); ++j) h[j] = 4 * static_cast<int>(j);
    return h;
}

std::string HysteresisText(int um, int displUnit) {
    if (displUnit == 1) return std::to_string(um);
    return FormatValue(um, 3, "mm");
}

int32_t EstimatedCurrent(int32_t value, int64_t upper, int64_t lower) {
    if (value == kNoValue || lower >= upper) return 24000;
    const int64_t ua = (int64_t{value} - lower) * 16000 / (upper - lower) + 4000;
    if (ua < 0 || ua > 24000) return 24000;
    return static_cast<int32_t>(ua);
}

std::string LimitHint(double keyMin, double keyMax, int offset) {
    auto end = [offset](double limit) {
        return FormatValue(static_cast<int64_t>(std::trunc(limit)) + offset, 3, "mm", '_');
    };
    return end(keyMin) + " ... " + end(keyMax) + " [um]";
}

std::optional<int> ParseOutputTime(std::string_view text) {
    try {
        const double ms = ParseValueMm(text, "mm");
        if (ms < 0.1 || ms > 204.7) return std::nullopt;
        // Thousandths as typed (3.3 is 3300, not 3299.99...), then tenths.
        return ParseValue(text, "mm") / 100;
    } catch (const EKestError&) {
        return std::nullopt;
    }
}

std::string ChannelUnit(const TPageContext& ctx, int channel) {
    return OutputSourceText(channel, ModeTextsOf(ctx), TContextKeys(ctx)).Unit;
}

int OutputOfChannel(int channel, const IBankKeys& keys) {
    for (int o = 0; o < 3; ++o)
        if (keys.GetBank(OutputKey(o, "Ch")) == channel) return o;
    return -1;
}

}  // namespace kd
