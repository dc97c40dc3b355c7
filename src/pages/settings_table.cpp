#include "pages/settings_table.h"

#include <charconv>
#include <cmath>

#include "common/log.h"
#include "link/commands.h"

namespace kd {

namespace {

using A = TSettingArg;
using P = TSettingPayload;
using K = TSettingKind;
using B = TKeyBlock;

// List positions and the values the image keeps for them.
constexpr int kTrigActionMap[] = {0, 1, 3};  // Continuous, OneShot, PulseCount
constexpr int kExtractMap[] = {0, 2, 1};     // Hi-reso, Gap/Trans, Semi-trans

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

TSetting Input(const char* control, const char* key, int keyId, int t) {
    TSetting s{"TPTrigger", control, key, keyId, B::Sys, K::List};
    s.Number = t;
    s.Items = 2;
    s.Command = cmd::SET_GPIO_IMODE;
    s.Payload = P::NumberWord;
    s.Log = "SET_GPIO_IMODE(o%d, %d)";
    s.LogArgs[0] = A::Number;
    s.LogArgs[1] = A::Control;
    return s;
}

TSetting List(const char* page, const char* control, const char* key, int keyId, B block, int items,
              uint16_t command, const char* log) {
    TSetting s{page, control, key, keyId, block, K::List};
    s.Items = items;
    s.Command = command;
    s.Log = log;
    return s;
}

TSetting Edit(const char* page, const char* control, const char* key, int keyId, B block,
              uint16_t command, TSettingArg payload, const char* log, TSettingArg logArg) {
    TSetting s{page, control, key, keyId, block, K::Edit};
    s.Command = command;
    s.PayloadArg = payload;
    s.Log = log;
    s.LogArgs[0] = logArg;
    return s;
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

std::vector<TSetting> BuildTable() {
    std::vector<TSetting> t;
    // ---- inputs and trigger
    t.push_back(Input("IN1Combo", "INPUT1", pk::INPUT1, 0));
    t.push_back(Input("IN2Combo", "INPUT2", pk::INPUT2, 1));
    t.push_back(Input("IN3Combo", "INPUT3", pk::INPUT3, 2));
    t.push_back(Input("IN4Combo", "INPUT4", pk::INPUT4, 3));
    t.push_back(List("TPTrigger", "ZeroTargetCombo", "ZeroTarget", pk::ZeroTarget, B::Sys, 5,
                     cmd::SET_GPIO_ZOUT, "KEST_SET_GPIO_ZOUT(%d)"));
    {
        TSetting s = List("TPTrigger", "ExtPolarCombo", "InputsPolar", pk::InputsPolar, B::Sys, 2,
                          cmd::SET_GPIO_IPOLAR, "SET_GPIO_IPOLAR(%d)");
        s.Mask = 0x55;
        t.push_back(s);
    }
    t.push_back(Edit("TPTrigger", "TrigFilterEdit", "InputFilter", pk::InputFilter, B::Sys,
                     cmd::SET_GPIO_IFILL, A::Raw, "SET_GPIO_IFILL(%d)", A::Control));
    {
        TSetting s = List("TPTrigger", "TrigModeCombo", "TrigAction", pk::TrigAction, B::Bank, 3,
                          cmd::SET_TMD, "SET_TMD(%d)");
        s.Map = kTrigActionMap;
        t.push_back(s);
    }
    t.push_back(Edit("TPTrigger", "TrigCountEdit", "TrigCount", pk::TrigCount, B::Bank,
                     cmd::SET_PCNT, A::Control, "SET_PCNT(%d)", A::Control));
    t.push_back(Edit("TPTrigger", "TrigDelayEdit", "TrigDelay", pk::TrigDelay, B::Bank,
                     cmd::SET_TDLY, A::Raw, "SET_TDLY(%d)", A::Raw));
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
    return t;
}

const TParamKey* KeyOf(const TSetting& s) {
    return FindKeyIn(s.Block, s.KeyId);
}

int ArgValue(const TSetting& s, TSettingArg arg, int control, int stored) {
    switch (arg) {
        case A::Number:
            return s.Number;
        case A::Control:
            return control;
        case A::Raw: {
            const TParamKey* k = KeyOf(s);
            const double scale = k && k->Scale > 1 ? k->Scale : 1.0;
            return static_cast<int>(std::trunc(stored / scale));
        }
        case A::Code:
            return s.Command;
        case A::None:
            break;
    }
    return 0;
}

void Store(const TSetting& s, TPageContext& ctx, int stored) {
    if (s.Block == B::Sys)
        ctx.Image.SetSys(s.KeyId, stored);
    else
        ctx.Image.SetBank(ctx.CurrentBank(), s.KeyId, stored);
}

TSettingOutcome Refusal(TSettingOutcome::TResult r, int value, std::string why) {
    TSettingOutcome o;
    o.Result = r;
    o.Value = value;
    o.Why = std::move(why);
    return o;
}

// Range and the rule between keys; nothing when the value is taken.
std::optional<TSettingOutcome> Checked(const TSetting& s, const TPageContext& ctx, int v) {
    if (s.Kind == K::List) {
        if (v < 0 || v >= s.Items)
            return Refusal(TSettingOutcome::OutOfRange, v,
                           Format("not a position of the list (0..%d)", s.Items - 1));
    } else {
        const TSettingRange r = RangeOf(s);
        if (v < r.Min || v > r.Max)
            return Refusal(TSettingOutcome::OutOfRange, v, Format("outside %d..%d", r.Min, r.Max));
    }
    if (s.Check) {
        if (const char* why = s.Check(ctx, v)) return Refusal(TSettingOutcome::Refused, v, why);
    }
    return std::nullopt;
}

TSettingOutcome StoreAndSend(const TSetting& s, TPageContext& ctx, int v) {
    TSettingOutcome o;
    o.Value = v;
    if (s.Kind == K::Line) {
        // A line reaches the image only together with the sensor: sent first.
        o.Sent = SendSetting(s, ctx, v);
        if (!o.Sent) {
            o.Result = TSettingOutcome::Unchanged;
            o.Why = "the link is not open";
            return o;
        }
        Store(s, ctx, v);
        o.Result = TSettingOutcome::Stored;
        return o;
    }
    Store(s, ctx, StoredValueFor(s, ctx, v));
    o.Result = TSettingOutcome::Stored;
    o.Sent = SendSetting(s, ctx, v);
    return o;
}

}  // namespace

std::span<const TSetting> SettingsTable() {
    static const std::vector<TSetting> table = BuildTable();
    return table;
}

std::vector<const TSetting*> SettingsOfPage(std::string_view page) {
    std::vector<const TSetting*> out;
    for (const TSetting& s : SettingsTable())
        if (page == s.Page) out.push_back(&s);
    return out;
}

const TSetting* FindSettingByKey(std::string_view key) {
    for (const TSetting& s : SettingsTable())
        if (key == s.Key) return &s;
    return nullptr;
}

const TSetting* FindSettingByControl(std::string_view control) {
    for (const TSetting& s : SettingsTable())
        if (control == s.Control) return &s;
    return nullptr;
}

TSettingRange RangeOf(const TSetting& s) {
    TSettingRange r;
    if (const TParamKey* k = KeyOf(s)) {
        // A dragged line reaches twice the key's limits, as the frame lets it.
        const double f = s.Kind == K::Line ? 2.0 : 1.0;
        r = {static_cast<int>(std::ceil(k->Min * f)), static_cast<int>(std::floor(k->Max * f))};
    }
    if (s.Min) r.Min = *s.Min;
    if (s.Max) r.Max = *s.Max;
    return r;
}

int StoredValue(const TSetting& s, const TPageContext& ctx) {
    return s.Block == B::Sys ? ctx.Image.GetSys(s.KeyId)
                             : ctx.Image.GetBank(ctx.CurrentBank(), s.KeyId);
}

std::optional<int> ControlValueOf(const TSetting& s, int stored) {
    if (s.Kind != K::List) return stored;
    if (s.Mask != 0) {
        if ((stored & s.Mask) == 0) return 0;
        if ((stored & s.Mask) == s.Mask) return 1;
        return std::nullopt;
    }
    if (!s.Map.empty()) {
        for (size_t i = 0; i < s.Map.size(); ++i)
            if (s.Map[i] == stored) return static_cast<int>(i);
        return std::nullopt;
    }
    if (stored < 0 || stored >= s.Items) return std::nullopt;
    return stored;
}

std::optional<int> ShownValue(const TSetting& s, const TPageContext& ctx) {
    return ControlValueOf(s, StoredValue(s, ctx));
}

int StoredValueFor(const TSetting& s, const TPageContext& ctx, int control) {
    if (s.Kind != K::List) return control;
    if (s.Mask != 0) {
        const int present = StoredValue(s, ctx);
        return control != 0 ? (present | s.Mask) : (present & ~s.Mask);
    }
    if (!s.Map.empty() && control >= 0 && static_cast<size_t>(control) < s.Map.size())
        return s.Map[static_cast<size_t>(control)];
    return control;
}

std::vector<uint8_t> SettingPayload(const TSetting& s, int control, int stored) {
    const int arg = ArgValue(s, s.PayloadArg, control, stored);
    Payload p;
    switch (s.Payload) {
        case P::None:
            break;
        case P::Word:
            p.W(arg);
            break;
        case P::NumberWord:
            p.W(s.Number).W(arg);
            break;
        case P::Long:
            p.L(arg);
            break;
    }
    return p.Bytes();
}

std::string SettingLogLine(const TSetting& s, int control, int stored) {
    if (!s.Log) return CommandName(s.Command);
    const int a = ArgValue(s, s.LogArgs[0], control, stored);
    const int b = ArgValue(s, s.LogArgs[1], control, stored);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return Format(s.Log, a, b);
#pragma GCC diagnostic pop
}

bool SendSetting(const TSetting& s, TPageContext& ctx, int control) {
    bool allowed = false;
    switch (s.Send) {
        case TSettingSend::Sync:
            allowed = ctx.Sync();
            break;
        case TSettingSend::Linked:
            allowed = ctx.State.LinkState != 0;
            break;
        case TSettingSend::LinkOpen:
            allowed = ctx.Worker.IsOpen();
            break;
    }
    if (!allowed) return false;
    if (s.Sendable && !s.Sendable(ctx.State.SensorVersion)) return false;
    const int stored = StoredValueFor(s, ctx, control);
    ctx.Worker.Command(s.Command, SettingPayload(s, control, stored));
    WriteLog(kLogAction, "%s", SettingLogLine(s, control, stored).c_str());
    return true;
}

std::optional<int> ParseSettingInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i >= text.size()) return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 0x7FFFFFFFLL + (negative ? 1 : 0)) return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

TSettingOutcome EditSetting(const TSetting& s, TPageContext& ctx, std::string_view text) {
    const std::optional<int> v = ParseSettingInteger(text);
    if (!v) return Refusal(TSettingOutcome::NotANumber, 0, "not a number");
    if (auto refused = Checked(s, ctx, *v)) return *refused;
    if (*v == StoredValue(s, ctx)) {
        TSettingOutcome o;
        o.Result = TSettingOutcome::Unchanged;
        o.Value = *v;
        return o;
    }
    return StoreAndSend(s, ctx, *v);
}

TSettingOutcome ChooseSetting(const TSetting& s, TPageContext& ctx, int value) {
    if (auto refused = Checked(s, ctx, value)) return *refused;
    return StoreAndSend(s, ctx, value);
}

TSettingOutcome ApplySettingText(const TSetting& s, TPageContext& ctx, std::string_view text) {
    if (s.Kind == K::Edit) return EditSetting(s, ctx, text);
    const std::optional<int> v = ParseSettingInteger(text);
    if (!v) return Refusal(TSettingOutcome::NotANumber, 0, "not a number");
    return ChooseSetting(s, ctx, *v);
}

}  // namespace kd
