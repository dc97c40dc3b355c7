#pragma once
// The one context every page works in: the parameter image and the master
// store, the communication worker, the program-wide state, the display
// settings and colours, the localised lists, and the few services of the main
// window that pages call. The main window owns the parts and hands the
// context to each page by reference; kdctl and tests build their own.
//
// Command codes come from the catalogue (link/commands.h); a page never keeps
// codes of its own.
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/kest_thread.h"
#include "params/kest_param.h"
#include "shell/config_store.h"
#include "shell/display_colors.h"
#include "shell/shell_state.h"

namespace kd {

// Callbacks of a worker task; each runs on the user-interface thread.
struct TTaskCallbacks {
    std::function<void()> OnDone;
    std::function<void()> OnProgress;  // image transfers
    std::function<void()> OnBandDone;  // adaptive image, once per band
    std::function<void()> OnError;     // the task failed (live view, image tasks)
};

// The worker as pages and the main window use it. Failures of the link are
// thrown as the communication exceptions (ECommErrData for the sensor's data
// error). Without a port every call fails with ECommNoReply; tests override
// what they need.
class TPageWorker {
  public:
    virtual ~TPageWorker() = default;

    // --- the link
    virtual bool IsOpen() { return false; }
    virtual std::string PortName() const { return {}; }
    virtual void SetPortName(const std::string& name) { (void)name; }
    // Asks a running task to end; called once at shut-down.
    virtual void Terminate() { RequestAbort(); }

    // --- synchronous calls, each under the worker's lock
    // One command with its payload; returns the reply's payload.
    std::vector<uint8_t> Command(uint16_t code, std::span<const uint8_t> payload) {
        return DoCommand(code, payload);
    }
    std::vector<uint8_t> Command(uint16_t code, const std::vector<uint8_t>& payload) {
        return DoCommand(code, payload);
    }
    std::vector<uint8_t> Command(uint16_t code) { return DoCommand(code, {}); }
    // A live query (the polling of live values, the correction after each
    // profile): a silent sensor costs a few frame times at the port's rate,
    // not seconds; ELinkBusy when a long transfer holds the port meanwhile.
    virtual std::vector<uint8_t> Query(uint16_t code, std::span<const uint8_t> payload,
                                       int attempts) {
        (void)attempts;
        return DoCommand(code, payload);
    }
    // Host-order words from and to sensor memory (see ModeConvert).
    virtual void MemRead(void* buffer, uint32_t address, uint16_t mode, int words);
    virtual void MemWrite(const void* buffer, uint32_t address, uint16_t mode, int words);
    // AREA_RECT with its edges ordered and clamped; returns what was sent.
    virtual AreaRect SetAreaRect(int area, int xa, int ya, int xb, int yb);
    virtual void SetCamRect(const CamRect& rect);
    virtual CamRect GetCamRect();
    // A master record into buffer; returns its point count (0: no master).
    virtual int FetchMasterProfile(uint32_t address, std::span<uint16_t> buffer);

    // --- tasks
    virtual bool TaskRunning() const { return false; }
    virtual void RequestAbort() {}
    // Profile polling: StartProfiles connects first, RequestProfiles does not;
    // OnDone runs for every profile until an abort.
    virtual void StartProfiles(std::function<void()> onDone);
    virtual void RequestProfiles(std::function<void()> onDone);
    // One camera picture, a picture pair, the adaptive live view (picture with
    // profile); height and width of the picture the sensor delivers.
    virtual void RequestImage(int height, int width, TTaskCallbacks callbacks);
    virtual void RequestImagePair(int height, int width, TTaskCallbacks callbacks);
    virtual void RequestLiveView(int height, int width, TTaskCallbacks callbacks);

    // --- results of the last task; read them inside its callbacks
    virtual int Progress() const { return 0; }  // percent
    virtual int ProfileCount() const { return 0; }
    virtual std::span<const uint16_t> ProfileWords() const { return {}; }
    // The array that follows the profile (line positions of a picture) and its count.
    virtual std::span<const uint16_t> SecondWords() const { return {}; }
    virtual int SecondCount() const { return 0; }
    virtual void ClearSecondCount() {}
    virtual const TBitmap& Image() const;

  protected:
    virtual std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> payload);
};

// The worker of the program: forwards to TKestThread.
class TThreadWorker : public TPageWorker {
  public:
    explicit TThreadWorker(TKestThread& thread) : thread_(thread) {}
    TKestThread& Thread() { return thread_; }

