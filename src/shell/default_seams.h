#pragma once
// The stand-in used until the connection workflows are plugged into the main
// window.
#include <string>

#include "common/log.h"
#include "shell/shell_seams.h"

namespace kd {

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
