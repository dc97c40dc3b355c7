#include "measure/measure_page_logic.h"

#include <algorithm>

#include "common/log.h"

namespace kd {

namespace {
constexpr OutputKeys kOutputKeys[4] = {
    {"O1.Ch", "O1.ULimit", "O1.LLimit", "O1.Action"},
    {"O2.Ch", "O2.ULimit", "O2.LLimit", "O2.Action"},
    {"O3.Ch", "O3.ULimit", "O3.LLimit", "O3.Action"},
    {"Ana.Ch", "Ana.ULimit", "Ana.LLimit", nullptr},
};
constexpr const char* kOffsetKeys[6] = {"C1.Offset", "C2.Offset", "C3.Offset",
                                        "C4.Offset", "C5.Offset", "C6.Offset"};
constexpr const char* kZAdjKeys[6] = {"C1.ZAdj", "C2.ZAdj", "C3.ZAdj",
                                      "C4.ZAdj", "C5.ZAdj", "C6.ZAdj"};

struct Limits {
    int ch;
    int64_t upper, lower;
};

Limits ReadLimits(int n, const IBankKeys& keys) {
    const OutputKeys& k = kOutputKeys[n];
    Limits l;
    l.ch = keys.GetBank(k.Ch);
    const char* off = ChannelOffsetKey(l.ch);
    const int64_t offset = off ? keys.GetBank(off) : 0;
    l.upper = keys.GetBank(k.ULimit) + offset;
    l.lower = keys.GetBank(k.LLimit) + offset;
    return l;
}
}  // namespace

const OutputKeys& OutputKeyNames(int n) {
    return kOutputKeys[std::clamp(n, 0, 3)];
}
const char* ChannelOffsetKey(int ch) {
    return ch >= 0 && ch < 6 ? kOffsetKeys[ch] : nullptr;
}
const char* ChannelZAdjKey(int ch) {
    return ch >= 0 && ch < 6 ? kZAdjKeys[ch] : nullptr;
}

int32_t AnalogEstimate(int32_t v, int32_t lower, int32_t upper) {
    if (v == kNoValue || lower >= upper) return 24000;
    // 64 bits: (v - L) * 16000 overflows 32 bits beyond 134 mm.
    int64_t i =
        (static_cast<int64_t>(v) - lower) * 16000 / (static_cast<int64_t>(upper) - lower) + 4000;
    if (i < 0 || i > 24000) return 24000;
    return static_cast<int32_t>(i);
}

bool ShowsMeasuredCurrent(int softVersion) {
    return softVersion == 0 || softVersion >= 79;
}

MeasureView RenderMeasure(const MeasureLive& live, const IBankKeys& keys,
                          const std::array<std::string, 4>& unitTexts, int displDecimal,
                          const std::array<GaugeGeometry, 3>& gauges) {
    MeasureView view;
    if (live.Stale) {
        // Last values of a link that is not polling would look live: show none.
        for (size_t n = 0; n < 3; ++n) {
            view.Outputs[n].Color = kJudgeGrey;
            view.Outputs[n].Text = FormatValue(kNoValue, displDecimal, unitTexts[n]);
        }
        view.AnalogColor = kJudgeGrey;
        view.AnalogValueText = FormatValue(kNoValue, displDecimal, unitTexts[3]);
        view.CurrentText = "-.---";
        view.SampleText = Format("%.2f", live.SamplingPeriod * 5 * 0.001);
        view.Stale = true;
        return view;
    }
    // Analog output.
    {
        Limits l = ReadLimits(3, keys);
        int64_t v;
        int64_t current;
        if (live.SoftVersion < 77) {
            v = l.ch >= 0 && l.ch < 6 ? live.Channel[static_cast<size_t>(l.ch)] : kNoValue;
            const int32_t lo =
                static_cast<int32_t>(std::clamp<int64_t>(l.lower, INT32_MIN, INT32_MAX));
            const int32_t up =
                static_cast<int32_t>(std::clamp<int64_t>(l.upper, INT32_MIN, INT32_MAX));
            current = AnalogEstimate(static_cast<int32_t>(v), lo, up);
        } else {
            v = live.Output[3];
            current = live.AnalogCurrent;
        }
        view.CurrentText = Format("%.3f", current * 0.001);
        view.AnalogValueText = FormatValue(v, displDecimal, unitTexts[3]);
        view.AnalogColor = (v < l.lower || v > l.upper) ? kJudgeRed : kJudgeLime;
    }
    for (int n = 0; n < 3; ++n) {
        OutputView& o = view.Outputs[static_cast<size_t>(n)];
        Limits l = ReadLimits(n, keys);
        int64_t v = live.Output[static_cast<size_t>(n)];
        const int action = keys.GetBank(kOutputKeys[n].Action);
        if (action == 0 || action == 1 || action == 2 || action == 5) {
            o.Color = (live.OutputDisplayBits >> n) & 1u ? kJudgeRed : kJudgeLime;
            if (l.upper > l.lower) {
                const GaugeGeometry& g = gauges[static_cast<size_t>(n)];
                if (v > l.upper)
                    o.PointerLeft = g.Left + g.Width - 5;
                else if (v < l.lower)
                    o.PointerLeft = g.Left;
                else
                    o.PointerLeft = g.Left + static_cast<int>((v - l.lower) * (g.Width - 5) /
                                                              (l.upper - l.lower));
                o.PointerVisible = true;
            }
        } else {
            // Ready and Strobe carry no value.
            o.Color = kJudgeGrey;
            v = kNoValue;
        }
        o.Text = FormatValue(v, displDecimal, unitTexts[static_cast<size_t>(n)]);
    }
    view.Laser = live.LaserOn;
    view.Hold = live.HoldOn;
    view.Trigger = live.InternalTrigger;
    view.SampleText = Format("%.2f", live.SamplingPeriod * 5 * 0.001);
    return view;
}

std::array<OutputSource, 4> MeasureSources(const MeasModeTexts& texts, const IBankKeys& keys) {
    std::array<OutputSource, 4> out;
    for (int n = 0; n < 4; ++n)
        out[static_cast<size_t>(n)] =
            OutputSourceText(keys.GetBank(kOutputKeys[n].Ch), texts, keys);
    return out;
}

uint32_t MidLineMaskFor(const IBankKeys& keys) {
    uint32_t mask = 0;
    for (int n = 0; n < 4; ++n) {
        int mode = AreaMode(n, keys);
        if (mode == 3 || mode == 6 || mode == 7) mask |= 1u << n;
    }
    return mask;
}

std::span<const ProfilePoint> MeasureFilePoints(std::span<const ProfilePoint> buffer, int count) {
    if (count <= 1) return {};
    size_t n = std::min(static_cast<size_t>(count), buffer.size());
    return buffer.subspan(1, n - 1);
}

}  // namespace kd
