#pragma once
// The desktop program put together: the main window, the session workflows
// on its worker and state, the built-in simulated sensor behind the port name
// SIM, the measurement views and the settings pages. main() runs one; the
// window tests and the idle benchmark use the same assembly.
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
    // and runs the actions. A run with a screenshot ends by itself: the
    // picture is taken the wait after the actions or, when a modal box stops
    // the start, once the wait has passed; a box that is open then is drawn
    // into the picture and its text printed. The run's result is in ExitCode.
    void Start(bool connect, std::vector<std::function<void()>> actions);
    int ExitCode = 0;

  private:
    void TakeScreenshot();
    void WatchStart(int ms);
    void RunWhenStanding(int tries, std::function<void()> run);
    bool startDone_ = false;
    bool ended_ = false;
};

}  // namespace kd
