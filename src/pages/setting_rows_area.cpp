// The area page's rows: per area its function, directions, correction,
// inflection threshold and the four edges of its rectangle.
#include <algorithm>
#include <cmath>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "measure/value_text.h"
#include "pages/area_settings.h"
#include "pages/setting_rows.h"

namespace kd {

bool HasInflect(const TSensorVersion& v) {
    return !(v.Soft >= 1 && v.Soft <= 74);
}

int AreaFunctionCount(const TSensorVersion& v) {
    return HasInflect(v) ? kAreaFunctions : kAreaFunctions - 1;
}

bool IsMidLineFunction(int func) {
    return func == 3 || func == 6 || func == 7;
}

std::string AreaKey(int area, const char* field) {
    return Format("A%d.%s", area + 1, field);
}

std::string AreaUnit(const TPageContext& ctx) {
    return ctx.Display.DisplUnit == 0 ? "mm" : "um";
}

std::string AreaEdgeText(const TPageContext& ctx, int um) {
    return FormatValue(um, ctx.Display.DisplDecimal, AreaUnit(ctx));
}

std::optional<int> ParseAreaEdge(const TPageContext& ctx, std::string_view text) {
    try {
        return ParseValue(text, AreaUnit(ctx));
    } catch (const EKestError&) {
        return std::nullopt;
    }
}

TAreaRectResult ApplyAreaRect(TPageContext& ctx, int area, int left, int top, int right,
                              int bottom) {
    TAreaRectResult r;
    r.Held = OrderAndClampAreaRect(left, top, right, bottom);
    if (area < 0 || area >= 4) return r;
    if (ctx.Sync()) {
        try {
            r.Held = ctx.Worker.SetAreaRect(area, left, top, right, bottom);
            r.Sent = true;
        } catch (const ECommErrData&) {
            WriteLog(kLogError, "SetArea; invalid rect");
            r.Refused = true;
            return r;
        }
    } else {
        // As typed, each edge only held within what its key holds (a value
        // beyond would come back as another one). Not ordered: half-typed
        // edges must not reshuffle the others.
        const int i = area + 1;
        auto hold = [&](int v, int keyId) {
            return std::clamp(v, static_cast<int>(std::ceil(ctx.Image.GetBankMin(keyId))),
                              static_cast<int>(std::floor(ctx.Image.GetBankMax(keyId))));
        };
        r.Held = {hold(left, pk::AreaLeft(i)), hold(top, pk::AreaTop(i)),
                  hold(right, pk::AreaRight(i)), hold(bottom, pk::AreaBottom(i))};
    }
    ctx.SetBank(AreaKey(area, "Left"), r.Held.x0);
    ctx.SetBank(AreaKey(area, "Top"), r.Held.y0);
    ctx.SetBank(AreaKey(area, "Right"), r.Held.x1);
    ctx.SetBank(AreaKey(area, "Bottom"), r.Held.y1);
    return r;
}

namespace {

using namespace rows;

const char* FuncOfSensor(const TPageContext& ctx, int v) {
    if (v < AreaFunctionCount(ctx.State.SensorVersion)) return nullptr;
    return "Inflect is not a function of this sensor's software";
}

// One edge typed alone: the other three as the image holds them.
template <int Edge>
TSettingOutcome ApplyEdge(const TSetting& s, TPageContext& ctx, int v) {
    const int n = s.Number;
    int e[4] = {ctx.GetBank(AreaKey(n, "Left")), ctx.GetBank(AreaKey(n, "Top")),
                ctx.GetBank(AreaKey(n, "Right")), ctx.GetBank(AreaKey(n, "Bottom"))};
    e[Edge] = v;
    const TAreaRectResult r = ApplyAreaRect(ctx, n, e[0], e[1], e[2], e[3]);
    TSettingOutcome o;
    o.Value = v;
    o.Sent = r.Sent;
    if (r.Refused) {
        o.Result = TSettingOutcome::Refused;
        o.Why = "the sensor refused the rectangle";
    } else {
        o.Result = TSettingOutcome::Stored;
    }
    return o;
}

std::string EdgeTextOf(const TSetting& s, const TPageContext& ctx) {
    return AreaEdgeText(ctx, StoredValue(s, ctx));
}

std::optional<int> EdgeValueOf(const TSetting&, const TPageContext& ctx, std::string_view text) {
    return ParseAreaEdge(ctx, text);
}

std::string InflTextOf(const TSetting& s, const TPageContext& ctx) {
    const int v = StoredValue(s, ctx);
    return v >= 1 ? "+" + std::to_string(v) : std::to_string(v);
}

TSetting AreaList(const char* control, const char* key, int keyId, int n, int items, uint16_t c,
                  const char* log) {
    TSetting s = List("TPArea", control, key, keyId, B::Bank, items, c, log);
    s.Number = n;
    s.Payload = P::NumberWord;
    s.LogArgs[0] = A::Number;
    s.LogArgs[1] = A::Control;
    return s;
}

}  // namespace

void AppendAreaRows(std::vector<TSetting>& t) {
    // The page edits one area at a time; each area's rows carry its number
    // and a control name of their own ("AreaModeCombo#2").
    static const char* const kNames[4][9] = {{"A1.Func", "A1.Dir", "A1.SDR", "A1.Cmp", "A1.Infl",
                                              "A1.Left", "A1.Top", "A1.Right", "A1.Bottom"},
                                             {"A2.Func", "A2.Dir", "A2.SDR", "A2.Cmp", "A2.Infl",
                                              "A2.Left", "A2.Top", "A2.Right", "A2.Bottom"},
                                             {"A3.Func", "A3.Dir", "A3.SDR", "A3.Cmp", "A3.Infl",
                                              "A3.Left", "A3.Top", "A3.Right", "A3.Bottom"},
                                             {"A4.Func", "A4.Dir", "A4.SDR", "A4.Cmp", "A4.Infl",
                                              "A4.Left", "A4.Top", "A4.Right", "A4.Bottom"}};
    static const char* const kControls[4][9] = {
        {"AreaModeCombo#1", "AreaDirCombo#1", "PosDirCombo#1", "OrgOffsetCombo#1", "InflEdit#1",
         "AreaLeftEdit#1", "AreaTopEdit#1", "AreaRightEdit#1", "AreaBottomEdit#1"},
        {"AreaModeCombo#2", "AreaDirCombo#2", "PosDirCombo#2", "OrgOffsetCombo#2", "InflEdit#2",
         "AreaLeftEdit#2", "AreaTopEdit#2", "AreaRightEdit#2", "AreaBottomEdit#2"},
        {"AreaModeCombo#3", "AreaDirCombo#3", "PosDirCombo#3", "OrgOffsetCombo#3", "InflEdit#3",
         "AreaLeftEdit#3", "AreaTopEdit#3", "AreaRightEdit#3", "AreaBottomEdit#3"},
        {"AreaModeCombo#4", "AreaDirCombo#4", "PosDirCombo#4", "OrgOffsetCombo#4", "InflEdit#4",
         "AreaLeftEdit#4", "AreaTopEdit#4", "AreaRightEdit#4", "AreaBottomEdit#4"}};
    using Apply = TSettingOutcome (*)(const TSetting&, TPageContext&, int);
    static constexpr Apply kEdges[4] = {ApplyEdge<0>, ApplyEdge<1>, ApplyEdge<2>, ApplyEdge<3>};
    for (int n = 0; n < 4; ++n) {
        const int i = n + 1;
        const char* const* k = kNames[n];
        const char* const* c = kControls[n];
        {
            TSetting s = AreaList(c[0], k[0], pk::AreaFunc(i), n, kAreaFunctions, cmd::SET_AREA_MOD,
                                  "SET_AREA_MOD(ch%d, %d)");
            s.Check = FuncOfSensor;
            t.push_back(s);
        }
        // The Dir key goes out with SET_AREA_SDR, the SDR key with SET_AREA_DIR.
        t.push_back(AreaList(c[1], k[1], pk::AreaDir(i), n, 2, cmd::SET_AREA_SDR,
                             "SET_AREA_SDR(ch%d, %d)"));
        t.push_back(AreaList(c[2], k[2], pk::AreaSDR(i), n, 2, cmd::SET_AREA_DIR,
                             "SET_AREA_DIR(ch%d, %d)"));
        t.push_back(AreaList(c[3], k[3], pk::AreaCmp(i), n, 2, cmd::SET_AREA_CMP,
                             "SET_AREA_CMP(ch%d, %d)"));
        {
            TSetting s = Edit("TPArea", c[4], k[4], pk::AreaInfl(i), B::Bank, cmd::SET_AREA_INFL,
                              A::Control, "SET_AREA_INFL(chA, %d)", A::Control);
            s.Number = n;
            s.Payload = P::NumberWord;
            s.TextOf = InflTextOf;
            t.push_back(s);
        }
        const int edgeIds[4] = {pk::AreaLeft(i), pk::AreaTop(i), pk::AreaRight(i),
                                pk::AreaBottom(i)};
        for (int e = 0; e < 4; ++e) {
            TSetting s = Edit("TPArea", c[5 + e], k[5 + e], edgeIds[e], B::Bank, cmd::AREA_RECT,
                              A::Control, "AREA_RECT(ch%d, %d)", A::Number);
            s.Number = n;
            s.LogArgs[1] = A::Control;
            s.Apply = kEdges[e];
            s.Clamps = true;
            // Typed and shown in the display unit, as the page's edits.
            s.TextOf = EdgeTextOf;
            s.ValueOfText = EdgeValueOf;
            t.push_back(s);
        }
    }
}

}  // namespace kd
