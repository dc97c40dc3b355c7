#include "measure/value_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// Fixed notation with `decimals` digits, rounded to at most 8 significant
// digits first (digits beyond those are shown as zeros).
std::string FixedText(double x, int decimals, char sep) {
    constexpr int kPrecision = 8;
    double mag = std::fabs(x);
    int intDigits = mag >= 1.0 ? static_cast<int>(std::floor(std::log10(mag))) + 1 : 0;
    // Guard against log10 landing just below a power of ten.
    if (mag >= 1.0 && mag >= std::pow(10.0, intDigits)) ++intDigits;
    int shown = std::clamp(kPrecision - intDigits, 0, decimals);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", shown, x);
    std::string s = buf;
    // A negative number that rounds to zero shows without its sign.
    if (!s.empty() && s[0] == '-' && s.find_first_of("123456789") == std::string::npos)
        s.erase(0, 1);
    if (shown < decimals) {
        if (shown == 0) s += '.';
        s.append(static_cast<size_t>(decimals - shown), '0');
    }
    std::replace(s.begin(), s.end(), '.', sep);
    return s;
}

// Reads a floating number: optional blanks, sign, digits with the given
// decimal separator, optional exponent, optional blanks.
double TextToFloat(std::string_view text, char sep) {
    std::string_view t = Trimmed(text);
    std::string buf;
    bool digits = false;
    size_t i = 0;
    auto peek = [&]() { return i < t.size() ? t[i] : '\0'; };
    if (peek() == '+' || peek() == '-') buf += t[i++];
    while (std::isdigit(static_cast<unsigned char>(peek()))) buf += t[i++], digits = true;
    if (peek() == sep) {
        buf += '.';
        ++i;
        while (std::isdigit(static_cast<unsigned char>(peek()))) buf += t[i++], digits = true;
    }
    if (digits && (peek() == 'e' || peek() == 'E')) {
        buf += t[i++];
        if (peek() == '+' || peek() == '-') buf += t[i++];
        bool expDigits = false;
        while (std::isdigit(static_cast<unsigned char>(peek()))) buf += t[i++], expDigits = true;
        if (!expDigits) digits = false;
    }
    if (!digits || i != t.size())
        throw EKestError("'" + std::string(text) + "' is not a valid floating point value");
    errno = 0;
    double x = std::strtod(buf.c_str(), nullptr);
    if (!std::isfinite(x))
        throw EKestError("'" + std::string(text) + "' is not a valid floating point value");
    return x;
}

}  // namespace

bool IsShownValue(int64_t value) {
    return value >= -0x10000000LL && value <= 0x0FFFFFFFLL;
}

std::string FormatValue(int64_t value, int decimals, std::string_view unit, char decimalSeparator) {
    decimals = std::clamp(decimals, 0, 18);
    const bool um = SameText(unit, "um");
    const bool um2 = SameText(unit, "um2");
    if (!IsShownValue(value)) {
        if (um || um2) return "---";
        std::string s = "-";
        if (decimals > 0) {
            s += decimalSeparator;
            s.append(static_cast<size_t>(decimals), '-');
        }
        return s;
    }
    // 64-bit: the largest shown value times 1000 does not fit 32 bits.
    if (um2) return std::to_string(value * 1000);
    if (um) return std::to_string(value);
    return FixedText(static_cast<double>(value) * 0.001, decimals, decimalSeparator);
}

int32_t ParseValue(std::string_view text, std::string_view unit, char decimalSeparator) {
    double x = TextToFloat(text, decimalSeparator);
    if (SameText(unit, "um2"))
        x *= 0.001;
    else if (!SameText(unit, "um"))
        x *= 1000.0;
    // Truncated toward zero, but a typed decimal that scales to a whole number
    // is that number: "32.666" mm is 32666 um, although 32.666 x 1000 comes
    // out as 32665.99999999999 in binary floating point.
    const double nearest = std::round(x);
    double t =
        std::abs(x - nearest) <= 1e-12 * std::max(1.0, std::abs(x)) ? nearest : std::trunc(x);
    if (t < -2147483648.0 || t > 2147483647.0)
        throw EKestError("'" + std::string(text) + "' is out of range");
    return static_cast<int32_t>(t);
}

