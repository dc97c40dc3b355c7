#include <QAction>

#include "pages/ui/settings_pages.h"
#include "pages/ui/tp_common.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterCommon() {
    window_.WindowFactories["TPCommon"] = [this](TKestTrel& w) {
        // The operations reach the workflows the program hands in (BankOps).
        TBankOps ops;
        ops.Confirm = [this](const std::string& t) {
            return BankOps.Confirm && BankOps.Confirm(t);
        };
        ops.Backup = [this](const std::string& r) {
            return BankOps.Backup ? BankOps.Backup(r) : std::string();
        };
        ops.BankCopy = [this](int target, int source) {
            if (BankOps.BankCopy) BankOps.BankCopy(target, source);
        };
        ops.ReloadCurrentBank = [this] {
            if (BankOps.ReloadCurrentBank) BankOps.ReloadCurrentBank();
        };
        ops.Disconnect = [this] {
            if (BankOps.Disconnect) BankOps.Disconnect();
        };
        ops.Sleep = [this](unsigned ms) {
            if (BankOps.Sleep) BankOps.Sleep(ms);
        };
        ops.SetBaud = [this](int baud) { return BankOps.SetBaud ? BankOps.SetBaud(baud) : baud; };
        Common = new TPCommon(w.Context(), std::move(ops), w.ClientArea);
        Common->hide();
        Common->SelectLanguage = [&w](const std::string& choice) { w.SelectLanguage(choice); };
        Common->ExecDialog = [&w](QDialog& d) { return w.ExecDialog ? w.ExecDialog(d) : d.exec(); };
        w.SetLanguageText = [this](const std::string& code) { Common->SetLanguageText(code); };
        TPageHooks hooks;
        hooks.Window = Common;
        hooks.ShowParams = [this] { Common->ShowParams(); };
        w.RegisterPage(kPageCommon, hooks);
        w.RegisterWindow("BankCopyDlg", Common->BankCopyDlg);
        w.ActionUpdaters.push_back([this] { Common->UpdateActions(); });
        // The main window's bank entries run the page's operations.
        if (QAction* a = w.Action("CommBankCopy"))
            QObject::connect(a, &QAction::triggered, Common,
                             [this] { Common->Action("BankCopy")->trigger(); });
        if (QAction* a = w.Action("CommBankClear"))
            QObject::connect(a, &QAction::triggered, Common,
                             [this] { Common->Action("BankClear")->trigger(); });
    };
}

}  // namespace kd
