#include "pages/settings_table.h"

#include "pages/setting_rows.h"

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

std::vector<TSetting> BuildTable() {
    std::vector<TSetting> t;
    // Each page's rows live in a file of their own (setting_rows_*.cpp).
    AppendTriggerRows(t);
    AppendCameraRows(t);
    AppendProfileRows(t);
    AppendAreaRows(t);
    AppendOperationRows(t);
    AppendOutputRows(t);
    AppendCommonRows(t);
    AppendStorageRows(t);
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
    } else if (!s.Clamps) {
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
    if (s.Apply) return s.Apply(s, ctx, v);
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
    return s.Block == B::Sys ? ctx.Image.GetSysSigned(s.KeyId)
                             : ctx.Image.GetBank(ctx.CurrentBank(), s.KeyId);
}

std::optional<int> ControlValueOf(const TSetting& s, int stored) {
    if (s.Kind != K::List) return stored;
    if (s.ShownOf) return s.ShownOf(stored);
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
    if (s.StoredOf) return s.StoredOf(StoredValue(s, ctx), control);
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
    if (s.NumberOf) {
        TSetting numbered = s;
        numbered.Number = s.NumberOf(ctx);
        numbered.NumberOf = nullptr;
        return SendSetting(numbered, ctx, control);
    }
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
    if (s.AfterSend) s.AfterSend(ctx, control);
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
    const std::optional<int> v =
        s.ValueOfText ? s.ValueOfText(s, ctx, text) : ParseSettingInteger(text);
    if (!v) return Refusal(TSettingOutcome::NotANumber, 0, "not a number");
    return EditSettingValue(s, ctx, *v);
}

TSettingOutcome EditSettingValue(const TSetting& s, TPageContext& ctx, int v) {
    if (auto refused = Checked(s, ctx, v)) return *refused;
    // A row with a way of its own (the area rectangle) goes out on every
    // change, as its page sends it.
    if (!s.Apply && v == StoredValue(s, ctx)) {
        TSettingOutcome o;
        o.Result = TSettingOutcome::Unchanged;
        o.Value = v;
        return o;
    }
    return StoreAndSend(s, ctx, v);
}

TSettingOutcome ChooseSetting(const TSetting& s, TPageContext& ctx, int value) {
    if (auto refused = Checked(s, ctx, value)) return *refused;
    return StoreAndSend(s, ctx, value);
}

std::string SettingText(const TSetting& s, const TPageContext& ctx) {
    if (s.Kind == K::Edit && s.TextOf) return s.TextOf(s, ctx);
    const std::optional<int> v = ShownValue(s, ctx);
    return v ? std::to_string(*v) : std::string();
}

TSettingOutcome ApplySettingText(const TSetting& s, TPageContext& ctx, std::string_view text) {
    if (s.Kind == K::Edit) return EditSetting(s, ctx, text);
    const std::optional<int> v = ParseSettingInteger(text);
    if (!v) return Refusal(TSettingOutcome::NotANumber, 0, "not a number");
    return ChooseSetting(s, ctx, *v);
}

}  // namespace kd
