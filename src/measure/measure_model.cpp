#include "measure/measure_model.h"

#include <algorithm>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
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

// One 16-bit payload word.
std::vector<uint8_t> Word(int v) {
    const uint16_t w = static_cast<uint16_t>(v);
    return PayloadWords(std::span<const uint16_t>(&w, 1));
}
}  // namespace

MeasureLive LiveOf(const TPageContext& ctx) {
    MeasureLive m;
    const TLiveValues& l = ctx.Live;
    m.Channel = l.Channels;
    m.Output = l.Outputs;
    m.AnalogCurrent = l.AnalogCurrent;
    m.OutputDisplayBits = l.OutputDisplayBits;
    m.LaserOn = l.LaserOn;
    m.HoldOn = l.HoldOn;
    m.InternalTrigger = l.InternalTrigger;
    m.SamplingPeriod = ctx.Services.SamplingPeriod();
    m.SoftVersion = ctx.State.SensorVersion.Soft;
    return m;
}

MeasModeTexts ModeTextsOf(const TPageContext& ctx) {
    MeasModeTexts t;
    t.Units = ctx.Lists.MeasModeUnits;
    t.Shorts = ctx.Lists.MeasModeShort;
    t.DisplUnit = ctx.Display.DisplUnit;
    return t;
}

TMeasureModel::TMeasureModel(TPageContext& ctx, ProfileShared& shared)
    : ctx_(ctx), keys_(ctx), shared_(shared) {
    for (const char* n : kActionNames) enabled_[n] = false;
}

std::string TMeasureModel::InitialValueText(int n) const {
    return FormatValue(kNoValue, ctx_.Display.DisplDecimal,
                       UnitTexts[static_cast<size_t>(std::clamp(n, 0, 3))]);
}

void TMeasureModel::RefreshFromImage() {
    ShowMeasuredCurrent = ShowsMeasuredCurrent(ctx_.State.SensorVersion.Soft);
    const IBankKeys* keys = &keys_;
    MeasModeTexts texts = ModeTextsOf(ctx_);
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
    if (ctx_.State.CameraLive || ctx_.State.CurrentPage != kPageMeasure) return std::nullopt;
    KeepRepeatAlive();
    MeasureLive live = LiveOf(ctx_);
    live.Stale = ctx_.State.LinkState != 2;  // not polling: nothing may look live
    return RenderMeasure(live, keys_, UnitTexts, ctx_.Display.DisplDecimal, gauges);
}

void TMeasureModel::Deliver() {
    const int n = ctx_.Worker.ProfileCount();
    std::span<const uint16_t> words = ctx_.Worker.ProfileWords();
    if (n < 0 || n >= 1024 || 2 * static_cast<size_t>(n) > words.size())
        throw EKestError(Format("illegal prof_size;%d", n));
    Plot.PointCount = n;
    ProfilePointsFromWords(words.first(2 * static_cast<size_t>(n)), shared_.ProfileBuffer);
    std::optional<std::vector<uint8_t>> r;
    try {
        // The correction query follows every live profile: it must not hold
        // the window when the sensor falls silent (a missed one is asked
        // again with the next profile).
        r = ctx_.Worker.Query(cmd::GET_PROF_CORR, {}, 1);
    } catch (const ECommErrData&) {
    } catch (const ELinkBusy&) {
    }
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
    ctx_.Worker.RequestAbort();
    WriteLog(kLogRed, "ABORT");
    RefRepeatChecked = false;
}

void TMeasureModel::RefOnce() {
    if (ctx_.Worker.TaskRunning()) {
        Abort();
        return;
    }
    ctx_.Worker.StartProfiles([this] {
        // One profile only: stop polling also when the delivery fails.
        Finally stop{[this] { ctx_.Worker.RequestAbort(); }};
        Deliver();
    });
    WriteLog(kLogAction, "PROFILE ONCE");
}

