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

#include "measure/profile_data.h"

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
