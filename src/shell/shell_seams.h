#pragma once
// What the main window needs of the communication worker and of the
// connection workflows, as small interfaces. The desktop
// program plugs the real objects in; tests plug in recorders.
#include <cstdint>
#include <string>
#include <vector>

#include "link/kest_thread.h"

namespace kd {

class TSensorLink {
  public:
    virtual ~TSensorLink() = default;
    // One synchronous command; failures are thrown as the communication
    // exceptions (all derive from EKestError).
    virtual void Command(uint16_t code, const std::vector<uint8_t>& payload) = 0;
    virtual bool TaskRunning() const = 0;
    virtual void RequestAbort() = 0;
    virtual std::string PortName() const = 0;
    virtual void SetPortName(const std::string& name) = 0;
    // Asks the worker to end; called once at shut-down.
    virtual void Terminate() = 0;
};

// The link through the program's communication worker.
class TKestThreadLink : public TSensorLink {
  public:
    explicit TKestThreadLink(TKestThread& worker) : worker_(worker) {}
    void Command(uint16_t code, const std::vector<uint8_t>& payload) override {
        worker_.Command(code, std::span<const uint8_t>(payload.data(), payload.size()));
    }
    bool TaskRunning() const override { return worker_.Task.load() != kTaskIdle; }
    void RequestAbort() override { worker_.AbortRequested = true; }
    std::string PortName() const override { return worker_.PortName; }
    void SetPortName(const std::string& name) override { worker_.PortName = name; }
    // The worker ends when its owner destroys it.
    void Terminate() override { worker_.AbortRequested = true; }
    TKestThread& Worker() { return worker_; }

  private:
    TKestThread& worker_;
};

// The operator workflows the Comm and File actions start.
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
