#include "measure/ui/chart_frame.h"
#include "pages/area_settings.h"
#include "pages/ui/settings_pages.h"
#include "pages/ui/tp_area.h"
#include "pages/ui/tp_operation.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterOperation() {
    window_.WindowFactories["TPOperation"] = [this](TKestTrel& w) {
        Operation = new TPOperation(w.Context(), Chart, w.ClientArea);
        Operation->ChartFrame1->DisplUnit = w.Display.DisplUnit;
        TPageHooks hooks;
        hooks.Window = Operation;
        hooks.ShowParams = [this, &w] {
            Operation->ChartFrame1->DisplUnit = w.Display.DisplUnit;
            Operation->ShowParams();
        };
        w.RegisterPage(kPageOperation, hooks);
        Operation->AreaFunctionNames = [this, &w] {
            QStringList names;
            if (!Area) return names;
            const int n = AreaFunctionCount(w.State.SensorVersion);
            for (int i = 0; i < n && i < Area->MeasModeCombo->count(); ++i)
                names << Area->MeasModeCombo->itemText(i);
            return names;
        };
        Operation->OnCalcChanged = [&w] {
            for (int code : {kPageMeasure, kPageStoSett, kPageOutput})
                if (TPageHooks* p = w.Page(code); p && p->ShowParams) p->ShowParams();
        };
        w.SetChartMask = [this](int mask) { Operation->SetChartMask(static_cast<uint32_t>(mask)); };
        w.SettingsCollectors.push_back(
            [this](TShellSettings& s) { s.ChMask = static_cast<int32_t>(Operation->ChartMask()); });
        RefreshChart = [this] { Operation->ChartFrame1->Refresh(); };
    };
}

}  // namespace kd
