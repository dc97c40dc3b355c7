#pragma once
// The measurement views in the desktop program: the measurement page, the
// profile data every plot shares and the chart's sample store, wired into the
// main window (page 0x10, localisation, registry scales) and the session's
// hooks. The main window's owner makes one after the window and before
// CreateWindows, then connects the session host:
//
//   kd::TMeasureViews measure(window);
//   measure.SamplingPeriod = [&session] { return session.SamplingPeriod; };
//   measure.ConnectSession(sessionHost);
#include <functional>
#include <memory>

#include "measure/chart_data.h"
#include "measure/kest_param_access.h"
#include "measure/measure_host.h"
#include "measure/measure_link.h"
#include "measure/profile_data.h"
#include "measure/profile_frame_host.h"

namespace kd {

class TKestTrel;
class TPMeasure;

class TMeasureViews : public IMeasureHost, public IProfileFrameHost {
  public:
    // Registers the factory of the window "TPMeasure" with the main window.
    explicit TMeasureViews(TKestTrel& window);
    ~TMeasureViews() override;

    ProfileShared Shared;
    TChartData Chart{TChartData::kDefaultCapacity};
    TPMeasure* Page = nullptr;  // made by CreateWindows, owned by the window
    // The sampling period read at connection (5 µs steps).
    std::function<uint16_t()> SamplingPeriod;
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

    // IMeasureHost
    IParamAccess* Params() override { return &access_; }
    MeasureLive Live() const override;
    int LinkState() const override;
    int CurrentPage() const override;
    bool CameraLive() const override;
    int DisplDecimal() const override;
    MeasModeTexts ModeTexts() const override;
    bool TaskRunning() const override;
    void RequestAbort() override;
    void StartProfiles(std::function<void()> onDone) override;
    void RequestProfiles(std::function<void()> onDone) override;
    int WorkerPointCount() const override;
    std::span<const ProfilePoint> WorkerProfile() const override;
    std::optional<std::vector<uint8_t>> Command(uint16_t code,
                                                std::vector<uint16_t> words) override;
    std::optional<uint16_t> MemReadWord(uint32_t address, uint16_t mode) override;
    void SettingTrigger() override;
    void ViewDataLog() override;
    void CommSettings1() override;
    void SetOutputZeroButton(int k, bool down) override;

    // IProfileFrameHost (Params as above)
    bool LinkOpen() const override;
    std::optional<AreaBounds> SendAreaRect(int area, const AreaBounds& r) override;
    int DisplUnit() const override;

  private:
    void CreatePage();
    void Trigger(const char* action);

    TKestTrel& window_;
    TKestParamAccess access_;
    std::unique_ptr<TMeasureLink> link_;  // null when the window has no worker of its own
};

}  // namespace kd
