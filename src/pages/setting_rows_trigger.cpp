// The trigger page's rows: inputs, zero-set target, input polarity and
// filter, trigger mode, pulse count and delay.
#include "pages/setting_rows.h"

namespace kd {

namespace {

using namespace rows;

// List positions and the values the image keeps for them.
constexpr int kTrigActionMap[] = {0, 1, 3};  // Continuous, OneShot, PulseCount

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

}  // namespace

void AppendTriggerRows(std::vector<TSetting>& t) {
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
        // Another stored action leaves the list as it is.
        s.KeepUnknown = true;
        t.push_back(s);
    }
    t.push_back(Edit("TPTrigger", "TrigCountEdit", "TrigCount", pk::TrigCount, B::Bank,
                     cmd::SET_PCNT, A::Control, "SET_PCNT(%d)", A::Control));
    t.push_back(Edit("TPTrigger", "TrigDelayEdit", "TrigDelay", pk::TrigDelay, B::Bank,
                     cmd::SET_TDLY, A::Raw, "SET_TDLY(%d)", A::Raw));
}

}  // namespace kd
