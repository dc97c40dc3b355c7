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

    // The start of a run, once the windows exist: shows the main window and,
    // once it stands, connects (connect), shows the page of the command line
    // and runs the actions, each after its wait (ms; a recording to finish
    // before its fetch). A run with a screenshot ends by itself: the picture
    // is taken the wait (and finalWait) after the actions or, when a modal box
    // stops the start, once the wait has passed; a box that is open then is
    // drawn into the picture and its text printed. The result is in ExitCode.
    struct TStep {
        int WaitMs = 0;
        std::function<void()> Run;
    };
    void Start(bool connect, std::vector<TStep> steps, int finalWait = 0);
    // Asked to end from outside by signal sig: keeps the changes not yet made
    // permanent in the sensor in a backup file (no box can be answered now),
    // saves the window's settings and ends the message loop with 128 + sig.
    void EndOnSignal(int sig);
    int ExitCode = 0;

  private:
    void TakeScreenshot();
    void WatchStart(int ms);
    void RunWhenStanding(int tries, std::function<void()> run);
    void RunSteps(size_t from);
    std::vector<TStep> steps_;
    int finalWait_ = 0;
    bool startDone_ = false;
    bool ended_ = false;
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
