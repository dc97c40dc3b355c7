#pragma once
// The measurement page's behaviour without its widgets: sources and units from
// the image, the rendering tick, the profile task, zero set, hold, trigger,
// reset, laser, the enabling rules and the profile text file. TPMeasure shows
// what this holds and forwards its controls here.
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "measure/measure_access.h"
#include "measure/measure_page_logic.h"
#include "measure/profile_data.h"
#include "measure/value_text.h"
#include "shell/page_context.h"

namespace kd {

// What the page's profile plot shows; the plot widget mirrors it.
struct MeasurePlotState {
    int PointCount = 0;
    int OffsetX = 0;
    int OffsetZ = 0;
    int CorrectionValue3 = 0;
    uint32_t MidLineMask = 0;
};

// The live values of the context as the page renders them.
MeasureLive LiveOf(const TPageContext& ctx);
// The localised mode texts of the context's lists and display unit.
MeasModeTexts ModeTextsOf(const TPageContext& ctx);

class TMeasureModel {
  public:
    TMeasureModel(TPageContext& ctx, ProfileShared& shared);

    // --- from the image ---
    // Captions of the page's AreaLabel and ALabel (localised); when set they
    // replace those of the host's texts.
    std::string AreaCaption;
    std::string ACaption;
    void RefreshFromImage();
    bool ShowMeasuredCurrent = true;  // "mA" shown, "mA(estimated)" hidden
    std::array<std::string, 4> UnitTexts{"mm", "mm", "mm", "mm"};
    std::array<std::string, 4> SourceTexts{};  // empty until a source is known
    MeasurePlotState Plot;

    // --- rendering tick; nothing when the page is not rendering ---
    std::optional<MeasureView> Tick(const std::array<GaugeGeometry, 3>& gauges);
    // The text a value label shows before any tick.
    std::string InitialValueText(int n) const;

    // --- profile task ---
    void Deliver();
    void RefOnce();
    void RefRepeat();
    void StartRepeat();
    void RestartRepeat();
    void StopRepeat();
    bool RefRepeatChecked = false;

    // --- direct controls (down: the button's new state) ---
    void ZeroSetToggle(int k);
    std::array<bool, 3> ZeroSetChecked{};
    void HoldToggle(bool down);
    void TriggerToggle(bool down);
    void LaserToggle(bool down);
    void Reset();
    void SaveProfile(const std::string& path);

    // --- enabling rules; logs "Action %s.Enabled=%d" for every change ---
    void UpdateEnabled();
    bool Enabled(const std::string& action) const;

    // Raised when the plot must take Plot and redraw.
    std::function<void()> OnPlotChanged;
    // The output page's zero-set button k follows the page's (down: pressed).
    std::function<void(int k, bool down)> OnZeroButton;

  private:
    void Abort();
    // The rendering tick's care of the repeat button (see the definition).
    void KeepRepeatAlive();
    bool linkDropped_ = false;  // LinkState left 2 while the repeat was on
    TPageContext& ctx_;
    TContextKeys keys_;
    ProfileShared& shared_;
    std::map<std::string, bool> enabled_;
};

}  // namespace kd
