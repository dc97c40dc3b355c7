// The operation page's rows: averaging of the four area channels, hold and
// span of all six channels, operands and operator of the two calculations.
#include <cmath>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/value_text.h"
#include "pages/setting_rows.h"

namespace kd {

namespace {

using namespace rows;

// Channel ch first, then the value: two words.
TSetting ChannelRow(TSetting s, int ch) {
    s.Number = ch;
    s.Payload = P::NumberWord;
    s.LogArgs[0] = A::Number;
    s.LogArgs[1] = A::Control;
    return s;
}

// The span as the page shows it: thousandths as a decimal with three places;
// a typed decimal rounded to thousandths.
std::string SpanText(const TSetting& s, const TPageContext& ctx) {
    return Format("%.3f", StoredValue(s, ctx) * 0.001);
}
std::optional<int> SpanValue(const TSetting&, const TPageContext&, std::string_view text) {
    try {
        const double x = ParseValueMm(text, "mm");
        if (!std::isfinite(x) || std::fabs(x) > 1e6) return std::nullopt;
        return static_cast<int>(std::trunc(x * 1000 + 0.5));
    } catch (const EKestError&) {
        return std::nullopt;
    }
}

}  // namespace

void AppendOperationRows(std::vector<TSetting>& t) {
    static const char* const kAve[4][2] = {{"A1.Ave", "AverageEdit#0"},
                                           {"A2.Ave", "AverageEdit#1"},
                                           {"A3.Ave", "AverageEdit#2"},
                                           {"A4.Ave", "AverageEdit#3"}};
    static const char* const kHold[6][2] = {
        {"A1.Hold", "HoldCombo#0"}, {"A2.Hold", "HoldCombo#1"},  {"A3.Hold", "HoldCombo#2"},
        {"A4.Hold", "HoldCombo#3"}, {"Op1.Hold", "HoldCombo#4"}, {"Op2.Hold", "HoldCombo#5"}};
    static const char* const kSpan[6][2] = {{"C1.Span", "SpanEdit#0"}, {"C2.Span", "SpanEdit#1"},
                                            {"C3.Span", "SpanEdit#2"}, {"C4.Span", "SpanEdit#3"},
                                            {"C5.Span", "SpanEdit#4"}, {"C6.Span", "SpanEdit#5"}};
    for (int ch = 0; ch < 4; ++ch) {
        // One range serves all four channels: that of A1.Ave.
        TSetting s = Edit("TPOperation", kAve[ch][1], kAve[ch][0], pk::AreaAve(ch + 1), B::Bank,
                          cmd::SET_CAL_AVG, A::Control, "SET_CAL_AVG(ch%d, %d)", A::Number);
        t.push_back(ChannelRow(s, ch));
    }
    for (int ch = 0; ch < 6; ++ch) {
        const int key = ch < 4 ? pk::AreaHold(ch + 1) : (ch == 4 ? pk::Op1Hold : pk::Op2Hold);
        t.push_back(ChannelRow(List("TPOperation", kHold[ch][1], kHold[ch][0], key, B::Bank, 4,
                                    cmd::SET_CAL_HLD, "SET_CAL_HLD(ch%d, %d)"),
                               ch));
    }
    for (int ch = 0; ch < 6; ++ch) {
        // Thousandths: the page shows 0.001 .. 1.999.
        TSetting s = Edit("TPOperation", kSpan[ch][1], kSpan[ch][0], pk::ChSpan(ch + 1), B::Bank,
                          cmd::SET_CAL_SPAN, A::Control, "SET_CAL_SPAN(a%d, %d)", A::Number);
        s.TextOf = SpanText;
        s.ValueOfText = SpanValue;
        t.push_back(ChannelRow(s, ch));
    }
    // The calculations, named by their channels 4 and 5.
    struct TCalc {
        const char* Key;
        const char* Control;
        int Id;
        int Items;
        uint16_t Command;
        const char* Log;
        int Ch;
    };
    static const TCalc kCalc[6] = {
        {"Op1.A", "CalcTarget1Combo#4", pk::Op1A, 4, cmd::SET_CAL_A, "SET_CAL_A(%d, %d)", 4},
        {"Op1.Op", "OperatorCombo#4", pk::Op1Op, 2, cmd::SET_CAL_CMD, "SET_CAL_CMD(%d, %d)", 4},
        {"Op1.B", "CalcTarget2Combo#4", pk::Op1B, 4, cmd::SET_CAL_B, "SET_CAL_B(%d, %d)", 4},
        {"Op2.A", "CalcTarget1Combo#5", pk::Op2A, 4, cmd::SET_CAL_A, "SET_CAL_A(%d, %d)", 5},
        {"Op2.Op", "OperatorCombo#5", pk::Op2Op, 2, cmd::SET_CAL_CMD, "SET_CAL_CMD(%d, %d)", 5},
        {"Op2.B", "CalcTarget2Combo#5", pk::Op2B, 4, cmd::SET_CAL_B, "SET_CAL_B(%d, %d)", 5},
    };
    for (const TCalc& c : kCalc)
        t.push_back(ChannelRow(
            List("TPOperation", c.Control, c.Key, c.Id, B::Bank, c.Items, c.Command, c.Log), c.Ch));
}

}  // namespace kd