void TMeasureModel::RefRepeat() {
    if (RefRepeatChecked) {
        Abort();
        return;
    }
    ctx_.Worker.StartProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::StartRepeat() {
    ctx_.Worker.StartProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::RestartRepeat() {
    ctx_.Worker.RequestProfiles([this] { Deliver(); });
    WriteLog(kLogAction, "PROFILE START");
    RefRepeatChecked = true;
}

void TMeasureModel::StopRepeat() {
    Abort();
}

void TMeasureModel::KeepRepeatAlive() {
    if (!RefRepeatChecked) {
        linkDropped_ = false;
        return;
    }
    if (ctx_.State.LinkState != 2) {
        linkDropped_ = true;
        return;
    }
    if (ctx_.Worker.TaskRunning()) return;
    // The worker drops polling after five failed passes (a sensor silent for
    // a moment). Once the link polls again the repeat goes on; a repeat that
    // ended otherwise releases its button, so a frozen profile never passes
    // for a live one.
    if (linkDropped_) {
        linkDropped_ = false;
        RestartRepeat();
    } else {
        RefRepeatChecked = false;
    }
}

void TMeasureModel::ZeroSetToggle(int k) {
    if (k < 0 || k > 2) return;
    const bool checked = ZeroSetChecked[static_cast<size_t>(k)];
    const char* word = checked ? "0clr" : "0set";
    Finally buttons{[&] {
        if (OnZeroButton) OnZeroButton(k, ZeroSetChecked[static_cast<size_t>(k)]);
    }};
    try {
        ctx_.Worker.Command(checked ? cmd::ZERO_CLR : cmd::ZERO_SET, Word(k));
    } catch (const ECommErrData&) {
        WriteLog(kLogPlain, "OUT%d: %s failed, NO DISPL", k + 1, word);
        return;
    }
    ZeroSetChecked[static_cast<size_t>(k)] = !checked;
    WriteLog(kLogPlain, "OUT%d: %s", k + 1, word);
    // Read back the zero adjustment the sensor now holds for the source channel.
    const char* zadj = ChannelZAdjKey(ctx_.GetBank(OutputKeyNames(k).Ch));
    const int index = zadj ? ctx_.BankWordIndex(zadj) : -1;
    if (index < 0) return;
    uint16_t w = 0;
    try {
        ctx_.Worker.MemRead(&w, kSensorWordBase + static_cast<uint32_t>(index), kModeWords, 1);
    } catch (const ECommErrData&) {
        WriteLog(kLogPlain, "OUT%d: %s failed, NO DISPL", k + 1, word);
        return;
    }
    ctx_.SetBank(zadj, static_cast<int16_t>(w));
}

void TMeasureModel::HoldToggle(bool down) {
    ctx_.Worker.Command(cmd::SET_HOLD_STATE, Word(down ? 1 : 0));
    WriteLog(kLogAction, "SET_HOLD_STATE(%d)", down ? 1 : 0);
}

void TMeasureModel::TriggerToggle(bool down) {
    ctx_.Worker.Command(cmd::SET_INT_TRIG, Word(down ? 1 : 0));
    WriteLog(kLogAction, "SET_INT_TRIG(%d)", down ? 1 : 0);
}

void TMeasureModel::LaserToggle(bool down) {
    ctx_.Worker.Command(cmd::SET_LASER, Word(down ? 1 : 0));
    WriteLog(kLogAction, "SET_LASER(%d)", down ? 1 : 0);
}

void TMeasureModel::Reset() {
    ctx_.Worker.Command(cmd::RUN_RESET);
    WriteLog(kLogAction, "RUN_RESET");
}

void TMeasureModel::SaveProfile(const std::string& path) {
    WriteFileAtomic(path,
                    MeasureProfileText(MeasureFilePoints(shared_.ProfileBuffer, Plot.PointCount)));
    WriteLog(kLogAction, "save profile '%s'", path.c_str());
}

void TMeasureModel::UpdateEnabled() {
    const int link = ctx_.State.LinkState;
    const IBankKeys* keys = &keys_;
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