    bool IsOpen() override { return thread_.IsOpen(); }
    std::string PortName() const override { return thread_.PortName; }
    void SetPortName(const std::string& name) override { thread_.PortName = name; }
    std::vector<uint8_t> Query(uint16_t code, std::span<const uint8_t> payload,
                               int attempts) override {
        return thread_.CommandReply(code, payload, thread_.QueryTiming(attempts));
    }
    void MemRead(void* buffer, uint32_t address, uint16_t mode, int words) override;
    void MemWrite(const void* buffer, uint32_t address, uint16_t mode, int words) override;
    AreaRect SetAreaRect(int area, int xa, int ya, int xb, int yb) override;
    void SetCamRect(const CamRect& rect) override;
    CamRect GetCamRect() override;
    int FetchMasterProfile(uint32_t address, std::span<uint16_t> buffer) override;
    bool TaskRunning() const override { return thread_.Task.load() != kTaskIdle; }
    void RequestAbort() override { thread_.AbortRequested = true; }
    void StartProfiles(std::function<void()> onDone) override;
    void RequestProfiles(std::function<void()> onDone) override;
    void RequestImage(int height, int width, TTaskCallbacks callbacks) override;
    void RequestImagePair(int height, int width, TTaskCallbacks callbacks) override;
    void RequestLiveView(int height, int width, TTaskCallbacks callbacks) override;
    int Progress() const override { return thread_.Progress.load(); }
    int ProfileCount() const override { return thread_.ProfileCount; }
    std::span<const uint16_t> ProfileWords() const override { return thread_.ProfileBuffer; }
    std::span<const uint16_t> SecondWords() const override { return thread_.SecondBuffer; }
    int SecondCount() const override { return thread_.SecondCount; }
    void ClearSecondCount() override { thread_.SecondCount = 0; }
    const TBitmap& Image() const override { return thread_.Image; }

  protected:
    std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> payload) override;

  private:
    void SetCallbacks(const TTaskCallbacks& c);
    TKestThread& thread_;
};

// The main window's services that pages call. The defaults do nothing, so
// kdctl and tests override only what they use.
class TPageServices {
  public:
    virtual ~TPageServices() = default;
    // The debug window's switches: Sync (image in step with the sensor,
    // settings are sent) and Displ (live values are polled).
    virtual bool Sync() const { return false; }
    virtual bool Displ() const { return true; }
    // A localised text of the string table, or def.
    virtual std::string Translate(const std::string& name, const std::string& def) const {
        (void)name;
        return def;
    }
    // Page switching (page codes of shell_state.h) and the actions' enabling.
    virtual void ShowPage(int code) { (void)code; }
    virtual void UpdateActions() {}
    // Runs a main-window action by its name ("SettingTrigger", "ViewDataLog").
    virtual void TriggerAction(const std::string& name) { (void)name; }
    // The program's exception handler (log in magenta, message box when asked).
    virtual void HandleException(const std::exception& e) { (void)e; }
    // A message box of the program (sized and centred on the main window);
    // an empty caption shows the program's title.
    virtual void Message(const std::string& caption, const std::string& text) {
        (void)caption;
        (void)text;
    }
    // The data storage buttons of the measurement and common setup pages:
    // off for a sensor without storage.
    virtual void EnableDataLog(bool on) { (void)on; }
    // Refills every page from the image (RefreshAll).
    virtual void RefreshAll() {}
    // The hourglass cursor on and back to the default; one pending message of
    // the user interface processed (automatic exposure polls with it).
    virtual void BeginWait() {}
    virtual void EndWait() {}
    virtual void ProcessEvents() {}
    // The sampling period read at connection, 5 us steps.
    virtual uint16_t SamplingPeriod() const { return 0; }
};

// Localised lists several pages use (filled by the localisation).
struct TModeLists {
    std::vector<std::string> OutTargetNames;
    std::vector<std::string> MeasModeUnits;
    std::vector<std::string> MeasModeShort;
};

struct TPageContext {
    TKestParam& Image;
    TMasterStore& Masters;
    TPageWorker& Worker;
    TShellState& State;
    TLiveValues& Live;
    TDisplaySettings& Display;
    TDisplayColors& Colors;
    TShellSettings& Settings;
    TModeLists& Lists;
    TPageServices& Services;

    // The bank the Sys key "Bank" selects (0..7).
    int CurrentBank() const;
    bool Sync() const { return Services.Sync(); }
    std::string Translate(const std::string& name, const std::string& def) const {
        return Services.Translate(name, def);
    }
    // Keys of the current bank and of the Sys block by name ("A1.Func",
    // "INPUT2"); an unknown name or one of another block reads 0 and writes
    // nothing.
    int GetBank(std::string_view key) const;
    void SetBank(std::string_view key, int value);
    int GetSys(std::string_view key) const;
    // Image word of a bank key of the current bank, -1 when unknown.
    int BankWordIndex(std::string_view key) const;
};

// Reads a bank's master record as the sensor holds it into the store:
// GET_MST_ADDR (with the bank for software 70 and newer, whose masters are
// kept per bank); an address whose upper half is FFFF means no master, its
// count becomes 0; otherwise the record is fetched. log: the "bank%d: ..."
// lines. Link failures are thrown; the count is the bank's only once the
// whole record has arrived.
void ReadSensorMaster(TPageWorker& worker, TMasterStore& masters, const TSensorVersion& version,
                      int bank, bool log);
inline void ReadSensorMaster(TPageContext& ctx, int bank, bool log) {
    ReadSensorMaster(ctx.Worker, ctx.Masters, ctx.State.SensorVersion, bank, log);
}

// Big-endian bytes of 16-bit payload words.
std::vector<uint8_t> PayloadWords(std::span<const uint16_t> words);

}  // namespace kd
