#pragma once
// What the session workflows need of the windows, as one small interface.
// The desktop program implements it over the main window and its pages;
// kdctl and the tests use THeadlessHost, which keeps the debug window's two
// switches in plain fields and answers every question with OK.
#include <cstdint>
#include <string>

namespace kd {

class TSessionHost {
  public:
    virtual ~TSessionHost() = default;

    // --- dialogs and cursor
    // The shared OK/Cancel confirmation with the given message; true for OK.
    virtual bool Confirm(const std::string& text) = 0;
    // A message box with an OK button.
    virtual void Message(const std::string& caption, const std::string& text) = 0;
    // The same message, but the program goes on while it stands (the polling
    // and the watch for a returning port keep running); the desktop program
    // shows it in a box that does not hold the window.
    virtual void Notify(const std::string& caption, const std::string& text) {
        Message(caption, text);
    }
    // The wait cursor on (BeginWait) and back to the default (EndWait).
    virtual void BeginWait() {}
    virtual void EndWait() {}
    // A localised text of the string table, or def.
    virtual std::string Translate(const std::string& name, const std::string& def) {
        (void)name;
        return def;
    }

    // --- the debug window's switches
    virtual bool Sync() const = 0;
    virtual void SetSync(bool on) = 0;
    virtual bool Displ() const = 0;
    // The status word shown in the debug window's Edit1 ("%04X").
    virtual void ShowStatusWord(uint16_t status) { (void)status; }

    // --- main window
    // Puts the bank into the bank selector without starting a bank change.
    virtual void SetBankSelector(int bank) { (void)bank; }
    // True while the bank selector's list is dropped down.
    virtual bool BankListDropped() const { return false; }
    // Refills, in their fixed order, every page that exists from the image.
    virtual void RefreshPages() {}
    virtual void ShowPage(int code) { (void)code; }
    virtual void UpdateActions() {}
    // LinkState has just changed to state (the polling timer runs while it is not 0).
    virtual void LinkStateChanged(int state) { (void)state; }
    // Connect panel: true shows the transfer and disconnect buttons in place
    // of the connect button, false the other way round.
    virtual void ShowConnected(bool connected) { (void)connected; }
    // The (hidden) version label and its colour (0x00BBGGRR).
    virtual void SetTargetLabel(const std::string& text, int color) {
        (void)text;
        (void)color;
    }
    virtual void SaveRegistry() {}
    // The file name remembered by the main window, and its caption.
    virtual void SetFileName(const std::string& name) { (void)name; }
    // Lamps OUT1..OUT3 (on: orange, off: black).
    virtual void SetOutputLamp(int output, bool on) {
        (void)output;
        (void)on;
    }

    // --- pages
    // After a connection: the measurement page's repeated profile fetch when
    // its repeat button is down.
    virtual void StartMeasureRepeat() {}
    // The camera page resets its picture after a connection.
    virtual void ResetCameraImage() {}
    // On disconnection: stop the area and measurement pages' repeated fetches.
    virtual void StopRepeats() {}
    // On disconnection: release the camera page's window-rectangle button.
    virtual void ReleaseCamRectButton() {}
    // File New resets the storage settings page.
    virtual void ResetStorageSettings() {}
    // The measurement page's indicators and zero-set toggles.
    virtual void SetLaserIndicator(bool on) { (void)on; }
    virtual void SetHoldIndicator(bool on) { (void)on; }
    virtual void SetZeroToggle(int output, bool on) {
        (void)output;
        (void)on;
    }

    // --- chart sample store
    virtual void ChartValue(int channel, int32_t value) {
        (void)channel;
        (void)value;
    }
    // Completes the sample with the time of now; drawOperation: the operation
    // page is shown and draws the new sample.
    virtual void ChartAdvance(bool drawOperation) { (void)drawOperation; }
};

// A host without windows: every confirmation is OK, messages go to the log.
class THeadlessHost : public TSessionHost {
  public:
    bool Confirm(const std::string& text) override;
    void Message(const std::string& caption, const std::string& text) override;
    bool Sync() const override { return SyncOn; }
    void SetSync(bool on) override { SyncOn = on; }
    bool Displ() const override { return DisplOn; }

    bool SyncOn = false;
    bool DisplOn = true;
};

}  // namespace kd
