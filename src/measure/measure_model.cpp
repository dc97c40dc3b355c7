#include "measure/measure_model.h"

#include <algorithm>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "measure/profile_file.h"

namespace kd {

namespace {
constexpr const char* kActionNames[] = {"RefOnce",        "RefRepeat",      "LaserToggle",
                                        "Reset",          "ZeroSetToggle1", "ZeroSetToggle2",
                                        "ZeroSetToggle3", "HoldToggle",     "TriggerToggle"};

// Runs a closure when the scope ends, also by an exception.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

// Keys read as 0 when no image is attached.
class NoKeys : public IBankKeys {
  public:
    int GetBank(std::string_view) const override { return 0; }
    int GetSys(std::string_view) const override { return 0; }
};
const NoKeys kNoKeys;
}  // namespace

TMeasureModel::TMeasureModel(IMeasureHost& host, ProfileShared& shared)
    : host_(host), shared_(shared) {
    for (const char* n : kActionNames) enabled_[n] = false;
}

std::string TMeasureModel::InitialValueText(int n) const {
    return FormatValue(kNoValue, host_.DisplDecimal(),
                       UnitTexts[static_cast<size_t>(std::clamp(n, 0, 3))]);
}

void TMeasureModel::RefreshFromImage() {
    ShowMeasuredCurrent = ShowsMeasuredCurrent(host_.Live().SoftVersion);
    const IBankKeys* keys = host_.Params();
    if (!keys) keys = &kNoKeys;
    MeasModeTexts texts = host_.ModeTexts();
    if (!AreaCaption.empty()) texts.AreaLabel = AreaCaption;
    if (!ACaption.empty()) texts.ALabel = ACaption;
    std::array<OutputSource, 4> src = MeasureSources(texts, *keys);
    for (size_t n = 0; n < 4; ++n) {
        UnitTexts[n] = src[n].Unit;
        if (src[n].HasSource) SourceTexts[n] = src[n].Source;
    }
    Plot.MidLineMask = MidLineMaskFor(*keys);
    if (OnPlotChanged) OnPlotChanged();
}

std::optional<MeasureView> TMeasureModel::Tick(const std::array<GaugeGeometry, 3>& gauges) {
    if (host_.CameraLive() || host_.CurrentPage() != kMeasurePageCode) return std::nullopt;
    const IBankKeys* keys = host_.Params();
    if (!keys) keys = &kNoKeys;
    MeasureLive live = host_.Live();
    live.Stale = host_.LinkState() != 2;  // not polling: nothing may look live
    return RenderMeasure(live, *keys, UnitTexts, host_.DisplDecimal(), gauges);
}

void TMeasureModel::Deliver() {
    const int n = host_.WorkerPointCount();
    std::span<const ProfilePoint> src = host_.WorkerProfile();
    if (n < 0 || n >= 1024 || static_cast<size_t>(n) > src.size())
        throw EKestError(Format("illegal prof_size;%d", n));
    Plot.PointCount = n;
    std::copy_n(src.begin(), n, shared_.ProfileBuffer.begin());
    std::optional<std::vector<uint8_t>> r = host_.Command(measure_cmd::GET_PROF_CORR, {});
    if (r && r->size() >= 6) {
        auto word = [&](size_t i) {
            return static_cast<int16_t>(((*r)[2 * i] << 8) | (*r)[2 * i + 1]);
        };
        Plot.OffsetZ = 2 * word(0);
        Plot.OffsetX = 2 * word(1);
        Plot.CorrectionValue3 = word(2);
    }
    if (OnPlotChanged) OnPlotChanged();
}

void TMeasureModel::Abort() {
    host_.RequestAbort();
    WriteLog(kLogRed, "ABORT");
    RefRepeatChecked = false;
}

void TMeasureModel::RefOnce() {
    if (host_.TaskRunning()) {
        Abort();
        return;
    }
    host_.StartProfiles([this] {
        // One profile only: stop polling also when the delivery fails.
        Finally stop{[this] { host_.RequestAbort(); }};
        Deliver();
    });
    WriteLog(kLogAction, "PROFILE ONCE");
}

void TMeasureModel::RefRepeat() {
    if (RefRepeatChecked) {
        Abort();
        return;
    }
    host_.StartProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::StartRepeat() {
    host_.StartProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::RestartRepeat() {
    host_.RequestProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::StopRepeat() {
    Abort();
}

void TMeasureModel::ZeroSetToggle(int k) {
    if (k < 0 || k > 2) return;
    const bool checked = ZeroSetChecked[static_cast<size_t>(k)];
    const char* word = checked ? "0clr" : "0set";
    Finally buttons{[&] { host_.SetOutputZeroButton(k, ZeroSetChecked[static_cast<size_t>(k)]); }};
    if (!host_.Command(checked ? measure_cmd::ZERO_CLR : measure_cmd::ZERO_SET,
                       {static_cast<uint16_t>(k)})) {
        WriteLog(kLogPlain, "OUT%d: %s failed, NO DISPL", k + 1, word);
        return;
    }
    ZeroSetChecked[static_cast<size_t>(k)] = !checked;
    WriteLog(kLogPlain, "OUT%d: %s", k + 1, word);
    // Read back the zero adjustment the sensor now holds for the source channel.
    IParamAccess* p = host_.Params();
    if (!p) return;
    const char* zadj = ChannelZAdjKey(p->GetBank(OutputKeyNames(k).Ch));
    const int index = zadj ? p->KeyWordIndex(zadj) : -1;
    if (index < 0) return;
    std::optional<uint16_t> w =
        host_.MemReadWord(kSensorParamBase + static_cast<uint32_t>(index), kMemReadSensorMode);
    if (!w) {
        WriteLog(kLogPlain, "OUT%d: %s failed, NO DISPL", k + 1, word);
        return;
    }
    p->SetBank(zadj, static_cast<int16_t>(*w));
}

void TMeasureModel::HoldToggle(bool down) {
    host_.Command(measure_cmd::SET_HOLD_STATE, {static_cast<uint16_t>(down ? 1 : 0)});
    WriteLog(kLogAction, "SET_HOLD_STATE(%d)", down ? 1 : 0);
}

void TMeasureModel::TriggerToggle(bool down) {
    host_.Command(measure_cmd::SET_INT_TRIG, {static_cast<uint16_t>(down ? 1 : 0)});
    WriteLog(kLogAction, "SET_INT_TRIG(%d)", down ? 1 : 0);
}

void TMeasureModel::LaserToggle(bool down) {
    host_.Command(measure_cmd::SET_LASER, {static_cast<uint16_t>(down ? 1 : 0)});
    WriteLog(kLogAction, "SET_LASER(%d)", down ? 1 : 0);
}

void TMeasureModel::Reset() {
    host_.Command(measure_cmd::RUN_RESET, {});
    WriteLog(kLogAction, "RUN_RESET");
}

void TMeasureModel::SaveProfile(const std::string& path) {
    WriteFileAtomic(path,
                    MeasureProfileText(MeasureFilePoints(shared_.ProfileBuffer, Plot.PointCount)));
    WriteLog(kLogAction, "save profile '%s'", path.c_str());
}

void TMeasureModel::UpdateEnabled() {
    const int link = host_.LinkState();
    const IBankKeys* keys = host_.Params();
    if (!keys) keys = &kNoKeys;
    for (const char* n : kActionNames) {
        bool on = link != 0;
        if (std::string_view(n) == "HoldToggle") on = on && keys->GetSys("INPUT2") == 0;
        if (std::string_view(n) == "TriggerToggle") on = on && keys->GetSys("INPUT3") == 0;
        bool& cur = enabled_[n];
        if (cur != on) {
            cur = on;
            WriteLog(kLogPlain, "Action %s.Enabled=%d", n, link);
        }
    }
}

bool TMeasureModel::Enabled(const std::string& action) const {
    auto it = enabled_.find(action);
    return it != enabled_.end() && it->second;
}

}  // namespace kd
