#pragma once
// The settings pages in the desktop program: TPTrigger and TPProfile made
// by the main window's window creation on its page context, registered with
// their page codes and refilled by RefreshAll. The main window's owner makes
// one after the measurement views and before CreateWindows:
//
//   kd::TSettingsPages settings(window, measure.Shared);
//   settings.ConnectSession(sessionHost);
#include "measure/profile_data.h"

namespace kd {

class TKestTrel;
class TPTrigger;
class TPProfile;

class TSettingsPages {
  public:
    TSettingsPages(TKestTrel& window, ProfileShared& shared);

    // Session hooks (TTrelSessionHost): nothing yet; later pages add theirs.
    template <class SessionHost>
    void ConnectSession(SessionHost& host) {
        (void)host;
    }

    TPTrigger* Trigger = nullptr;  // made by CreateWindows, owned by the window
    TPProfile* Profile = nullptr;

  private:
    TKestTrel& window_;
    ProfileShared& shared_;
};

}  // namespace kd
