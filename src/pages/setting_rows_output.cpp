// The output page's rows: for each switching output its channel, limits,
// hysteresis, action, time and polarity; the analog output's channel and
// its 20 mA and 4 mA values; the offsets of the six channels. Limits are
// kept as the image holds them (relative to the channel's offset); the page
// adds the offset for the operator.
#include <algorithm>
#include <deque>
#include <string>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/measure_model.h"
#include "measure/value_text.h"
#include "pages/output_logic.h"
#include "pages/setting_rows.h"

namespace kd {

namespace {

using namespace rows;

// Control names: output 1 uses the page's own, outputs 2 and 3 the same
// control with ":o2" / ":o3" (the page shows one output at a time).
const char* Named(const char* base, int o) {
    static std::deque<std::string> names;  // elements never move: stable c_str()
    if (o == 0 || o == 3) return base;
    names.push_back(std::string(base) + ":o" + std::to_string(o + 1));
    return names.back().c_str();
}

// Key names are kept for the table's lifetime the same way.
const char* KeyName(const std::string& key) {
    static std::deque<std::string> keys;
    keys.push_back(key);
    return keys.back().c_str();
}

// An upper limit above the lower one (a switching output), or at least the
// lower one (the analog output); the lower limit likewise.
template <int O>
const char* UpperAboveLower(const TPageContext& ctx, int v) {
    const int lower = ctx.GetBank(OutputKey(O, "LLimit"));
    if (O == 3 ? v >= lower : v > lower) return nullptr;
    return O == 3 ? "below the 4 mA value" : "not above the lower limit";
}
template <int O>
const char* LowerBelowUpper(const TPageContext& ctx, int v) {
    const int upper = ctx.GetBank(OutputKey(O, "ULimit"));
    if (O == 3 ? v <= upper : v < upper) return nullptr;
    return O == 3 ? "above the 20 mA value" : "not below the upper limit";
}

using TRule = const char* (*)(const TPageContext&, int);
constexpr TRule kUpperRules[4] = {UpperAboveLower<0>, UpperAboveLower<1>, UpperAboveLower<2>,
                                  UpperAboveLower<3>};
constexpr TRule kLowerRules[4] = {LowerBelowUpper<0>, LowerBelowUpper<1>, LowerBelowUpper<2>,
                                  LowerBelowUpper<3>};

// An offset goes out with the number of an output that evaluates its channel.
template <int Ch>
int OutputNumberOf(const TPageContext& ctx) {
    return std::max(0, OutputOfChannel(Ch, TContextKeys(ctx)));
}
template <int Ch>
const char* EvaluatedByAnOutput(const TPageContext& ctx, int) {
    return OutputOfChannel(Ch, TContextKeys(ctx)) < 0 ? "no output evaluates this channel"
                                                      : nullptr;
}
constexpr int (*kOffsetNumbers[6])(const TPageContext&) = {OutputNumberOf<0>, OutputNumberOf<1>,
                                                           OutputNumberOf<2>, OutputNumberOf<3>,
                                                           OutputNumberOf<4>, OutputNumberOf<5>};
constexpr TRule kOffsetRules[6] = {EvaluatedByAnOutput<0>, EvaluatedByAnOutput<1>,
                                   EvaluatedByAnOutput<2>, EvaluatedByAnOutput<3>,
                                   EvaluatedByAnOutput<4>, EvaluatedByAnOutput<5>};

// ---- text as the page shows and takes it

// The channel a row's value belongs to: an output's limits that of the
// output (O1.Ch, Ana.Ch), an offset its own (C1.Offset is channel 0).
int ChannelOfRow(const TSetting& s, const TPageContext& ctx) {
    const std::string key = s.Key;
    if (key.size() > 3 && key[0] == 'C' && key.find(".Offset") != std::string::npos)
        return key[1] - '1';
    return ctx.GetBank(OutputKey(s.Number, "Ch"));
}

int OffsetOfChannel(const TPageContext& ctx, int ch) {
    return ch >= 0 && ch <= 5 ? ctx.GetBank(OffsetKeyOf(ch)) : 0;
}

std::optional<int> Parsed(std::string_view text, const std::string& unit, int64_t minus) {
    try {
        const int64_t v = int64_t{ParseValue(text, unit)} - minus;
        if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
        return static_cast<int>(v);
    } catch (const EKestError&) {
        return std::nullopt;
    }
}

// A limit: shown as limit + offset of its channel, typed likewise.
std::string LimitText(const TSetting& s, const TPageContext& ctx) {
    const int ch = ChannelOfRow(s, ctx);
    return FormatValue(int64_t{StoredValue(s, ctx)} + OffsetOfChannel(ctx, ch),
                       ctx.Display.DisplDecimal, ChannelUnit(ctx, ch));
}
std::optional<int> LimitValue(const TSetting& s, const TPageContext& ctx, std::string_view text) {
    const int ch = ChannelOfRow(s, ctx);
    return Parsed(text, ChannelUnit(ctx, ch), OffsetOfChannel(ctx, ch));
}

// An offset: in its channel's unit, at most two decimals.
std::string OffsetText(const TSetting& s, const TPageContext& ctx) {
    return FormatValue(StoredValue(s, ctx), std::min(ctx.Display.DisplDecimal, 2),
                       ChannelUnit(ctx, ChannelOfRow(s, ctx)));
}
std::optional<int> OffsetValue(const TSetting& s, const TPageContext& ctx, std::string_view text) {
    return Parsed(text, ChannelUnit(ctx, ChannelOfRow(s, ctx)), 0);
}

// The output time in milliseconds with one decimal.
std::string TimeText(const TSetting& s, const TPageContext& ctx) {
    return Format("%.1f", StoredValue(s, ctx) * 0.1);
}
std::optional<int> TimeValue(const TSetting&, const TPageContext&, std::string_view text) {
    return ParseOutputTime(text);
}

TSetting Numbered(TSetting s, int o, const char* log) {
    s.Number = o;
    s.Payload = P::NumberWord;
    s.Log = log;
    s.LogArgs[0] = A::Number;
    s.LogArgs[1] = A::Control;
    return s;
}

TSetting OutList(const char* control, int o, const char* field, int keyId, int items,
                 uint16_t command, const char* log) {
    return Numbered(List("TPOutput", Named(control, o), KeyName(OutputKey(o, field)), keyId,
                         B::Bank, items, command, nullptr),
                    o, log);
}

TSetting OutEdit(const char* control, int o, const char* field, int keyId, uint16_t command,
                 const char* log) {
    return Numbered(Edit("TPOutput", Named(control, o), KeyName(OutputKey(o, field)), keyId,
                         B::Bank, command, A::Control, nullptr, A::Control),
                    o, log);
}

}  // namespace

void AppendOutputRows(std::vector<TSetting>& t) {
    for (int o = 0; o < 3; ++o) {
        const int k = o + 1;
        t.push_back(OutList("OutTarget1Combo", o, "Ch", pk::OutCh(k), 6, cmd::SET_GPIO_INCH,
                            "SET_GPIO_INCH(o%d, ch%d)"));
        {
            TSetting s = OutEdit("HiLimitEdit", o, "ULimit", pk::OutULimit(k), cmd::SET_GPIO_ULMT,
                                 "SET_GPIO_ULMT(o%d, %d)");
            s.Check = kUpperRules[o];
            s.TextOf = LimitText;
            s.ValueOfText = LimitValue;
            t.push_back(s);
        }
        {
            TSetting s = OutEdit("LoLimitEdit", o, "LLimit", pk::OutLLimit(k), cmd::SET_GPIO_LLMT,
                                 "SET_GPIO_LLMT(o%d, %d)");
            s.Check = kLowerRules[o];
            s.TextOf = LimitText;
            s.ValueOfText = LimitValue;
            t.push_back(s);
        }
        t.push_back(OutList("HysteresisCombo", o, "Hys", pk::OutHys(k), 16, cmd::SET_GPIO_HYS,
                            "SET_GPIO_HYS(o%d, %d)"));
        t.push_back(OutList("OutActCombo", o, "Action", pk::OutAction(k), 6, cmd::SET_GPIO_OMODE,
                            "SET_GPIO_OMODE(o%d, %d)"));
        {
            // Tenths of a millisecond (0.1 ... 204.7 ms).
            TSetting s = OutEdit("OutputTimeEdit", o, "Time", pk::OutTime(k), cmd::SET_GPIO_OTIME,
                                 "SET_GPIO_OTIME(o%d, %d)");
            s.Min = 1;
            s.Max = 2047;
            s.TextOf = TimeText;
            s.ValueOfText = TimeValue;
            t.push_back(s);
        }
        t.push_back(OutList("OutPolarCombo", o, "Polar", pk::OutPolar(k), 2, cmd::SET_GPIO_OPOLAR,
                            "SET_GPIO_OPOLAR(o%d, %d)"));
    }
    // The analog output is output 3 on the wire.
    t.push_back(OutList("AnaTarget1Combo", 3, "Ch", pk::AnaCh, 6, cmd::SET_GPIO_INCH,
                        "SET_GPIO_INCH(3, ch%d)"));
    t.back().LogArgs[0] = A::Control;
    t.back().LogArgs[1] = A::None;
    {
        TSetting s = OutEdit("Ana20mAEdit", 3, "ULimit", pk::AnaULimit, cmd::SET_GPIO_ULMT,
                             "SET_GPIO_ULMT(ANA, %d)");
        s.LogArgs[0] = A::Control;
        s.LogArgs[1] = A::None;
        s.Check = kUpperRules[3];
        s.TextOf = LimitText;
        s.ValueOfText = LimitValue;
        t.push_back(s);
    }
    {
        TSetting s = OutEdit("Ana4mAEdit", 3, "LLimit", pk::AnaLLimit, cmd::SET_GPIO_LLMT,
                             "SET_GPIO_LLMT(ANA, %d)");
        s.LogArgs[0] = A::Control;
        s.LogArgs[1] = A::None;
        s.Check = kLowerRules[3];
        s.TextOf = LimitText;
        s.ValueOfText = LimitValue;
        t.push_back(s);
    }
    // Channel offsets in µm, kept in tens of µm: the raw value travels.
    static const char* const kOffsetControls[6] = {"OffsetEdit",     "OffsetEdit:ch2",
                                                   "OffsetEdit:ch3", "OffsetEdit:ch4",
                                                   "OffsetEdit:ch5", "OffsetEdit:ch6"};
    for (int ch = 0; ch < 6; ++ch) {
        TSetting s =
            Edit("TPOutput", kOffsetControls[ch], KeyName(OffsetKeyOf(ch)), pk::ChOffset(ch + 1),
                 B::Bank, cmd::SET_SHIFT_ZERO, A::Raw, "SET_SHIFT_ZERO(o%d, %d)", A::Number);
        s.Payload = P::NumberWord;
        s.LogArgs[1] = A::Raw;
        // raw = v / 10 within the key's -32767..32767.
        s.Min = -327679;
        s.Max = 327679;
        s.NumberOf = kOffsetNumbers[ch];
        s.Check = kOffsetRules[ch];
        s.TextOf = OffsetText;
        s.ValueOfText = OffsetValue;
        t.push_back(s);
    }
}

}  // namespace kd
