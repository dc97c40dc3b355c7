#include "pages/ui/settings_pages.h"

#include "measure/ui/profile_frame.h"
#include "pages/ui/tp_area.h"
#include "pages/ui/tp_profile.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterProfile() {
    window_.WindowFactories["TPProfile"] = [this](TKestTrel& w) {
        Profile = new TPProfile(w.Context(), shared_, w.ClientArea);
        TPageHooks hooks;
        hooks.Window = Profile;
        hooks.ShowParams = [this] { Profile->ShowParams(); };
        hooks.GetZoom = [this] {
            return std::array<double, 2>{Profile->Frame()->ScaleX(), Profile->Frame()->ScaleY()};
        };
        hooks.SetZoom = [this](double x, double y) {
            Profile->Frame()->SetScaleX(x);
            Profile->Frame()->SetScaleY(y);
        };
        w.RegisterPage(kPageProfile, hooks);
        // A profile fetched here is the area page's too.
        Profile->OnProfileFetched = [this](int count) {
            if (Area) Area->SetPointCount(count);
        };
        w.ActionUpdaters.push_back([this] { Profile->UpdateActions(); });
        w.SettingsCollectors.push_back([this](TShellSettings& s) {
            s.AreaScaleX = Profile->Frame()->ScaleX();
            s.AreaScaleY = Profile->Frame()->ScaleY();
        });
    };
}

}  // namespace kd
