#include "pages/ui/settings_pages.h"

#include "pages/ui/tp_trigger.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterTrigger() {
    window_.WindowFactories["TPTrigger"] = [this](TKestTrel& w) {
        Trigger = new TPTrigger(w.Context(), w.ClientArea);
        TPageHooks hooks;
        hooks.Window = Trigger;
        hooks.ShowParams = [this] { Trigger->ShowParams(); };
        w.RegisterPage(kPageTrigger, hooks);
    };
}

}  // namespace kd
