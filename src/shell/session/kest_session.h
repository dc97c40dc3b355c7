#pragma once
// TKestSession: the operator workflows that move whole parameter sets between
// the sensor, the parameter image and files (connect with the version check,
// disconnect, receive, EEPROM writes, bank copy and change, File New, Open and
// Save As) and the polling tick that reads the live values. The desktop
// program and kdctl both run them; windows are reached through TSessionHost.
//
// Everything runs on the caller's (user-interface) thread and calls the
// worker synchronously. Communication failures end a workflow at the step
// where they occur and are thrown on; the image keeps what was read so far.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/kest_thread.h"
#include "link/port_identity.h"
#include "params/kest_param.h"
#include "shell/session/session_host.h"
#include "shell/session/settings_backup.h"
#include "shell/shell_seams.h"
#include "shell/shell_state.h"

namespace kd {

// Version-dependent behaviour (unsigned comparisons of the version numbers).
bool WideTransfersFor(const TSensorVersion& v);   // soft >= 75 or soft == 73
bool MastersPerBank(const TSensorVersion& v);     // soft >= 70
bool StatusWordPath(const TSensorVersion& v);     // bios >= 73
bool ReadsAnalogValue(const TSensorVersion& v);   // soft >= 76
bool StatusDisplayBits(const TSensorVersion& v);  // soft >= 79
// "target ver%02X:%02X:%02X(fpga:bios:soft)", with "; TOO NEWER" when any
// number exceeds the supported version (tooNew tells which).
std::string TargetVersionText(const TSensorVersion& v, bool* tooNew = nullptr);

// Colours of the version label and the lamps (0x00BBGGRR).
constexpr int kColorBlack = 0x00000000;
constexpr int kColorRed = 0x000000FF;

// The objects a session works on; all of them outlive it.
struct TSessionParts {
    TKestThread& Thread;
    TKestParam& Image;
    TMasterStore& Masters;
    TShellState& State;
    TLiveValues& Live;
    TSessionHost& Host;
};

class TKestSession : public TShellWorkflow {
  public:
    explicit TKestSession(TSessionParts parts);

    // --- TShellWorkflow
    // Connects; a failure is reported to the operator (message box), the port
    // is released and the common setup page shown. Use TryConnect to learn
    // whether it worked.
    void Connect() override { TryConnect(); }
    void Disconnect() override;
    void ReceiveAll() override;
    // Write Param for all banks / the selector's bank, after confirmation.
    void SendAll() override;
    void SendBank() override;
    // bank -1: all banks; 0..7: that bank.
    void WriteToEeprom(int bank) override;
    void BankChange(int bank) override;
    void FileNew() override;
    void FileOpen(const std::string& name) override;
    void FileSaveAs(const std::string& name) override;
    void RefreshAll() override;
    void PollTick() override { Tick(); }

    // Connect; true when connected. LastConnectError holds the reason of a failure.
    bool TryConnect();
    void ReloadCurrentBank();
    // target 0..7, or 8 for all banks; source 0..7.
    void BankCopy(int target, int source);
    void SelectBank(int bank);
    // One polling tick. false when it was skipped (camera picture, port closed,
    // Displ off, not connected, a workflow running); true when it ran,
    // whatever its outcome.
    bool Tick();

    // --- a port that went away, and its return
    // Checks once whether the lost port is back (its path, or the same USB
    // adapter under another name) and a sensor answers there; then keeps
    // changes not yet made permanent in a backup, tells the operator, and
    // connects with the Connect workflow. True when connected again.
    bool WatchLostPort();
    // Milliseconds until the next probe of a silent sensor may run (0: now).
    uint32_t NextProbeInMs() const;

    // Reads a bank's master record from the sensor into the master store;
    // log: write the "bank%d: ..." line.
    void ReadMaster(int bank, bool log);
    // Writes a bank's master record to the sensor (transfer area, MST_WRITE).
    void WriteMaster(int bank);

