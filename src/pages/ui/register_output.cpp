#include <QAction>
#include <QToolButton>

#include "measure/ui/tp_measure.h"
#include "pages/ui/settings_pages.h"
#include "pages/ui/tp_output.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterOutput() {
    window_.WindowFactories["TPOutput"] = [this](TKestTrel& w) {
        Output = new TPOutput(w.Context(), w.ClientArea);
        // The zero-set buttons are the measurement page's zero-set actions.
        if (TPageHooks* m = w.Page(kPageMeasure); m && m->Window) {
            if (auto* measure = dynamic_cast<TPMeasure*>(m->Window))
                for (int k = 0; k < 3; ++k)
                    if (QAction* a =
                            measure->Action(("ZeroSetToggle" + std::to_string(k + 1)).c_str()))
                        Output->ZeroSetButton[static_cast<size_t>(k)]->setDefaultAction(a);
        }
        Output->RefreshMeasure = [&w] {
            if (TPageHooks* m = w.Page(kPageMeasure); m && m->ShowParams) m->ShowParams();
        };
        TPageHooks hooks;
        hooks.Window = Output;
        hooks.ShowParams = [this] { Output->ShowParams(); };
        w.RegisterPage(kPageOutput, hooks);
    };
}

}  // namespace kd
