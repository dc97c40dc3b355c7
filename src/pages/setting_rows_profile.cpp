// The profile page's rows: extraction mode, alarm limit, smoothing,
// correction method and tilt, and the three correction lines.
#include "pages/setting_rows.h"

namespace kd {

namespace {

using namespace rows;

// List positions and the values the image keeps for them.
constexpr int kExtractMap[] = {0, 2, 1};  // Hi-reso, Gap/Trans, Semi-trans

// The vertical correction line stays left of the tilt position and the tilt
// position right of it, as dragging keeps them; a value sent again unchanged
// is always taken.
const char* VCorrectOrder(const TPageContext& ctx, int v) {
    if (v == ctx.GetBank("VCorrect") || v <= ctx.GetBank("TiltCorPos")) return nullptr;
    return "lies right of TiltCorPos";
}
const char* TiltCorPosOrder(const TPageContext& ctx, int v) {
    if (v == ctx.GetBank("TiltCorPos") || v >= ctx.GetBank("VCorrect")) return nullptr;
    return "lies left of VCorrect";
}

TSetting Line(const char* control, const char* key, int keyId, uint16_t command) {
    TSetting s{"TPProfile", control, key, keyId, B::Bank, K::Line};
    s.Command = command;
    s.PayloadArg = A::Raw;
    s.Log = "cmd%04X(%d)";
    s.LogArgs[0] = A::Code;
    s.LogArgs[1] = A::Raw;
    s.Send = TSettingSend::LinkOpen;
    return s;
}

}  // namespace

void AppendProfileRows(std::vector<TSetting>& t) {
    // ---- profile
    {
        TSetting s = List("TPProfile", "ModeCombo", "Extract", pk::Extract, B::Bank, 3,
                          cmd::SET_PRF_FUNC, "SET_PRF_FUNC(%d)");
        s.Map = kExtractMap;
        t.push_back(s);
    }
    t.push_back(List("TPProfile", "AlmCountCombo", "AlarmLimit", pk::AlarmLimit, B::Bank, 16,
                     cmd::SET_ALERT_LVL, "SET_ALERT_LVL(%d)"));
    t.push_back(List("TPProfile", "SmoothCombo", "Smoothing", pk::Smoothing, B::Bank, 8,
                     cmd::SET_XAXIS_FIL, "SET_XAXIS_FIL(%d)"));
    t.push_back(List("TPProfile", "OffsetFlowCombo", "CorrectMethod", pk::CorrectMethod, B::Bank, 6,
                     cmd::SET_PROF_MOD, "SET_PROF_MOD(%d)"));
    t.push_back(List("TPProfile", "TiltCorrectCombo", "TiltCorrect", pk::TiltCorrect, B::Bank, 2,
                     cmd::SET_PROF_TILT, "SET_PROF_TILT(%d)"));
    t.push_back(Line("HOffsetButton", "HCorrect", pk::HCorrect, cmd::SET_HCORRECT));
    {
        TSetting s = Line("VOffsetButton", "VCorrect", pk::VCorrect, cmd::SET_VCORRECT);
        s.Check = VCorrectOrder;
        t.push_back(s);
    }
    {
        TSetting s = Line("TiltOffsetButton", "TiltCorPos", pk::TiltCorPos, cmd::SET_TILTCOR_POS);
        s.Check = TiltCorPosOrder;
        t.push_back(s);
    }
}

}  // namespace kd
