#include "storage/ui/storage_pages.h"

#include "shell/ui/kest_trel.h"
#include "storage/ui/tp_sto_displ.h"
#include "storage/ui/tp_sto_prof.h"
#include "storage/ui/tp_sto_sett.h"

namespace kd {

TStoragePages::TStoragePages(TKestTrel& window) : window_(window) {
    window_.WindowFactories["TPStoSett"] = [this](TKestTrel& w) {
        Sett = new TPStoSett(w.Context(), w.ClientArea);
        if (Displ) Displ->SettingsPage = Sett;
        TPageHooks hooks;
        hooks.Window = Sett;
        hooks.ShowParams = [this] { Sett->ShowParams(); };
        w.RegisterPage(kPageStoSett, hooks);
    };
    window_.WindowFactories["TPStoDispl"] = [this](TKestTrel& w) {
        Displ = new TPStoDispl(w.Context(), Sett, w.ClientArea, w.Store());
        TPageHooks hooks;
        hooks.Window = Displ;
        hooks.ShowParams = [this] { Displ->ShowParams(); };
        hooks.OnEnter = [this] { Displ->UpdateActions(); };
        w.RegisterPage(kPageStoDispl, hooks);
        w.ActionUpdaters.push_back([this] { Displ->UpdateActions(); });
        w.StoreWriters.push_back([this](TConfigStore& s) { Displ->SaveRegistry(s); });
        w.StopDataStorage = [this, &w] {
            try {
                Displ->StopStorage(false);
            } catch (const std::exception& e) {
                w.State.StorageRunState = 0;
                w.Context().Services.HandleException(e);
            }
        };
    };
    window_.WindowFactories["TPStoProf"] = [this](TKestTrel& w) {
        Prof = new TPStoProf(w.Context(), w.ClientArea, w.Store());
        TPageHooks hooks;
        hooks.Window = Prof;
        hooks.OnEnter = [this] { Prof->UpdateActions(); };
        w.RegisterPage(kPageStoProf, hooks);
        w.ActionUpdaters.push_back([this] { Prof->UpdateActions(); });
        w.StoreWriters.push_back([this](TConfigStore& s) { Prof->SaveRegistry(s); });
    };
}

void TStoragePages::ResetSettings() {
    if (Sett) Sett->ResetDefaults();
}

}  // namespace kd
