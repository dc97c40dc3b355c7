#include "app/program.h"

#include <QAbstractButton>
#include <QAction>

#include "common/clock.h"

namespace kd {

namespace {

// The services the main window is made with: the workflows are the deferred
// stand-in, pointed at the session once that exists.
TKestServices& Prepared(TKestServices& services, TDeferredWorkflow& workflow, TConfigStore* store,
                        const std::string& programPath) {
    services.Store = store;
    services.ProgramPath = programPath;
    services.Workflow = &workflow;
    return services;
}

}  // namespace

TKestProgram::TKestProgram(const std::vector<std::string>& args, TConfigStore* store,
                           const std::string& programPath)
    : Window(args, Prepared(Services, Workflow, store, programPath)),
      Host(Window),
      Session({*Window.Thread(), Window.Image(), Window.Masters, Window.State, Window.Live, Host}),
      Measure(Window),
      Settings(Window, Measure.Shared),
      Compare(Window, Session, Host, Host.RefreshEepGridHook),
      Storage(Window) {
    Session.PortResolver = [this](const std::string& name) { return SimPort.Resolve(name); };
    Workflow.Target = &Session;
    WatchReturningPort(Window, Session);
    Window.SamplingPeriodHook = [this] { return Session.SamplingPeriod; };
    Measure.ConnectSession(Host);
    Settings.Chart = &Measure.Chart;
    Settings.ConnectSession(Host);
    Settings.BankOps.Confirm = [this](const std::string& text) { return Host.Confirm(text); };
    Settings.BankOps.Backup = [this](const std::string& r) { return Session.BackupSettings(r); };
    Settings.BankOps.BankCopy = [this](int target, int source) {
        Session.BankCopy(target, source);
    };
    Settings.BankOps.ReloadCurrentBank = [this] { Session.ReloadCurrentBank(); };
    Settings.BankOps.Disconnect = [this] { Session.Disconnect(); };
    Settings.BankOps.Sleep = [](unsigned ms) { SleepMs(ms); };
    Settings.BankOps.SetBaud = [this](int baud) {
        Window.Thread()->SetBaud(baud);
        return Window.Thread()->BaudRate.load();
    };
    Storage.ConnectSession(Host);
}

}  // namespace kd

namespace kd {

QObject* FindScriptTarget(TKestTrel& window, int page, const QString& name) {
    if (TPageHooks* h = window.Page(page); h && h->Window) {
        if (auto* a = h->Window->findChild<QAction*>(name)) return a;
        if (auto* b = h->Window->findChild<QAbstractButton*>(name)) return b;
    }
    if (QAction* a = window.Action(name)) return a;
    std::vector<QWidget*> pages;
    for (int code :
         {kPageMeasure, kPageTrigger, kPageCamera, kPageProfile, kPageArea, kPageOperation,
          kPageOutput, kPageStoSett, kPageStoDispl, kPageStoProf, kPageCommon})
        if (TPageHooks* h = window.Page(code); h && h->Window) pages.push_back(h->Window);
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>(name)) {
        bool onPage = false;
        for (QWidget* p : pages) onPage = onPage || p->isAncestorOf(b);
        if (!onPage) return b;
    }
    return nullptr;
}

}  // namespace kd
