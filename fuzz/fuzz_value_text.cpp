// Typed values: ParseValue and ParseValueMm with any text, unit and decimal
// separator either refuse the text or give a number that formats and reads
// back the same.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/kest_error.h"
#include "fuzz/fuzz_util.h"
#include "measure/value_text.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kUnits[] = {"mm", "um", "mm2", "um2", "deg.", "", "MM", "Um2"};
    const std::string_view unit = kUnits[data[0] & 7];
    const char sep = (data[0] & 8) ? ',' : '.';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const int32_t v = kd::ParseValue(text, unit, sep);
        // eight significant digits are shown: those read back exactly
        if (kd::IsShownValue(v) && v > -100000000 && v < 100000000 &&
            (unit == "um" || unit == "mm")) {
            const std::string shown = kd::FormatValue(v, unit == "um" ? 0 : 3, unit, sep);
            Check(kd::ParseValue(shown, unit, sep) == v);
        }
    } catch (const kd::EKestError&) {
    }
    try {
        const double mm = kd::ParseValueMm(text, unit, sep);
        (void)mm;
    } catch (const kd::EKestError&) {
    }
    return 0;
}