double ParseValueMm(std::string_view text, std::string_view unit, char decimalSeparator) {
    double x = TextToFloat(text, decimalSeparator);
    if (SameText(unit, "um")) return x * 0.001;
    if (SameText(unit, "um2")) return x * 0.000001;
    return x;
}

std::string ModeUnit(int mode, const MeasModeTexts& texts) {
    if (mode < 0 || static_cast<size_t>(mode) >= texts.Units.size()) return "?";
    const std::string& entry = texts.Units[static_cast<size_t>(mode)];
    // Edge Position and Diameter stay in millimetres in the micrometre display.
    if (texts.DisplUnit == 1 && SameText(Trimmed(entry), "mm") && mode != 6 && mode != 11)
        return "um";
    return entry;
}

std::string ModeShort(int mode, const MeasModeTexts& texts) {
    if (mode < 0 || static_cast<size_t>(mode) >= texts.Shorts.size()) return "???";
    return texts.Shorts[static_cast<size_t>(mode)];
}

int AreaMode(int area, const IBankKeys& keys) {
    static constexpr const char* kFuncKeys[4] = {"A1.Func", "A2.Func", "A3.Func", "A4.Func"};
    if (area < 0 || area > 3) return -1;
    return keys.GetBank(kFuncKeys[area]);
}

namespace {

struct CalcOperands {
    int A = -1, B = -1, Op = 0;
};

CalcOperands ReadCalc(int channel, const IBankKeys& keys) {
    CalcOperands c;
    if (channel == 4) {
        c.A = keys.GetBank("Op1.A");
        c.B = keys.GetBank("Op1.B");
        c.Op = keys.GetBank("Op1.Op");
    } else {
        c.A = keys.GetBank("Op2.A");
        c.B = keys.GetBank("Op2.B");
        c.Op = keys.GetBank("Op2.Op");
    }
    return c;
}

bool ValidArea(int a) {
    return a >= 0 && a <= 3;
}

std::string CalcText(const CalcOperands& c, const MeasModeTexts& texts, const IBankKeys& keys) {
    const char* op = c.Op == 0 ? "+" : c.Op == 1 ? "-" : "?";
    return Format("%s%d:%s %s %s%d:%s", texts.ALabel.c_str(), c.A + 1,
                  ModeShort(AreaMode(c.A, keys), texts).c_str(), op, texts.ALabel.c_str(), c.B + 1,
                  ModeShort(AreaMode(c.B, keys), texts).c_str());
}

}  // namespace

std::string SourceText(int channel, const MeasModeTexts& texts, const IBankKeys& keys) {
    if (channel >= 0 && channel <= 3) return ": " + ModeShort(AreaMode(channel, keys), texts);
    if (channel == 4 || channel == 5) {
        CalcOperands c = ReadCalc(channel, keys);
        if (!ValidArea(c.A) || !ValidArea(c.B)) return "?";
        return " [" + CalcText(c, texts, keys) + "]";
    }
    return "?";
}

OutputSource OutputSourceText(int channel, const MeasModeTexts& texts, const IBankKeys& keys) {
    OutputSource out;
    if (channel >= 0 && channel <= 3) {
        int mode = AreaMode(channel, keys);
        out.Unit = ModeUnit(mode, texts);
        out.Source = texts.AreaLabel + std::to_string(channel + 1) + ":" + ModeShort(mode, texts);
        out.HasSource = true;
    } else if (channel == 4 || channel == 5) {
        CalcOperands c = ReadCalc(channel, keys);
        out.Unit = ModeUnit(AreaMode(c.A, keys), texts);
        if (ValidArea(c.A) && ValidArea(c.B)) {
            out.Source = "[" + CalcText(c, texts, keys) + "]";
            out.HasSource = true;
        }
    } else {
        out.Unit = "?";
    }
    return out;
}

}  // namespace kd
