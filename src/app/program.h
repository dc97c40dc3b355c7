#pragma once
// The desktop program put together: the main window, the session workflows
// on its worker and state, the built-in simulated sensor behind the port name
// SIM, the measurement views and the settings pages. main() runs one; the
// window tests and the idle benchmark use the same assembly.
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/session_wiring.h"
#include "compare/ui/compare_windows.h"
#include "measure/ui/measure_views.h"
#include "pages/ui/settings_pages.h"
#include "shell/session/kest_session.h"
#include "shell/ui/kest_trel.h"
#include "storage/ui/storage_pages.h"

namespace kd {

class TConfigStore;
class TKestApplication;

struct TKestProgram {
    // args are the command line without -connect; store may be null (the
    // window keeps its settings in memory then).
    explicit TKestProgram(const std::vector<std::string>& args, TConfigStore* store = nullptr,
                          const std::string& programPath = {});
    TKestProgram(const TKestProgram&) = delete;
    TKestProgram& operator=(const TKestProgram&) = delete;

    TKestServices Services;
    TSimPort SimPort;
    TDeferredWorkflow Workflow;
    TKestTrel Window;
    TTrelSessionHost Host;
    TKestSession Session;
    TMeasureViews Measure;
    TSettingsPages Settings;
    TCompareWindows Compare;
    TStoragePages Storage;
};

// What a script's action name (-action) names: on the page of the given code
// first (its actions, then its buttons), then the main window's own actions
// and buttons, not those of other pages. A QAction or a QAbstractButton;
// null when the name is unknown.
QObject* FindScriptTarget(TKestTrel& window, int page, const QString& name);

// kdtrelva after its application object exists: the program made from the
// command line (without the program name), shown, run until it ends. 0 or the
// exit code; 2 for a bad command line; 1 when start-up failed, with the
// reason on stderr (and in a message box on a real display). atStart runs
// once the window is shown, right before the message loop (tests).
int RunDesktopProgram(TKestApplication& app, const std::vector<std::string>& commandLine,
                      const std::function<void(TKestProgram&)>& atStart = {});

}  // namespace kd
