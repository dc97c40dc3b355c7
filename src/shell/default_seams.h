#pragma once
// Stand-ins used until the communication worker, the parameter image and the
// connection workflows are plugged into the main window.
#include <string>

#include "common/kest_error.h"
#include "common/log.h"
#include "shell/shell_seams.h"

namespace kd {

// A worker without a port: every command fails with a clear message.
class TDetachedLink : public TSensorLink {
  public:
    void Command(uint16_t code, const std::vector<uint8_t>&) override {
        throw EKestError(Format("command 0x%04X not sent: no communication worker", code));
    }
    bool TaskRunning() const override { return false; }
    void RequestAbort() override {}
    std::string PortName() const override { return port_; }
    void SetPortName(const std::string& name) override { port_ = name; }
    void Terminate() override {}

  private:
    std::string port_;
};

// Workflows not yet available: each logs that it was asked for.
class TPendingWorkflow : public TShellWorkflow {
  public:
    void Connect() override { Pending("Connect"); }
    void Disconnect() override { Pending("Disconnect"); }
    void ReceiveAll() override { Pending("ReceiveAll"); }
    void SendAll() override { Pending("SendAll"); }
    void SendBank() override { Pending("SendBank"); }
    void WriteToEeprom(int bank) override { Pending(Format("WriteToEeprom(%d)", bank)); }
    void BankChange(int bank) override { Pending(Format("BankChange(%d)", bank)); }
    void FileNew() override { Pending("FileNew"); }
    void FileOpen(const std::string& path) override { Pending("FileOpen(" + path + ")"); }
    void FileSaveAs(const std::string& path) override { Pending("FileSaveAs(" + path + ")"); }
    void RefreshAll() override {}
    void PollTick() override {}

  private:
    static void Pending(const std::string& what) {
        WriteLog(kLogPlain, "%s: not available in this build", what.c_str());
    }
};

}  // namespace kd
