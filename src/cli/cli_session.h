#pragma once
// Opening the sensor link for kdctl commands: a connected TKestThread made
// from the global options (port, baud rate, frame trace).
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "cli/cli.h"
#include "link/kest_thread.h"

namespace kd::cli {

// Starts the in-process simulated sensor for the port name "SIM" and returns
// the path of its pseudo-terminal. Empty unless the simulated sensor is built in.
std::function<std::string(const CliContext&)>& SimPortStarter();

class CliSession {
  public:
    // Opens ctx.port ("SIM" through SimPortStarter) at ctx.baud and connects.
    explicit CliSession(const CliContext& ctx);
    // Disconnects and writes the trace file (errors are reported on stderr).
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    TKestThread& Thread() { return *thread_; }
    // The device path the session opened.
    const std::string& PortPath() const { return portPath_; }
    // Disconnects and writes the trace file now; throws EKestError if it cannot.
    void Close();

  private:
    void WriteTrace();

    std::unique_ptr<TKestThread> thread_;
    std::string portPath_;
    std::string tracePath_;
    std::mutex traceMutex_;
    std::string traceText_;
    bool closed_ = false;
};

// Makes and connects a session; errors raise EKestError with a clear message.
std::unique_ptr<CliSession> OpenSession(const CliContext& ctx);

}  // namespace kd::cli
