#pragma once
// Text conversion of measured values, limits and offsets. Values travel as
// signed integers in thousandths of the shown unit (micrometres for lengths);
// these functions are the only place where they become text and back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "measure/measure_access.h"

namespace kd {

// The no-value mark of channel and output values.
constexpr int32_t kNoValue = 0x7FFFFFFF;

// True when a value lies in the range that FormatValue shows as a number.
bool IsShownValue(int64_t value);

// value in thousandths of `unit`; unit texts compare without regard to case.
// "um" shows the integer, "um2" the integer times 1000, any other unit the
// value times 0.001 with `decimals` decimals (at most 8 significant digits).
// Values outside -0x10000000..0x0FFFFFFF show as "---" (um, um2) or "-.---".
std::string FormatValue(int64_t value, int decimals, std::string_view unit,
                        char decimalSeparator = '.');

// Reads a typed number back: "um" as it stands, "um2" times 0.001, any other
// unit times 1000, truncated toward zero. Throws EKestError when the text is
// not a number or the result does not fit a 32-bit value.
int32_t ParseValue(std::string_view text, std::string_view unit, char decimalSeparator = '.');

// The typed number in millimetres (um: x 0.001, um2: x 0.000001, else x).
double ParseValueMm(std::string_view text, std::string_view unit, char decimalSeparator = '.');

// The localised lists of measurement-mode units and short names, the display
// unit and the captions the source texts are made of.
struct MeasModeTexts {
    std::vector<std::string> Units;   // "MeasMode_units", one entry per mode
    std::vector<std::string> Shorts;  // "MeasMode_short"
    int DisplUnit = 0;                // 0 millimetres, 1 micrometres
    std::string ALabel = "A";         // caption of ALabel
    std::string AreaLabel = "Area";   // caption of AreaLabel
};

std::string ModeUnit(int mode, const MeasModeTexts& texts);
std::string ModeShort(int mode, const MeasModeTexts& texts);

// Text after an output or storage target's name: ": ave" for an area channel,
// " [A1:ave + A2:p_hgt]" for a calculation, "?" when an operand is invalid.
std::string SourceText(int channel, const MeasModeTexts& texts, const IBankKeys& keys);

// What the measurement page shows for an output fed by `channel`: the unit of
// its values and the source caption ("Area1:ave", "[A1:ave - A3:width]").
// HasSource is false when a calculation's operands are invalid: the source
// label then keeps its text.
struct OutputSource {
    std::string Unit;
    std::string Source;
    bool HasSource = false;
};
OutputSource OutputSourceText(int channel, const MeasModeTexts& texts, const IBankKeys& keys);

// Mode of area 0..3 ("A1.Func".."A4.Func"); -1 for another index.
int AreaMode(int area, const IBankKeys& keys);

}  // namespace kd
