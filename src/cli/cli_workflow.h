#pragma once
// The program's session workflows for one kdctl run: the sensor link with the
// parameter image, the state and the session that works on them.
#include <memory>

#include "cli/cli_session.h"
#include "common/kest_error.h"
#include "shell/session/kest_session.h"

namespace kd::cli {

// Everything a workflow works on, for one kdctl run.
struct TCliWorkflow {
    explicit TCliWorkflow(const CliContext& ctx)
        : link(OpenSession(ctx)), session({link->Thread(), image, masters, state, live, host}) {
        image.Masters = &masters;
        image.SensorVersion = &state.SensorVersion;
        state.CurrentPage = kPageMeasure;
    }
    void Connect() {
        if (!session.TryConnect()) throw EKestError(session.LastConnectError);
    }
    // Closes the link; a SYS_UPDATE the sensor did not take fails the command
    // (the settings are written and permanent all the same).
    void Close() {
        link->Close();
        if (session.SysUpdateFailures > 0)
            throw EKestError(
                "SYS_UPDATE failed: the settings are written and permanent, but the "
                "sensor may use them only after a restart");
    }

    std::unique_ptr<CliSession> link;
    TKestParam image;
    TMasterStore masters;
    TShellState state;
    TLiveValues live;
    THeadlessHost host;
    TKestSession session;
};

}  // namespace kd::cli