    // Backup of the image before a workflow overwrites the operator's
    // settings; returns its path. Used here before Open in step and bank
    // copies onto other banks, and by the common setup page before a factory
    // initialisation or a bank clear.
    std::string BackupSettings(const std::string& reason);
    // After a parameter write: waits SysUpdateDelayMs and sends SYS_UPDATE; a
    // failure is logged and counted, never raised.
    void SysUpdateIgnoringFailure();

    // --- state of the session
    uint16_t SamplingPeriod = 0;
    // Set when a connection starts; the storage pages clear it once they
    // have reacted to it.
    bool NewConnection = false;
    std::string LastConnectError;
    // Maps the port name to the device opened by Connect (the desktop
    // program's port SIM); the worker keeps the name the operator chose.
    std::function<std::string(const std::string& name)> PortResolver;
    // Folder for the backups; empty: DefaultBackupDir().
    std::string BackupDir;
    // Paths of the backups written by this session, newest last.
    std::vector<std::string> Backups;
    // The last status word read by the tick (composed from the separate
    // queries for a BIOS before 73).
    uint16_t StatusWord = 0;
    std::array<bool, 3> ZeroState{};
    // SYS_UPDATE failures that were logged and ignored.
    int SysUpdateFailures = 0;
    // Wait before SYS_UPDATE after a parameter write, ms (tests may shorten it).
    unsigned SysUpdateDelayMs = 5;
    // When the last tick read every live value (TickMs).
    uint32_t LastPollMs = 0;
    // Least time between two probes of a silent sensor, ms (tests may shorten it).
    unsigned ProbeIntervalMs = 500;

    // The port that went away while connected, watched for its return (empty
    // Path: none). Roots of the device tree (tests point them elsewhere).
    TPortIdentity LostPort;
    TDeviceRoots DeviceRoots;
    // The backup written before the last reconnection (empty: none was needed).
    std::string ReconnectBackup;

    const TSensorVersion& Version() const { return parts_.State.SensorVersion; }

  private:
    // Reads count words of sensor memory from image word first on into the
    // image (mode 0x111); what arrived before a failure stays in the image.
    void ReadIntoImage(int firstWord, int count);
    void WriteFromImage(int firstWord, int count, uint32_t address);
    // Open in step: the image to the sensor and its EEPROM; refused for an
    // image loaded from a file that lacked blocks.
    void WriteImageToSensor();
    void AfterReceive(uint32_t startTick);
    void SetSysModeOnConnect();
    void ReadStatus();
    uint16_t AdjustDisplayBits(uint16_t bits) const;
    int32_t Query32(uint16_t code, int number);
    int16_t Query16(uint16_t code, int number);
    // Second reply byte of a query without payload (short reply: an error).
    int QueryByte(uint16_t code);
    void SetLaser(bool on);
    void SetHold(bool on);
    int SelectorBank() const;
    void SetLinkState(int state);
    void OpenPort();
    // Why the port could not be opened, in the operator's language.
    std::string OpenFailureText(int error);
    // The port has gone: the connection ends and the operator is told.
    void PortGone();
    // The live queries of one tick (quick time-outs, see TQueryTiming).
    void PollAll();
    std::vector<uint8_t> Live(uint16_t code, std::span<const uint8_t> payload = {});

    TSessionParts parts_;
    TKestThread& thread_;
    TKestParam& image_;
    TMasterStore& masters_;
    TShellState& state_;
    TLiveValues& live_;
    TSessionHost& host_;
    int busy_ = 0;                // workflows running (a dialog of one may run the event loop)
    TPortIdentity portIdentity_;  // of the port opened by the last connection
    TQueryTiming tickTiming_;
    uint32_t lastProbe_ = 0;  // when a silent sensor was last probed
    std::string watchNoted_;  // a returned port without an answer, logged once
    // The newest received set kept, so a receive compares it in memory.
    std::unique_ptr<TKeptSet> keptSet_;
};

}  // namespace kd
