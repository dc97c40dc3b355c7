#include "measure/ui/measure_views.h"

#include <QAction>
#include <QLabel>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/profile_geometry.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "shell/ui/kest_trel.h"

namespace kd {

TMeasureViews::TMeasureViews(TKestTrel& window) : window_(window) {
    window.WindowFactories["TPMeasure"] = [this](TKestTrel&) { CreatePage(); };
}

TMeasureViews::~TMeasureViews() = default;

void TMeasureViews::CreatePage() {
    Page = new TPMeasure(window_.Context(), Shared, window_.ClientArea);
    Page->Model().OnZeroButton = [this](int k, bool down) {
        if (OutputZeroButton) OutputZeroButton(k, down);
    };
    Page->setObjectName("PMeasure");
    TProfileFrame* frame = Page->ProfileFrame();
    ProfileColors pc;
    pc.AreaSel = {window_.Colors.area_sel_color[0], window_.Colors.area_sel_color[1],
                  window_.Colors.area_sel_color[2], window_.Colors.area_sel_color[3]};
    pc.AreaFont = window_.Colors.area_font_color;
    pc.ProfileLine = window_.Colors.profile_line_color;
    frame->SetColors(pc);
    // Saved scales of the group "Profile" (never saved: 1.0, which no plot reaches).
    if (UsableSavedScale({window_.Settings.ProfileScaleX, window_.Settings.ProfileScaleY}))
        Page->SetScales(window_.Settings.ProfileScaleX, window_.Settings.ProfileScaleY);
    window_.SettingsCollectors.push_back([this](TShellSettings& s) {
        if (!Page) return;
        s.ProfileScaleX = Page->ProfileFrame()->ScaleX();
        s.ProfileScaleY = Page->ProfileFrame()->ScaleY();
    });
    Page->OnTick = [this] { SyncAreaResults(); };
    // The page's actions follow the connection at once, not at its next tick.
    window_.ActionUpdaters.push_back([this] {
        if (Page) Page->ApplyEnabled();
    });
    TPageHooks hooks;
    hooks.Window = Page;
    hooks.OnEnter = [this] {
        if (Page->Action("RefRepeat")->isChecked() && window_.State.LinkState != 0)
            Page->RestartRepeat();
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
    const TPageContext& ctx = window_.Context();
    for (int n = 0; n < kAreas; ++n)
        Shared.SetArea(n, ctx.GetBank(kEdges[n][0]), ctx.GetBank(kEdges[n][1]),
                       ctx.GetBank(kEdges[n][2]), ctx.GetBank(kEdges[n][3]));
    RedrawPlot();
}

void TMeasureViews::StartRepeat() {
    // After a connection the repeat starts again only when its button is down.
    if (Page && Page->Action("RefRepeat")->isChecked()) Page->StartRepeat();
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

}  // namespace kd
