// The common setup page's rows: the three system settings of the Sys block.
#include "pages/common_logic.h"
#include "pages/setting_rows.h"

namespace kd {

namespace {
bool OnTimingKnown(const TSensorVersion& v) {
    return SendsOnTiming(v);
}
}  // namespace

void AppendCommonRows(std::vector<TSetting>& t) {
    using namespace rows;
    t.push_back(List("TPCommon", "SysDirCombo", "AxisDir", pk::AxisDir, B::Sys, 2, cmd::SET_SYS_DIR,
                     "SET_SYS_DIR(%d)"));
    t.push_back(List("TPCommon", "BCHG_MTHCombo", "BankSwitch", pk::BankSwitch, B::Sys, 2,
                     cmd::BCHG_MTH, "BCHG_MTH(%d)"));
    TSetting s = List("TPCommon", "GPIO_ONTCombo", "GpioOnT", pk::GpioOnT, B::Sys, 2,
                      cmd::SET_GPIO_ONT, "SET_GPIO_ONT(%d)");
    s.Sendable = OnTimingKnown;
    t.push_back(s);
}

}  // namespace kd
