#pragma once
// The storage pages in the desktop program: the settings page and the two
// storage displays, made by the main window's window creation and registered
// with their page codes. The program makes one after the settings pages:
//
//   kd::TStoragePages storage(window);
//   storage.ConnectSession(sessionHost);
#include <functional>

namespace kd {

class TKestTrel;
class TPStoSett;
class TPStoDispl;
class TPStoProf;

class TStoragePages {
  public:
    explicit TStoragePages(TKestTrel& window);

    template <class SessionHost>
    void ConnectSession(SessionHost& host) {
        host.ResetStorageSettingsHook = [this] { ResetSettings(); };
    }
    void ResetSettings();

    TPStoSett* Sett = nullptr;
    TPStoDispl* Displ = nullptr;
    TPStoProf* Prof = nullptr;

  private:
    TKestTrel& window_;
};

}  // namespace kd
