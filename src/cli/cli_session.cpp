#include "cli/cli_session.h"

#include <cstdio>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "link/frame_trace.h"

namespace kd::cli {

std::function<std::string(const CliContext&)>& SimPortStarter() {
    static std::function<std::string(const CliContext&)> starter;
    return starter;
}

CliSession::CliSession(const CliContext& ctx) : tracePath_(ctx.trace) {
    if (ctx.port == "SIM") {
        auto& starter = SimPortStarter();
        if (!starter)
            throw EKestError("the simulated sensor is not built into this kdctl; give --port NAME");
        portPath_ = starter(ctx);
        if (portPath_.empty()) throw EKestError("the simulated sensor did not start");
    } else {
        portPath_ = ctx.port;
    }
    thread_ = std::make_unique<TKestThread>(DirectDispatcher());
    thread_->PortName = portPath_;
    if (!tracePath_.empty()) {
        thread_->SetTrace([this](const FrameTraceEvent& e) {
            std::string line = FormatTraceLine(WallClockMs(), e);
            std::lock_guard<std::mutex> g(traceMutex_);
            traceText_ += line;
            traceText_ += '\n';
        });
    }
    thread_->SetBaud(ctx.baud);
    thread_->Connect();
}

CliSession::~CliSession() {
    try {
        Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kdctl: %s\n", e.what());
    }
}

void CliSession::Close() {
    if (closed_) return;
    closed_ = true;
    thread_->AbortRequested = true;
    thread_->ForceDisconnect();
    WriteTrace();
}

void CliSession::WriteTrace() {
    if (tracePath_.empty()) return;
    std::string text;
    {
        std::lock_guard<std::mutex> g(traceMutex_);
        text = traceText_;
    }
    WriteFileAtomic(tracePath_, text);
}

std::unique_ptr<CliSession> OpenSession(const CliContext& ctx) {
    return std::make_unique<CliSession>(ctx);
}

}  // namespace kd::cli
