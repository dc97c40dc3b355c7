#pragma once
// The measurement views in the desktop program: the measurement page, the
// profile data every plot shares and the chart's sample store, wired into the
// main window (page 0x10, localisation, registry scales) and the session's
// hooks. The main window's owner makes one after the window and before
// CreateWindows, then connects the session host:
//
//   kd::TMeasureViews measure(window);
//   measure.ConnectSession(sessionHost);
#include <functional>
#include <memory>

#include "measure/chart_data.h"
#include "measure/profile_data.h"

namespace kd {

class TKestTrel;
class TPMeasure;

class TMeasureViews {
  public:
    // Registers the factory of the window "TPMeasure" with the main window.
    explicit TMeasureViews(TKestTrel& window);
    ~TMeasureViews();

    ProfileShared Shared;
    TChartData Chart{TChartData::kDefaultCapacity};
    TPMeasure* Page = nullptr;  // made by CreateWindows, owned by the window
    // The output page's zero-set button k, once that page exists.
    std::function<void(int k, bool down)> OutputZeroButton;

    // Sets the measurement hooks of the session host (TTrelSessionHost).
    template <class SessionHost>
    void ConnectSession(SessionHost& host) {
        host.StartMeasureRepeatHook = [this] { StartRepeat(); };
        host.StopRepeatsHook = [this] { StopRepeat(); };
        host.ZeroToggleHook = [this](int k, bool on) { SetZeroToggle(k, on); };
        host.HoldIndicatorHook = [this](bool on) { SetHoldIndicator(on); };
        host.LaserIndicatorHook = [this](bool on) { SetLaserIndicator(on); };
        host.ChartValueHook = [this](int ch, int32_t v) { ChartValue(ch, v); };
        host.ChartAdvanceHook = [this](bool) { ChartAdvance(); };
        host.RefreshMeasurePlotHook = [this] { RedrawPlot(); };
    }

    void StartRepeat();
    void StopRepeat();
    void SetZeroToggle(int k, bool on);
    void SetHoldIndicator(bool on);
    void SetLaserIndicator(bool on);
    void ChartValue(int ch, int32_t v);
    void ChartAdvance();
    void RedrawPlot();
    // The area rectangles of the current bank into the shared AreaRects.
    void LoadAreas();
    // Copies the polling tick's area results to the plots; redraws on a change.
    void SyncAreaResults();

  private:
    void CreatePage();

    TKestTrel& window_;
};

}  // namespace kd
