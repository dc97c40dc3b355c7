// The storage settings page's rows: record count, start condition, start
// position and target, threshold, intermittent count and repeat. They are
// sent while a sensor is linked, whatever Sync says.
#include "pages/setting_rows.h"
#include "pages/storage_logic.h"

namespace kd {

namespace {

using namespace rows;

constexpr const char* kPage = "TPStoSett";

bool TwoStateRepeatSensor(const TSensorVersion& v) {
    return v.Soft >= 1 && v.Soft <= 75;
}
bool ThreeStateRepeatSensor(const TSensorVersion& v) {
    return !TwoStateRepeatSensor(v);
}

TSetting Linked(TSetting s) {
    s.Send = TSettingSend::Linked;
    return s;
}

}  // namespace

void AppendStorageRows(std::vector<TSetting>& t) {
    t.push_back(Linked(Edit(kPage, "StrBufEdit", "StrBuf", pk::StrBuf, B::Sys, cmd::SET_STR_BUF,
                            A::Control, "SET_STR_BUF(%d)", A::Control)));
    t.push_back(Linked(List(kPage, "StrSttCombo", "StrStt", pk::StrStt, B::Sys, 6, cmd::SET_STR_STT,
                            "SET_STR_STT(%d)")));
    t.push_back(Linked(Edit(kPage, "StrStlEdit", "StrStl", pk::StrStl, B::Sys, cmd::SET_STR_STL,
                            A::Control, "SET_STR_STL(%d)", A::Control)));
    t.push_back(Linked(List(kPage, "StrStcCombo", "StrStc", pk::StrStc, B::Sys, 6, cmd::SET_STR_STC,
                            "SET_STR_STC(%d)")));
    {
        // The control value is the stored thousandths; the text is a decimal
        // in the target channel's unit, in the window and in kdctl alike.
        TSetting s = Linked(Edit(kPage, "StrThdEdit", "StrThd", pk::StrThd, B::Sys,
                                 cmd::SET_STR_THD, A::Control, "SET_STR_THD(%d)", A::Control));
        s.Payload = P::Long;
        s.ValueOfText = [](const TSetting&, const TPageContext& ctx, std::string_view text) {
            return StorageThresholdOfText(ctx, text);
        };
        s.TextOf = [](const TSetting& row, const TPageContext& ctx) {
            return StorageThresholdText(ctx, StoredValue(row, ctx));
        };
        t.push_back(s);
    }
    {
        // 0 records every sample, as 1 does. The field has 13 bits: 8192
        // would be stored as 0, so the range ends at 8191.
        TSetting s = Linked(Edit(kPage, "StrSmpEdit", "StrSmp", pk::StrSmp, B::Sys,
                                 cmd::SET_STR_SMP, A::Control, "SET_STR_SMP(%d)", A::Control));
        s.Min = 0;
        s.Max = 8191;
        t.push_back(s);
    }
    {
        TSetting s = Linked(List(kPage, "StrRpt0", "StrRpt", pk::StrRpt, B::Sys, 2,
                                 cmd::SET_STR_RPT, "SET_STR_RPT(%d)"));
        s.Sendable = TwoStateRepeatSensor;
        t.push_back(s);
    }
    {
        // The three-state form of the same setting (software 0 or 76 on).
        TSetting s = Linked(List(kPage, "StrRpt1", "StrRpt3", pk::StrRpt3, B::Sys, 3,
                                 cmd::SET_STR_RPT, "SET_STR_RPT(%d)"));
        s.Sendable = ThreeStateRepeatSensor;
        t.push_back(s);
    }
}

}  // namespace kd
