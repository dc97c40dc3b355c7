#pragma once
// The settings pages in the desktop program, made by the main window's window
// creation on its page context, registered with their page codes and refilled
// by RefreshAll. The main window's owner makes one after the measurement views
// and before CreateWindows:
//
//   kd::TSettingsPages settings(window, measure.Shared);
//   settings.ConnectSession(sessionHost);
//
// Each page registers itself in a function of its own (Register<Page>, in
// register_<page>.cpp beside the page).
#include <functional>

#include "measure/chart_data.h"
#include "measure/profile_data.h"
#include "pages/common_logic.h"

namespace kd {

class TKestTrel;
class TPTrigger;
class TPCamera;
class TPProfile;
class TPArea;
class TPOperation;
class TPOutput;
class TPCommon;

class TSettingsPages {
  public:
    TSettingsPages(TKestTrel& window, ProfileShared& shared);

    // The session's hooks (TTrelSessionHost) into the pages.
    template <class SessionHost>
    void ConnectSession(SessionHost& host) {
        host.ResetCameraImageHook = [this] { Call(ResetCameraImage); };
        host.ReleaseCamRectButtonHook = [this] { Call(ReleaseCamRectButton); };
        auto measureStops = host.StopRepeatsHook;
        host.StopRepeatsHook = [this, measureStops] {
            if (measureStops) measureStops();
            Call(StopAreaRepeat);
        };
        auto chartAdvance = host.ChartAdvanceHook;
        host.ChartAdvanceHook = [this, chartAdvance](bool drawOperation) {
            if (chartAdvance) chartAdvance(drawOperation);
            if (drawOperation) Call(RefreshChart);
        };
    }

    // Made by CreateWindows, owned by the window; null until then.
    TPTrigger* Trigger = nullptr;
    TPCamera* Camera = nullptr;
    TPProfile* Profile = nullptr;
    TPArea* Area = nullptr;
    TPOperation* Operation = nullptr;
    TPOutput* Output = nullptr;
    TPCommon* Common = nullptr;

    // What the session asks of the pages; set by the pages that answer it.
    std::function<void()> ResetCameraImage;      // after a connection
    std::function<void()> ReleaseCamRectButton;  // on disconnection
    std::function<void()> StopAreaRepeat;        // on disconnection
    // The workflows the common setup page's bank operations run (set by the
    // program once the session exists).
    TBankOps BankOps;
    std::function<void()> RefreshChart;  // a new chart sample on the operation page
    // The chart's samples, drawn by the operation page; set before CreateWindows.
    TChartData* Chart = nullptr;

  private:
    static void Call(const std::function<void()>& f) {
        if (f) f();
    }
    void RegisterTrigger();
    void RegisterCamera();
    void RegisterProfile();
    void RegisterArea();
    void RegisterOperation();
    void RegisterOutput();
    void RegisterCommon();

    TKestTrel& window_;
    ProfileShared& shared_;
};

}  // namespace kd
