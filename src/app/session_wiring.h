#pragma once
// Wiring of the session workflows into the desktop program: the port name
// SIM for the built-in simulated sensor, the main window as the workflows'
// host, and a workflow stand-in that the main window can hold before the
// session exists.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "shell/session/kest_session.h"
#include "shell/shell_seams.h"

namespace kdsim {
class SimSensor;
}

namespace kd {

class TKestTrel;

// The port name of the built-in simulated sensor.
constexpr const char* kSimPortName = "SIM";

// The port SIM: the simulated sensor started in this process on first use
// (options from KDSIM_ARGS) and reached through its pseudo-terminal by the
// real serial code. Other names are used as they are.
class TSimPort {
  public:
    TSimPort();
    ~TSimPort();
    TSimPort(const TSimPort&) = delete;
    TSimPort& operator=(const TSimPort&) = delete;
    // The device to open for a port name; throws EKestError when the
    // simulated sensor cannot start.
    std::string Resolve(const std::string& name);

  private:
    std::unique_ptr<kdsim::SimSensor> sim_;
};

// Forwards to the session once it has been made (after the main window, whose
// state it works on).
class TDeferredWorkflow : public TShellWorkflow {
  public:
    TKestSession* Target = nullptr;
    void Connect() override { Get().Connect(); }
    void Disconnect() override { Get().Disconnect(); }
    void ReceiveAll() override { Get().ReceiveAll(); }
    void SendAll() override { Get().SendAll(); }
    void SendBank() override { Get().SendBank(); }
    void WriteToEeprom(int bank) override { Get().WriteToEeprom(bank); }
    void BankChange(int bank) override { Get().BankChange(bank); }
    void FileNew() override { Get().FileNew(); }
    void FileOpen(const std::string& path) override { Get().FileOpen(path); }
    void FileSaveAs(const std::string& path) override { Get().FileSaveAs(path); }
    void RefreshAll() override { Get().RefreshAll(); }
    void PollTick() override { Get().PollTick(); }

  private:
    TKestSession& Get();
};

// Every second while a lost port is watched: reconnects when it is back.
// The timer belongs to owner.
void WatchReturningPort(QObject& owner, TKestSession& session);

// The main window and its pages as the host of the workflows. Pages that are
// built later plug their parts in through the hooks; an empty hook does nothing.
class TTrelSessionHost : public TSessionHost {
  public:
    explicit TTrelSessionHost(TKestTrel& window);

    bool Confirm(const std::string& text) override;
    void Message(const std::string& caption, const std::string& text) override;
    void Notify(const std::string& caption, const std::string& text) override;
    void BeginWait() override;
    void EndWait() override;
    std::string Translate(const std::string& name, const std::string& def) override;
    bool Sync() const override;
    void SetSync(bool on) override;
    bool Displ() const override;
    void ShowStatusWord(uint16_t status) override;
    void SetBankSelector(int bank) override;
    bool BankListDropped() const override;
    void RefreshPages() override;
    void ShowPage(int code) override;
    void UpdateActions() override;
    void LinkStateChanged(int state) override;
    void ShowConnected(bool connected) override;
    void SetTargetLabel(const std::string& text, int color) override;
    void SaveRegistry() override;
    void SetFileName(const std::string& name) override;
    void SetOutputLamp(int output, bool on) override;
    void StartMeasureRepeat() override { Call(StartMeasureRepeatHook); }
    void ResetCameraImage() override { Call(ResetCameraImageHook); }
    void StopRepeats() override { Call(StopRepeatsHook); }
    void ReleaseCamRectButton() override { Call(ReleaseCamRectButtonHook); }
    void ResetStorageSettings() override { Call(ResetStorageSettingsHook); }
    void SetLaserIndicator(bool on) override;
    void SetHoldIndicator(bool on) override;
    void SetZeroToggle(int output, bool on) override;
    void ChartValue(int channel, int32_t value) override;
    void ChartAdvance(bool drawOperation) override;

    // Shows a message box; replaceable so tests can answer it.
    std::function<void(const std::string& caption, const std::string& text)> ShowMessage;
    std::function<void()> StartMeasureRepeatHook, ResetCameraImageHook, StopRepeatsHook,
        ReleaseCamRectButtonHook, ResetStorageSettingsHook;
    std::function<void(bool)> LaserIndicatorHook, HoldIndicatorHook;
    std::function<void(int, bool)> ZeroToggleHook;
    std::function<void(int, int32_t)> ChartValueHook;
    std::function<void(bool)> ChartAdvanceHook;
    // Refills the EEPROM grid viewer when it exists; redraws the measurement
    // page's profile plot, last of a refresh.
    std::function<void()> RefreshEepGridHook, RefreshMeasurePlotHook;

  private:
    static void Call(const std::function<void()>& f) {
        if (f) f();
    }
    TKestTrel& w_;
};

}  // namespace kd
