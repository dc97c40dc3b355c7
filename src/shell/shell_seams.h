#pragma once
// The operator workflows the main window's Comm and File actions start, as
// one small interface: the desktop program plugs the session in, tests plug
// in recorders.
#include <string>

namespace kd {

class TShellWorkflow {
  public:
    virtual ~TShellWorkflow() = default;
    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    virtual void ReceiveAll() = 0;
    // The Write Param actions: all banks, or the bank of the selector; each
    // asks for confirmation first.
    virtual void SendAll() = 0;
    virtual void SendBank() = 0;
    // Makes the image's settings permanent without asking; bank -1: all banks.
    virtual void WriteToEeprom(int bank) = 0;
    virtual void BankChange(int bank) = 0;
    virtual void FileNew() = 0;
    virtual void FileOpen(const std::string& path) = 0;
    virtual void FileSaveAs(const std::string& path) = 0;
    virtual void RefreshAll() = 0;
    virtual void PollTick() = 0;
};

}  // namespace kd
