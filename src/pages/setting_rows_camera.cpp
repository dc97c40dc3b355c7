// The camera page's rows: camera mode (two keys read as one field, with the
// HDR shutter read back), gain, the two shutter times, the threshold and the
// reject level.
#include <algorithm>

#include "common/log.h"
#include "link/comm_error.h"
#include "pages/camera_logic.h"
#include "pages/setting_rows.h"

namespace kd {

namespace {

using namespace rows;

// CamModeNR holds CamMode in its bits 1-0 and CamNR in bit 4; positions
// Hi-res, Hi-spd, HDR, NR.
constexpr int kModeField[] = {0, 2, 1, 16};
constexpr int kModeBits = 0x13;

std::optional<int> CameraModeShown(int stored) {
    return camera::CameraModePosition(stored & 3, (stored >> 4) & 1);
}

int CameraModeStored(int present, int position) {
    if (position < 0 || position > 3) return present;
    return (present & ~kModeBits) | kModeField[position];
}

// The sensor may change the HDR shutter with the mode: read it back.
void CameraModeReadBack(TPageContext& ctx, int) {
    const std::vector<uint8_t> r = ctx.Worker.Command(cmd::GET_SHUTT1);
    if (r.size() < 2) throw ECommErrShort("GET_SHUTT1: short reply");
    const int us = ((r[0] << 8) | r[1]) * 5;
    const TSetting* hdr = FindSettingByKey("HDRShutter");
    const TSettingRange range = RangeOf(*hdr);
    if (us >= range.Min && us <= range.Max) ctx.SetBank("HDRShutter", us);
}

}  // namespace

void AppendCameraRows(std::vector<TSetting>& t) {
    {
        TSetting s = List("TPCamera", "CameraModeCombo", "CamModeNR", pk::CamModeNR, B::Bank, 4,
                          cmd::CAM_FUNC, "CAM_FUNC(%d)");
        s.ShownOf = CameraModeShown;
        s.StoredOf = CameraModeStored;
        s.AfterSend = CameraModeReadBack;
        t.push_back(s);
    }
    t.push_back(
        List("TPCamera", "GainCombo", "Gain", pk::Gain, B::Bank, 11, cmd::SET_SNS, "SET_SNS(%d)"));
    t.push_back(Edit("TPCamera", "ShutterEdit", "Shutter", pk::Shutter, B::Bank, cmd::SET_SHUTT0,
                     A::Raw, "SET_SHUTT0(%d)", A::Raw));
    t.push_back(Edit("TPCamera", "HdrShutterEdit", "HDRShutter", pk::HDRShutter, B::Bank,
                     cmd::SET_SHUTT1, A::Raw, "SET_SHUTT1(%d)", A::Raw));
    t.push_back(Edit("TPCamera", "ThresholdEdit", "MeasureLimit", pk::MeasureLimit, B::Bank,
                     cmd::SET_CUT_LVL, A::Control, "SET_CUT_LVL(%d)", A::Control));
    t.push_back(Edit("TPCamera", "RejectLevelEdit", "LowIntensity", pk::LowIntensity, B::Bank,
                     cmd::SET_THD_LVL, A::Control, "SET_THD_LVL(%d)", A::Control));
}

}  // namespace kd
