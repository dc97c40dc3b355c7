#include <QCheckBox>

#include "measure/ui/measure_views.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "pages/ui/settings_pages.h"
#include "pages/ui/tp_area.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterArea() {
    window_.WindowFactories["TPArea"] = [this](TKestTrel& w) {
        Area = new TPArea(w.Context(), shared_, w.ClientArea);
        TPageHooks hooks;
        hooks.Window = Area;
        hooks.ShowParams = [this] { Area->ShowParams(); };
        hooks.OnEnter = [this, &w] {
            // The measurement page's profile, when it has one.
            if (TPageHooks* m = w.Page(kPageMeasure); m && m->Window)
                if (auto* page = dynamic_cast<TPMeasure*>(m->Window))
                    Area->TakeOverProfile(page->ProfileFrame()->PointCount);
            Area->Enter();
        };
        hooks.GetZoom = [this] {
            return std::array<double, 2>{Area->Frame()->ScaleX(), Area->Frame()->ScaleY()};
        };
        hooks.SetZoom = [this](double x, double y) {
            Area->Frame()->SetScaleX(x);
            Area->Frame()->SetScaleY(y);
        };
        w.RegisterPage(kPageArea, hooks);
        w.ActionUpdaters.push_back([this] { Area->UpdateActions(); });
        // The area page's plot scales are the group's own (saved after the profile page's).
        w.SettingsCollectors.push_back([this](TShellSettings& s) {
            s.AreaScaleX = Area->Frame()->ScaleX();
            s.AreaScaleY = Area->Frame()->ScaleY();
            s.AreaViewMaster = Area->ViewMasterCheck->isChecked();
        });
        StopAreaRepeat = [this] { Area->StopRepeat(); };
        Area->OnFunctionChanged = [&w] {
            for (int code : {kPageMeasure, kPageOutput, kPageOperation, kPageStoSett})
                if (TPageHooks* p = w.Page(code); p && p->ShowParams) p->ShowParams();
        };
    };
}

}  // namespace kd
