#include "measure/ui/measure_views.h"

#include <QAction>
#include <QLabel>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "shell/ui/kest_trel.h"

namespace kd {

TMeasureViews::TMeasureViews(TKestTrel& window) : window_(window), access_(window.Image()) {
    if (TKestThread* worker = window.Worker()) link_ = std::make_unique<TMeasureLink>(*worker);
    window.WindowFactories["TPMeasure"] = [this](TKestTrel&) { CreatePage(); };
}

TMeasureViews::~TMeasureViews() = default;

void TMeasureViews::CreatePage() {
    Page = new TPMeasure(*this, Shared, this, window_.ClientArea);
    Page->setObjectName("PMeasure");
    TProfileFrame* frame = Page->ProfileFrame();
    ProfileColors pc;
    pc.AreaSel = {window_.Colors.area_sel_color[0], window_.Colors.area_sel_color[1],
                  window_.Colors.area_sel_color[2], window_.Colors.area_sel_color[3]};
    pc.AreaFont = window_.Colors.area_font_color;
    pc.ProfileLine = window_.Colors.profile_line_color;
    frame->SetColors(pc);
    // Saved scales of the group "Profile"; 1.0 is the registry's "never saved".
    if (window_.Settings.ProfileScaleX > 0 && window_.Settings.ProfileScaleX != 1.0 &&
        window_.Settings.ProfileScaleY > 0 && window_.Settings.ProfileScaleY != 1.0)
        Page->SetScales(window_.Settings.ProfileScaleX, window_.Settings.ProfileScaleY);
    window_.SettingsCollectors.push_back([this](TShellSettings& s) {
        if (!Page) return;
        s.ProfileScaleX = Page->ProfileFrame()->ScaleX();
        s.ProfileScaleY = Page->ProfileFrame()->ScaleY();
    });
    Page->OnTick = [this] { SyncAreaResults(); };
    TPageHooks hooks;
    hooks.Window = Page;
    hooks.OnEnter = [this] {
        if (Page->Action("RefRepeat")->isChecked() && LinkState() != 0) Page->RestartRepeat();
        Page->ProfileFrame()->Redraw();
    };
    hooks.ShowParams = [this] {
        LoadAreas();
        Page->RefreshFromImage();
    };
    window_.RegisterPage(kPageMeasure, hooks);
}

void TMeasureViews::LoadAreas() {
    static const char* const kEdges[4][4] = {{"A1.Left", "A1.Top", "A1.Right", "A1.Bottom"},
                                             {"A2.Left", "A2.Top", "A2.Right", "A2.Bottom"},
                                             {"A3.Left", "A3.Top", "A3.Right", "A3.Bottom"},
                                             {"A4.Left", "A4.Top", "A4.Right", "A4.Bottom"}};
    for (int n = 0; n < kAreas; ++n)
        Shared.SetArea(n, access_.GetBank(kEdges[n][0]), access_.GetBank(kEdges[n][1]),
                       access_.GetBank(kEdges[n][2]), access_.GetBank(kEdges[n][3]));
    RedrawPlot();
}

void TMeasureViews::StartRepeat() {
    if (Page) Page->StartRepeat();
}
void TMeasureViews::StopRepeat() {
    if (Page) Page->StopRepeat();
}
void TMeasureViews::SetZeroToggle(int k, bool on) {
    if (Page) Page->SetZeroSetState(k, on);
}
void TMeasureViews::SetHoldIndicator(bool on) {
    if (Page) Page->SetIndicator("HoldInd", on ? 0x0000FFFF : 0);
}
void TMeasureViews::SetLaserIndicator(bool on) {
    if (Page) Page->SetIndicator("LaserInd", on ? window_.Colors.laser_active_color : 0);
}
void TMeasureViews::ChartValue(int ch, int32_t v) {
    if (ch >= 0 && ch < TChartData::kChannels) Chart.SetValue(ch, v);
}
void TMeasureViews::ChartAdvance() {
    Chart.SetTime(NowDays());
    Chart.Advance();
}
void TMeasureViews::RedrawPlot() {
    if (Page) Page->ProfileFrame()->Redraw();
}

void TMeasureViews::SyncAreaResults() {
    bool changed = false;
    for (size_t n = 0; n < kAreas; ++n) {
        if (Shared.AreaResults[n] != window_.Live.AreaResults[n]) changed = true;
        Shared.AreaResults[n] = window_.Live.AreaResults[n];
    }
    if (changed) RedrawPlot();
}

MeasureLive TMeasureViews::Live() const {
    MeasureLive m;
    const TLiveValues& l = window_.Live;
    m.Channel = l.Channels;
    m.Output = l.Outputs;
    m.AnalogCurrent = l.AnalogCurrent;
    m.OutputDisplayBits = l.OutputDisplayBits;
    m.LaserOn = l.LaserOn;
    m.HoldOn = l.HoldOn;
    m.InternalTrigger = l.InternalTrigger;
    m.SamplingPeriod = SamplingPeriod ? SamplingPeriod() : 0;
    m.SoftVersion = window_.State.SensorVersion.Soft;
    return m;
}

int TMeasureViews::LinkState() const {
    return window_.State.LinkState;
}
int TMeasureViews::CurrentPage() const {
    return window_.State.CurrentPage;
}
bool TMeasureViews::CameraLive() const {
    return window_.State.CameraLive;
}
int TMeasureViews::DisplDecimal() const {
    return window_.Display.DisplDecimal;
}
int TMeasureViews::DisplUnit() const {
    return window_.Display.DisplUnit;
}

MeasModeTexts TMeasureViews::ModeTexts() const {
    MeasModeTexts t;
    t.Units = window_.MeasModeUnits;
    t.Shorts = window_.MeasModeShort;
    t.DisplUnit = window_.Display.DisplUnit;
    return t;
}

bool TMeasureViews::TaskRunning() const {
    return link_ ? link_->TaskRunning() : window_.Link().TaskRunning();
}
void TMeasureViews::RequestAbort() {
    if (link_)
        link_->RequestAbort();
    else
        window_.Link().RequestAbort();
}
void TMeasureViews::StartProfiles(std::function<void()> onDone) {
    if (!link_) throw EKestError("no communication worker");
    link_->StartProfiles(std::move(onDone));
}
void TMeasureViews::RequestProfiles(std::function<void()> onDone) {
    if (!link_) throw EKestError("no communication worker");
    link_->RequestProfiles(std::move(onDone));
}
int TMeasureViews::WorkerPointCount() const {
    return link_ ? link_->WorkerPointCount() : 0;
}
std::span<const ProfilePoint> TMeasureViews::WorkerProfile() const {
    return link_ ? link_->WorkerProfile() : std::span<const ProfilePoint>{};
}

std::optional<std::vector<uint8_t>> TMeasureViews::Command(uint16_t code,
                                                           std::vector<uint16_t> words) {
    if (link_) return link_->Command(code, words);
    // A link handed in by the owner answers without a reply payload.
    window_.Link().Command(code, PayloadWords(words));
    return std::vector<uint8_t>{};
}

std::optional<uint16_t> TMeasureViews::MemReadWord(uint32_t address, uint16_t mode) {
    if (!link_) throw EKestError("no communication worker");
    return link_->MemReadWord(address, mode);
}

bool TMeasureViews::LinkOpen() const {
    return link_ && link_->LinkOpen();
}

std::optional<AreaBounds> TMeasureViews::SendAreaRect(int area, const AreaBounds& r) {
    if (!link_) throw EKestError("no communication worker");
    return link_->SendAreaRect(area, r);
}

void TMeasureViews::Trigger(const char* action) {
    if (QAction* a = window_.Action(action)) a->trigger();
}
void TMeasureViews::SettingTrigger() {
    Trigger("SettingTrigger");
}
void TMeasureViews::ViewDataLog() {
    Trigger("ViewDataLog");
}
void TMeasureViews::CommSettings1() {
    Trigger("CommSettings1");
}
void TMeasureViews::SetOutputZeroButton(int k, bool down) {
    if (OutputZeroButton) OutputZeroButton(k, down);
}

}  // namespace kd
