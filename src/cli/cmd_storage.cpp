// kdctl storage: the sensor's data and profile storage. status prints one
// line; start sends the storage settings of the sensor's parameters first,
// as the pages do; fetch and profiles download with progress on a terminal,
// Ctrl-C aborts, and the file is written only when everything arrived (what
// did arrive goes to FILE.partial.csv).
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_session.h"
#include "cli/cli_workflow.h"
#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "shell/session/kest_session.h"
#include "storage/profile_set.h"
#include "storage/record_set.h"
#include "storage/storage_link.h"

namespace kd::cli {
namespace {

struct TStorageWorkflow : TCliWorkflow {
    explicit TStorageWorkflow(const CliContext& ctx) : TCliWorkflow(ctx) {
        Connect();
        io = StorageIoOf(link->Thread());
    }
    TStorageIo io;
};

std::atomic<bool> abortFetch{false};
void AbortFetchSignal(int) {
    abortFetch = true;
}

void CheckStorage(const std::vector<std::string>& a) {
    const std::string usage =
        "storage: give status, start data|profile, stop, fetch FILE.csv or profiles FILE.csv";
    if (a.empty()) throw UsageError{usage};
    const std::string& s = a[0];
    if ((s == "status" || s == "stop") && a.size() == 1) return;
    if (s == "start" && a.size() == 2 && (a[1] == "data" || a[1] == "profile")) return;
    if ((s == "fetch" || s == "profiles") && a.size() == 2) {
        if (a[1].empty()) throw UsageError{"storage " + s + ": give a file name"};
        return;
    }
    throw UsageError{usage};
}

std::string PartialName(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return name.substr(0, dot) + ".partial" + name.substr(dot);
    return name + ".partial";
}

// Progress a few times a second on a terminal; abort on Ctrl-C.
TFetchProgressFn ProgressPrinter(const char* what) {
    const bool tty = isatty(STDERR_FILENO) != 0;
    auto last = std::make_shared<uint32_t>(TickMs());
    return [tty, what, last](const TFetchProgress& p) {
        if (tty && (TickMs() - *last >= 250 || p.Done == p.Total)) {
            *last = TickMs();
            std::fprintf(stderr, "\r%s   ", ProgressText(p, what).c_str());
            if (p.Done == p.Total) std::fputc('\n', stderr);
            std::fflush(stderr);
        }
        return !abortFetch.load();
    };
}

int Finish(const TFetchOutcome& out, const std::string& file, const std::string& text,
           const char* what) {
    if (out.Complete()) {
        WriteFileAtomic(file, text);
        std::printf("%d %s written to %s\n", out.Done, what, file.c_str());
        return 0;
    }
    std::string why = out.Aborted ? "aborted" : out.Error;
    if (out.Done > 0) {
        const std::string partial = PartialName(file);
        WriteFileAtomic(partial, text);
        throw EKestError(Format("storage: %s after %d of %d %s; those are in %s, %s not written",
                                why.c_str(), out.Done, out.Total, what, partial.c_str(),
                                file.c_str()));
    }
    throw EKestError(Format("storage: %s after 0 of %d %s; %s not written", why.c_str(), out.Total,
                            what, file.c_str()));
}

int RunStorage(CliContext& ctx) {
    CheckStorage(ctx.args);
    const std::string sub = ctx.args[0];
    TStorageWorkflow w(ctx);
    const TSensorVersion& v = w.state.SensorVersion;
    int rc = 0;
    if (sub == "status") {
        const TStorageStatus s = QueryStorageStatus(w.io, v);
        std::printf("state=%d run=%d count=%d count2=%d buf=%d\n", s.State, s.Run, s.Count,
                    s.Count2, QueryStorageBuf(w.io));
    } else if (sub == "start") {
        const int target = ctx.args[1] == "data" ? 1 : 2;
        StartStorage(w.io, StorageSettingsOf(w.image, v), target);
        std::printf("storage started (%s)\n", ctx.args[1].c_str());
    } else if (sub == "stop") {
        StopStorage(w.io);
        std::printf("storage stopped\n");
    } else {
        abortFetch = false;
        auto oldInt = std::signal(SIGINT, AbortFetchSignal);
        auto oldTerm = std::signal(SIGTERM, AbortFetchSignal);
        struct Restore {
            void (*i)(int);
            void (*t)(int);
            ~Restore() {
                std::signal(SIGINT, i);
                std::signal(SIGTERM, t);
            }
        } restore{oldInt, oldTerm};
        if (sub == "fetch") {
            TRecordSet set;
            const TFetchOutcome out = FetchStoredRecords(
                w.io, set, w.image.GetSysSigned(pk::StrStl), ProgressPrinter("records"));
            rc = Finish(out, ctx.args[1], WriteRecordsCsv(set), "records");
        } else {
            auto set = std::make_unique<TProfileSet>();
            const TFetchOutcome out = FetchStoredProfiles(w.io, *set, ProgressPrinter("profiles"));
            rc = Finish(out, ctx.args[1], WriteProfilesCsv(*set, false), "profiles");
        }
    }
    w.link->Close();
    return rc;
}

}  // namespace

KD_CLI_COMMAND("storage", RunStorage, CheckStorage);

}  // namespace kd::cli
