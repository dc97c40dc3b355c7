#pragma once
// What the measurement page shows, computed from the live caches and the
// parameter image: value texts, judgement colours, gauge pointers and the
// analog current. The page's widgets only copy these results.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "measure/measure_access.h"
#include "measure/profile_data.h"
#include "measure/value_text.h"

namespace kd {

// Colours as 0x00BBGGRR.
constexpr uint32_t kJudgeRed = 0x000000FF;
constexpr uint32_t kJudgeLime = 0x0000FF00;
constexpr uint32_t kJudgeGrey = 0x00808080;

// The live values the polling tick keeps (a snapshot the page reads).
struct MeasureLive {
    std::array<int32_t, 6> Channel{kNoValue, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue};
    std::array<int32_t, 4> Output{kNoValue, kNoValue, kNoValue, kNoValue};
    int32_t AnalogCurrent = 0;  // microamperes
    uint32_t OutputDisplayBits = 0;
    bool LaserOn = false;
    bool HoldOn = false;
    bool InternalTrigger = false;
    uint16_t SamplingPeriod = 0;  // 5 µs steps
    int SoftVersion = 0;          // 0: no sensor yet
    bool Stale = false;           // not polling (LinkState not 2): nothing may look live
};

// Analog current estimated from a value between the limits (microamperes):
// 4000 at L, 20000 at U, 24000 without a value, for L >= U and beyond 0..24000.
int32_t AnalogEstimate(int32_t v, int32_t lower, int32_t upper);
// True when the page shows the measured current ("mA"), false for the
// estimate ("mA(estimated)"): version 0 (no sensor) or at least 79.
bool ShowsMeasuredCurrent(int softVersion);

struct OutputView {
    std::string Text;
    uint32_t Color = kJudgeLime;
    bool PointerVisible = false;
    int PointerLeft = 0;  // valid when PointerVisible
};

struct MeasureView {
    std::array<OutputView, 3> Outputs;
    std::string AnalogValueText;  // Displ4Label
    uint32_t AnalogColor = kJudgeLime;
    std::string CurrentText;  // DisplALabel, mA with 3 decimals
    std::string SampleText;   // SampleEdit, ms with 2 decimals
    bool Laser = false, Hold = false, Trigger = false;
    bool Stale = false;  // the values are no-value marks in grey
};

struct GaugeGeometry {
    int Left = 0;
    int Width = 80;
};

// One rendering tick. unitTexts: the texts of Unit1Label..Unit3Label and
// UnitALabel. When a switching output's limits give U <= L the gauge cannot
// be scaled: the value text and colour are still refreshed, the pointer is
// hidden.
MeasureView RenderMeasure(const MeasureLive& live, const IBankKeys& keys,
                          const std::array<std::string, 4>& unitTexts, int displDecimal,
                          const std::array<GaugeGeometry, 3>& gauges);

// Sources and units of the four outputs for RefreshFromImage.
std::array<OutputSource, 4> MeasureSources(const MeasModeTexts& texts, const IBankKeys& keys);
// MidLineMask: bit n for each area whose mode is Width, Edge Position or Edge Count.
uint32_t MidLineMaskFor(const IBankKeys& keys);

// Profile points the page's text file receives: indexes 1 .. count - 1 (the
// whole profile the plot shows).
std::span<const ProfilePoint> MeasureFilePoints(std::span<const ProfilePoint> buffer, int count);

// Key names of output n (0..2 switching, 3 analog).
struct OutputKeys {
    const char* Ch;
    const char* ULimit;
    const char* LLimit;
    const char* Action;  // nullptr for the analog output
};
const OutputKeys& OutputKeyNames(int n);
// "C1.Offset".."C6.Offset", "C1.ZAdj".."C6.ZAdj"; nullptr outside 0..5.
const char* ChannelOffsetKey(int ch);
const char* ChannelZAdjKey(int ch);

}  // namespace kd
