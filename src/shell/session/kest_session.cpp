#include "shell/session/kest_session.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <vector>

#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "link/serial_os.h"
#include "params/param_files.h"
#include "shell/page_context.h"
#include "shell/session/settings_backup.h"
#include "shell/shell_text.h"

namespace kd {

namespace {

constexpr uint32_t kSysAddress = kSensorWordBase + kSysWord;  // 0x410
constexpr uint32_t kMasterTransferAddress = 0xD000;
constexpr int kLastDispWord = 25;  // image word of the Sys key LastDisp
constexpr int kAllBanks = 15;      // EPM_WRITE for all banks

// The wait cursor for the duration of a workflow, also when it fails.
class THourglass {
  public:
    explicit THourglass(TSessionHost& host) : host_(host) { host_.BeginWait(); }
    ~THourglass() { host_.EndWait(); }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;

  private:
    TSessionHost& host_;
};

// Marks a workflow as running: a polling tick from a nested event loop (a
// dialog the workflow shows) does not run in the middle of it.
class TBusy {
  public:
    explicit TBusy(int& depth) : depth_(depth) { ++depth_; }
    ~TBusy() { --depth_; }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;

  private:
    int& depth_;
};

uint32_t BankAddress(int bank) {
    return kSensorWordBase + static_cast<uint32_t>(BankStartWord(bank));
}

std::vector<uint8_t> NumberPayload(int number) {
    return {0, static_cast<uint8_t>(number)};
}

void CheckBank(int bank, const char* what) {
    if (bank < 0 || bank >= kBankCount) throw EKestError(Format("%s: bad bank %d", what, bank));
}

}  // namespace

bool WideTransfersFor(const TSensorVersion& v) {
    return v.Soft >= 75 || v.Soft == 73;
}
bool MastersPerBank(const TSensorVersion& v) {
    return v.Soft >= 70;
}
bool StatusWordPath(const TSensorVersion& v) {
    return v.Bios >= 73;
}
bool ReadsAnalogValue(const TSensorVersion& v) {
    return v.Soft >= 76;
}
bool StatusDisplayBits(const TSensorVersion& v) {
    return v.Soft >= 79;
}

std::string TargetVersionText(const TSensorVersion& v, bool* tooNew) {
    std::string text = Format("target ver%02X:%02X:%02X(fpga:bios:soft)", v.Fpga, v.Bios, v.Soft);
    const bool newer = v.Fpga > kSupportedVersion.Fpga || v.Bios > kSupportedVersion.Bios ||
                       v.Soft > kSupportedVersion.Soft;
    if (newer) text += "; TOO NEWER";
    if (tooNew) *tooNew = newer;
    return text;
}

TKestSession::TKestSession(TSessionParts parts)
    : parts_(parts),
      thread_(parts.Thread),
      image_(parts.Image),
      masters_(parts.Masters),
      state_(parts.State),
      live_(parts.Live),
      host_(parts.Host),
      keptSet_(std::make_unique<TKeptSet>()) {}

void TKestSession::SetLinkState(int state) {
    if (state_.LinkState == state) return;
    state_.LinkState = state;
    host_.LinkStateChanged(state);
}

void TKestSession::OpenPort() {
    if (!PortResolver) {
        thread_.Connect();
        return;
    }
    const std::string name = thread_.PortName;
    const std::string device = PortResolver(name);
    thread_.PortName = device;
    try {
        thread_.Connect();
    } catch (...) {
        thread_.PortName = name;
        throw;
    }
    thread_.PortName = name;
}

int TKestSession::SelectorBank() const {
    return std::clamp(state_.CurrentBank, 0, kBankCount - 1);
}

// ---------------------------------------------------------------- memory

void TKestSession::ReadIntoImage(int firstWord, int count) {
    if (firstWord < 0 || count < 0 || firstWord + count > kImageWords)
        throw EKestError(Format("image read out of range: %d words at %d", count, firstWord));
    const uint32_t address = kSensorWordBase + static_cast<uint32_t>(firstWord);
    if constexpr (std::endian::native == std::endian::little) {
        // Host words are the image's little-endian words: read in place.
        thread_.MemRead(image_.Image.data() + 2 * firstWord, address, kModeWords, count);
    } else {
        std::vector<uint16_t> words(static_cast<size_t>(count));
        thread_.MemRead(words.data(), address, kModeWords, count);
        for (int i = 0; i < count; ++i)
            image_.SetWord(firstWord + i, words[static_cast<size_t>(i)]);
    }
}

void TKestSession::WriteFromImage(int firstWord, int count, uint32_t address) {
    std::vector<uint16_t> words(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) words[static_cast<size_t>(i)] = image_.Word(firstWord + i);
    thread_.MemWrite(words.data(), address, kModeWrite, count);
}

// ---------------------------------------------------------------- masters

void TKestSession::ReadMaster(int bank, bool log) {
    CheckBank(bank, "master");
    TThreadWorker worker(thread_);
    ReadSensorMaster(worker, masters_, Version(), bank, log);
}

void TKestSession::WriteMaster(int bank) {
    CheckBank(bank, "master");
    const auto& words = masters_.MasterWords[static_cast<size_t>(bank)];
    if (masters_.MasterCount[static_cast<size_t>(bank)] <= 0) {
        const std::array<uint16_t, 4> none{};
        thread_.MemWrite(none.data(), kMasterTransferAddress, kModeWrite, 4);
    } else {
        const int n = masters_.RecordWords(bank);  // throws for a count beyond the buffer
        thread_.MemWrite(words.data(), kMasterTransferAddress, kModeWrite, n);
    }
    thread_.Command(cmd::MST_WRITE, NumberPayload(bank));
}

// ---------------------------------------------------------------- connect

bool TKestSession::TryConnect() {
    TBusy busy(busy_);
    NewConnection = true;
    state_.NewConnection = true;
    state_.StoragePoll = true;  // a sensor without storage is found out anew
    LastConnectError.clear();
    bool opened = false;
    try {
        OpenPort();
        opened = true;
        portIdentity_ = IdentifyPort(thread_.DevicePath(), DeviceRoots);
        LostPort = {};
        try {
            thread_.CommandValue(cmd::NULL_CMD);
        } catch (const ECommError&) {
            // The first frame after opening may meet a sensor still settling.
        }
        const std::vector<uint8_t> v = thread_.CommandReply(cmd::GET_VERSION);
        if (v.size() < 6) throw ECommErrShort("GET_VERSION: short reply");
        TSensorVersion& ver = state_.SensorVersion;
        ver.Fpga = static_cast<uint16_t>(v[0] << 8 | v[1]);
        ver.Bios = static_cast<uint16_t>(v[2] << 8 | v[3]);
        ver.Soft = static_cast<uint16_t>(v[4] << 8 | v[5]);
        thread_.WideTransfers = WideTransfersFor(ver);
        WriteLog(kLogPlain, "KEST version; fpga%02X, bios%02X, soft%02X", ver.Fpga, ver.Bios,
                 ver.Soft);
        bool tooNew = false;
        const std::string text = TargetVersionText(ver, &tooNew);
        host_.SetTargetLabel(text, tooNew ? kColorRed : kColorBlack);

        SetSysModeOnConnect();
        const std::vector<uint8_t> rate = thread_.CommandReply(cmd::GET_SMP_RATE);
        if (rate.size() < 2) throw ECommErrShort("GET_SMP_RATE: short reply");
        SamplingPeriod = static_cast<uint16_t>(rate[0] << 8 | rate[1]);

        ReceiveAll();

        host_.UpdateActions();
        host_.StartMeasureRepeat();
        host_.ShowConnected(true);
        SetLinkState(2);
        host_.UpdateActions();
        host_.SaveRegistry();
        host_.ResetCameraImage();
        return true;
    } catch (const std::exception& e) {
        LastConnectError = e.what();
        WriteLog(kLogError, "Connect: %s", e.what());
        SetLinkState(0);
        try {
            thread_.Disconnect();
        } catch (const std::exception& d) {
            WriteLog(kLogError, "%s", d.what());
        }
        // A failure after the receive must not leave the pages sending to a
        // sensor that is no longer connected.
        host_.SetSync(false);
        host_.ShowConnected(false);
        host_.UpdateActions();
        host_.ShowPage(kPageCommon);
        std::string text =
            ReplacePercentS(host_.Translate("connect_failed", "Connection Failed."), "KD");
        if (!opened) text += "\n" + thread_.PortName + ": " + OpenFailureText(thread_.OpenError());
        host_.Message("", text);
        return false;
    }
}

std::string TKestSession::OpenFailureText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return host_.Translate("port_denied", SerialOpenError(error));
        case EBUSY:
            return host_.Translate("port_busy", SerialOpenError(error));
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return host_.Translate("port_missing", SerialOpenError(error));
        default:
            return SerialOpenError(error);
    }
}

void TKestSession::SetSysModeOnConnect() {
    const int m = SysModeOfPage(state_.CurrentPage);
    thread_.Command(cmd::SET_SYS_MODE, NumberPayload(m));
    WriteLog(kLogPlain, "SET_SYS_MODE(%d)", m);
}

void TKestSession::Disconnect() {
    TBusy busy(busy_);
    LostPort = {};  // the operator's own disconnection is not watched
    SetLinkState(0);
    host_.StopRepeats();
    thread_.AbortRequested = true;
    host_.ShowConnected(false);
    thread_.ForceDisconnect();
    host_.SetSync(false);
    host_.ReleaseCamRectButton();
    host_.UpdateActions();
    const int32_t analog = live_.AnalogCurrent;
    live_.ResetValues();
    live_.AnalogCurrent = analog;
}

// ---------------------------------------------------------------- receive

void TKestSession::ReceiveAll() {
    TBusy busy(busy_);
    THourglass wait(host_);
    const uint32_t start = TickMs();
    ReadIntoImage(0, kImageWords);
    image_.ValidMask = kValidAll;
    image_.MissingBlocks = 0;
    image_.NotLoaded = false;
    image_.ReceivedAt = std::chrono::system_clock::now();
    image_.SetSensorModified(false);
    image_.SetFileModified(true);
    if (MastersPerBank(Version())) {
        for (int bank = 0; bank < kBankCount; ++bank) ReadMaster(bank, true);
    } else {
        ReadMaster(SelectorBank(), true);
    }
    // What the sensor held, kept for the backup list; a folder that cannot be
    // written costs the history, not the receive.
    try {
        KeepReceivedSet(image_, BackupDir.empty() ? DefaultBackupDir() : BackupDir, kReceivedKeep,
                        keptSet_.get());
    } catch (const std::exception& e) {
        WriteLog(kLogError, "received settings not kept: %s", e.what());
    }
    AfterReceive(start);
}

void TKestSession::AfterReceive(uint32_t startTick) {
    RefreshAll();
    host_.SetSync(true);
    const uint8_t page = state_.CurrentPage;
    if (!state_.SysModeActive && page >= kPageTrigger && page <= kPageArea)
        state_.SysModeActive = true;
    WriteLog(kLogAction, "read 0x%X - %d bytes; %dmsec", kSensorWordBase, kImageBytes,
             static_cast<int>(TickMs() - startTick));
}

void TKestSession::ReloadCurrentBank() {
    TBusy busy(busy_);
    THourglass wait(host_);
    const uint32_t start = TickMs();
    ReadIntoImage(0, kImageWords);
    image_.MissingBlocks = 0;
    const int bank = SelectorBank();
    image_.ValidMask |= 1u << bank;
    if (MastersPerBank(Version())) ReadMaster(bank, false);
    AfterReceive(start);
}

void TKestSession::RefreshAll() {
    // The Sys key has three bits; a bad file cannot put the selector beyond bank 8.
    const int bank = std::clamp(image_.GetSys(pk::Bank), 0, kBankCount - 1);
    state_.CurrentBank = bank;
    host_.SetBankSelector(bank);
    host_.RefreshPages();
}

// ---------------------------------------------------------------- EEPROM

void TKestSession::SendAll() {
    TBusy busy(busy_);
    if (!host_.Confirm(host_.Translate("param_write_all", "param_write_all"))) return;
    WriteToEeprom(-1);
}

void TKestSession::SendBank() {
    TBusy busy(busy_);
    if (!host_.Confirm(host_.Translate("param_write_bank", "param_write_bank"))) return;
    WriteToEeprom(SelectorBank());
}

void TKestSession::WriteToEeprom(int bank) {
    TBusy busy(busy_);
    if (bank != -1) CheckBank(bank, "WriteToEeprom");
    THourglass wait(host_);
    if (bank == -1) {
        ReadIntoImage(0, kImageWords);
        image_.ValidMask = kValidAll;
        image_.MissingBlocks = 0;
    } else {
        ReadIntoImage(BankStartWord(bank), kBankWords);
        image_.ValidMask |= 1u << bank;
        image_.MissingBlocks &= ~(1u << bank);
    }
    RefreshAll();
    const int first = bank == -1 ? 0 : bank;
    const int last = bank == -1 ? kBankCount - 1 : bank;
    for (int i = first; i <= last; ++i) {
        if (MastersPerBank(Version())) WriteMaster(i);
        thread_.EpmWrite(i);
        WriteLog(kLogPlain, "EPM_WRITE(%d)", i);
    }
    thread_.EpmWrite(kAllBanks);
    WriteLog(kLogPlain, "EPM_WRITE(ALL)");
    state_.SysModeActive = false;
    image_.SetSensorModified(false);
    host_.SetSync(true);
    host_.Message("Send Para.", host_.Translate("param_done", "Completed."));
}

// ---------------------------------------------------------------- banks

void TKestSession::SysUpdateIgnoringFailure() {
    SleepMs(SysUpdateDelayMs);
    try {
        thread_.Command(cmd::SYS_UPDATE);
        WriteLog(kLogAction, "SYS_UPDATE");
    } catch (const EKestError& e) {
        WriteLog(kLogError, "SYS_UPDATE: %s; IGNORE", e.what());
        ++SysUpdateFailures;
    }
}

void TKestSession::BankCopy(int target, int source) {
    TBusy busy(busy_);
    CheckBank(source, "BankCopy");
    if (target < 0 || target > kBankCount)
        throw EKestError(Format("BankCopy: bad target %d", target));
    THourglass wait(host_);
    const int first = target == kBankCount ? 0 : target;
    const int last = target == kBankCount ? kBankCount - 1 : target;
    // Banks other than the source lose their settings: keep them first.
    if (first != source || last != source) BackupSettings("bankcopy");

    ReadIntoImage(BankStartWord(source), kBankWords);
    WriteLog(kLogPlain, "MemRead(0x%08X, %d)", BankAddress(source), kBankWords);
    if (MastersPerBank(Version())) ReadMaster(source, false);

    const int selector = SelectorBank();
    const size_t srcByte = 2 * static_cast<size_t>(BankStartWord(source));
    const size_t bankBytes = 2 * static_cast<size_t>(kBankWords);
    for (int t = first; t <= last; ++t) {
        WriteFromImage(BankStartWord(source), kBankWords, BankAddress(t));
        if (t != source) {
            std::copy_n(image_.Image.begin() + static_cast<std::ptrdiff_t>(srcByte), bankBytes,
                        image_.Image.begin() + 2 * BankStartWord(t));
        }
        WriteLog(kLogPlain, "MemWrite(0x%08X, %d)", BankAddress(t), kBankWords);
        if (t != source) {
            const auto s = static_cast<size_t>(source), d = static_cast<size_t>(t);
            masters_.MasterCount[d] = masters_.MasterCount[s];
            const int words = masters_.MasterCount[s] > 0 ? masters_.RecordWords(source) : 4;
            std::copy_n(masters_.MasterWords[s].begin(), words, masters_.MasterWords[d].begin());
        }
        if (MastersPerBank(Version())) WriteMaster(t);
        thread_.EpmWrite(t);
        WriteLog(kLogPlain, "EPM_WRITE(%d)", t);
        if (t == selector) SysUpdateIgnoringFailure();
    }
    if (selector >= first && selector <= last) RefreshAll();
    image_.SetSensorModified(true);
    WriteLog(kLogAction, "BankCopy b%d to b%d", source, target);
}

void TKestSession::BankChange(int bank) {
    TBusy busy(busy_);
    CheckBank(bank, "BankChange");
    if (bank == state_.CurrentBank) return;
    if (state_.LinkState != 0 && image_.GetSys(pk::BankSwitch) == 0) {
        std::string text = host_.Translate("bank_overrode", "bank changing is overrode");
        if (!host_.Confirm(text)) {
            host_.SetBankSelector(state_.CurrentBank);
            return;
        }
        thread_.Command(cmd::BCHG_MTH, NumberPayload(1));
        WriteLog(kLogPlain, "BCHG_MTH(%d)", 1);
        image_.SetSys(pk::BankSwitch, 1);
    }
    if (state_.LinkState != 0 && image_.SensorModified) {
        thread_.EpmWrite(state_.CurrentBank);
        WriteLog(kLogPlain, "EPM_WRITE(%d)", state_.CurrentBank);
    }
    SelectBank(bank);
    image_.SetSensorModified(false);
}

void TKestSession::SelectBank(int bank) {
    TBusy busy(busy_);
    CheckBank(bank, "SelectBank");
    image_.SetSys(pk::Bank, bank);
    if (state_.LinkState != 0) {
        thread_.Command(cmd::SET_BANK, NumberPayload(bank));
        WriteLog(kLogAction, "SET_BANK(%d)", bank);
    }
    host_.SetBankSelector(bank);
    state_.CurrentBank = bank;
    RefreshAll();
}

// ---------------------------------------------------------------- files

void TKestSession::FileNew() {
    TBusy busy(busy_);
    image_.LoadDefaultImage();
    const int bank = std::clamp(image_.GetSys(pk::Bank), 0, kBankCount - 1);
    image_.SetBank(bank, pk::MeasureLimit, 12);
    image_.SetFileModified(false);
    image_.SetSensorModified(false);
    image_.ValidMask = kValidAll;
    image_.MissingBlocks = 0;
    host_.ResetStorageSettings();
    RefreshAll();
}

void TKestSession::FileOpen(const std::string& name) {
    TBusy busy(busy_);
    // In step, the sensor's settings are about to be replaced by the file's.
    const bool inStep = host_.Sync();
    // The file is read beside the image: one that cannot be read, or one that
    // lacks blocks while in step, leaves the image and the sensor as they were.
    TMasterStore fileMasters = masters_;
    TKestParam file;
    file.Masters = &fileMasters;
    file.Image = image_.Image;
    file.ValidMask = image_.ValidMask;
    file.LoadFromFile(name);
    if (inStep && file.MissingBlocks != 0)
        throw EKestError(IncompleteFileMessage(name, file.MissingBlocks) +
                         "; nothing was written to the sensor");
    if (inStep) BackupSettings("open");
    image_.Image = file.Image;
    masters_ = fileMasters;
    image_.ValidMask = file.ValidMask;
    image_.MissingBlocks = file.MissingBlocks;
    image_.NotLoaded = false;
    image_.FileModified = false;
    image_.SensorModified = true;
    image_.FileName = name;
    host_.SetFileName(name);
    RefreshAll();
    WriteLog(kLogAction, "load sensor settings '%s'", name.c_str());
    if (!inStep) {
        if (image_.MissingBlocks != 0) {
            // Shown as the file has it, zeros for what it lacks; never sent.
            const std::string text = IncompleteFileMessage(name, image_.MissingBlocks) +
                                     "; those settings are shown as zeros";
            WriteLog(kLogError, "%s", text.c_str());
            host_.Message("", text);
        }
        return;
    }
    WriteImageToSensor();
}

void TKestSession::WriteImageToSensor() {
    // The last guard: settings the operator never had do not reach a sensor.
    if (image_.MissingBlocks != 0)
        throw EKestError(IncompleteFileMessage(image_.FileName, image_.MissingBlocks) +
                         "; nothing was written to the sensor");
    THourglass wait(host_);
    image_.SetWord(kLastDispWord, 1);
    // The header and image word 23 stay as the sensor has them.
    WriteFromImage(kSysWord, 7, kSysAddress);
    WriteFromImage(kSysWord + 8, kImageWords - kSysWord - 8, kSysAddress + 8);
    // The log has always counted the skipped word 23 in.
    WriteLog(kLogPlain, "MemWrite(0x%X, %dwords)", kSysAddress, 1008);
    if (MastersPerBank(Version())) {
        for (int i = 0; i < kBankCount; ++i) WriteMaster(i);
    }
    for (int i = 0; i < kBankCount; ++i) {
        thread_.EpmWrite(i);
        WriteLog(kLogPlain, "EPM_WRITE(%d)", i);
    }
    thread_.EpmWrite(kAllBanks);
    WriteLog(kLogPlain, "EPM_WRITE(ALL)");
    image_.SetSensorModified(false);
    SysUpdateIgnoringFailure();
}

void TKestSession::FileSaveAs(const std::string& name) {
    TBusy busy(busy_);
    if ((image_.ValidMask & kValidWhole) != kValidWhole && host_.Sync()) {
        THourglass wait(host_);
        ReadIntoImage(0, kImageWords);
        image_.ValidMask = kValidAll;
        image_.MissingBlocks = 0;
        RefreshAll();
    }
    image_.SaveToFile(name);
    image_.FileName = name;
    host_.SetFileName(name);
    WriteLog(kLogAction, "save sensor settings '%s'", name.c_str());
}

std::string TKestSession::BackupSettings(const std::string& reason) {
    const std::string dir = BackupDir.empty() ? DefaultBackupDir() : BackupDir;
    std::string path = WriteSettingsBackup(image_, dir, reason);
    Backups.push_back(path);
    return path;
}

// ---------------------------------------------------------------- polling

std::vector<uint8_t> TKestSession::Live(uint16_t code, std::span<const uint8_t> payload) {
    return thread_.CommandReply(code, payload, tickTiming_);
}

int32_t TKestSession::Query32(uint16_t code, int number) {
    const std::vector<uint8_t> r = Live(code, NumberPayload(number));
    if (r.size() < 4) return kNoValue32;
    return static_cast<int32_t>((uint32_t{r[0]} << 24) | (uint32_t{r[1]} << 16) |
                                (uint32_t{r[2]} << 8) | r[3]);
}

int16_t TKestSession::Query16(uint16_t code, int number) {
    const std::vector<uint8_t> r = Live(code, NumberPayload(number));
    if (r.size() < 2) return kNoValue16;
    return static_cast<int16_t>(r[0] << 8 | r[1]);
}

int TKestSession::QueryByte(uint16_t code) {
    const std::vector<uint8_t> r = Live(code);
    if (r.size() < 2) throw ECommErrShort(CommandName(code) + ": short reply");
    return r[1];
}

uint16_t TKestSession::AdjustDisplayBits(uint16_t bits) const {
    if (image_.GetSys(pk::GpioOnT) == 1) bits ^= 0x7;
    const int bank = SelectorBank();
    for (int b = 0; b < 3; ++b) {
        if (image_.GetBank(bank, pk::OutPolar(b + 1)) == 1) bits ^= static_cast<uint16_t>(1u << b);
    }
    return bits;
}

void TKestSession::SetLaser(bool on) {
    if (on != live_.LaserOn) host_.SetLaserIndicator(on);
    live_.LaserOn = on;
}

void TKestSession::SetHold(bool on) {
    if (on != live_.HoldOn) host_.SetHoldIndicator(on);
    live_.HoldOn = on;
}

void TKestSession::ReadStatus() {
    if (StatusWordPath(Version())) {
        const std::vector<uint8_t> r = Live(cmd::GET_STATUS);
        if (r.size() < 2) throw ECommErrShort("GET_STATUS: short reply");
        const uint16_t s = static_cast<uint16_t>(r[0] << 8 | r[1]);
        StatusWord = s;
        host_.ShowStatusWord(s);
        live_.OutputBits = (s >> 4) & 0x7;
        live_.OutputDisplayBits =
            StatusDisplayBits(Version()) ? (s >> 12) & 0x7 : AdjustDisplayBits((s >> 4) & 0x7);
        SetLaser((s >> 7) & 1);
        SetHold((s >> 1) & 1);
        live_.InternalTrigger = s & 1;
        const int bank = (s >> 8) & 0x7;
        if (!host_.BankListDropped() && bank != SelectorBank()) {
            image_.SetSys(pk::Bank, bank);
            RefreshAll();
            WriteLog(kLogPlain, "bank changed; b%d", bank);
        }
        return;
    }
    const int out = QueryByte(cmd::GET_GPIO_OUT);
    live_.OutputBits = static_cast<uint32_t>(out);
    live_.OutputDisplayBits = AdjustDisplayBits(static_cast<uint16_t>(out));
    SetLaser(QueryByte(cmd::GET_LASER) != 0);
    SetHold(QueryByte(cmd::GET_HOLD_STATE) != 0);
    live_.InternalTrigger = QueryByte(cmd::GET_INT_TRIG) != 0;
    // The status word as the newer sensors would report it, for display.
    StatusWord = static_cast<uint16_t>((live_.InternalTrigger ? 1 : 0) | (live_.HoldOn ? 2 : 0) |
                                       ((out & 0x7) << 4) | (live_.LaserOn ? 0x80 : 0) |
                                       (SelectorBank() << 8));
}

bool TKestSession::Tick() {
    if (busy_ > 0 || state_.CameraLive || !thread_.IsOpen() || !host_.Displ() ||
        state_.LinkState == 0)
        return false;
    if (thread_.PortLost()) {
        PortGone();
        return true;
    }
    // A sensor that stopped answering is probed with one short request, one
    // attempt, at most every ProbeIntervalMs; the whole tick resumes once it answers.
    if (state_.LinkState == 1) {
        if (NextProbeInMs() > 0) return true;
        lastProbe_ = TickMs();
        try {
            thread_.CommandReply(cmd::NULL_CMD, {}, thread_.QueryTiming(1));
        } catch (const ELinkBusy&) {
            return true;
        } catch (const ECommErrCmd&) {  // an error reply is an answer too
        } catch (const ECommErrData&) {
        } catch (const ECommErrShort&) {
        } catch (const ECommErrExe&) {
        } catch (const EKestError&) {
            if (thread_.PortLost()) PortGone();
            return true;
        }
        SetLinkState(2);  // it answers: polling again, also when a transfer holds the port
    }
    tickTiming_ = thread_.QueryTiming(3);
    try {
        PollAll();
        LastPollMs = TickMs();
        SetLinkState(2);
    } catch (const ELinkBusy&) {
        // A long transfer holds the port: this tick is skipped, nothing failed.
    } catch (const EKestError&) {
        // Every failure of the link counts; the next tick probes.
        if (thread_.PortLost()) {
            PortGone();
        } else {
            SetLinkState(1);
            lastProbe_ = TickMs();
        }
    }
    return true;
}

uint32_t TKestSession::NextProbeInMs() const {
    if (state_.LinkState != 1) return 0;
    const uint32_t since = TickMs() - lastProbe_;
    return since >= ProbeIntervalMs ? 0 : ProbeIntervalMs - since;
}

void TKestSession::PollAll() {
    for (int i = 0; i < 6; ++i) {
        const int32_t v = Query32(cmd::GET_MEAS, i);
        host_.ChartValue(i, v);
        live_.Channels[static_cast<size_t>(i)] = v;
    }
    for (int j = 0; j < 4; ++j) {
        live_.Outputs[static_cast<size_t>(j)] = kNoValue32;
        if (j == 3 && !ReadsAnalogValue(Version())) break;
        live_.Outputs[static_cast<size_t>(j)] = Query32(cmd::GET_OUT_VAL, j);
        if (j == 3) live_.AnalogCurrent = Query32(cmd::GET_ANA_VAL, 3);
    }
    for (int j = 0; j < 4; ++j)
        live_.AreaResults[static_cast<size_t>(j)] = Query16(cmd::GET_AREA_STAT, j);
    host_.ChartAdvance(state_.CurrentPage == kPageOperation);
    ReadStatus();
    for (int j = 0; j < 3; ++j) {
        const std::vector<uint8_t> r = Live(cmd::GET_ZERO_STATE, NumberPayload(j));
        const bool on = r.size() >= 2 && r[1] != 0;
        ZeroState[static_cast<size_t>(j)] = on;
        host_.SetZeroToggle(j, on);
    }
    for (int j = 0; j < 3; ++j) host_.SetOutputLamp(j, (live_.OutputBits >> j) & 1);
}

void TKestSession::PortGone() {
    TBusy busy(busy_);
    std::string path = thread_.DevicePath();
    if (path.empty()) path = thread_.PortName;
    WriteLog(kLogError, "Connection lost: %s", path.c_str());
    Disconnect();
    LostPort = portIdentity_.Path.empty() ? TPortIdentity{path, {}} : portIdentity_;
    watchNoted_.clear();
    // Told without waiting for the operator: the watch for the port's return
    // runs meanwhile.
    host_.Notify("",
                 ReplacePercentS(host_.Translate("connection_lost", "Connection lost: %s"), path));
}

bool TKestSession::WatchLostPort() {
    if (LostPort.Path.empty() || busy_ > 0 || state_.LinkState != 0) return false;
    TBusy busy(busy_);  // a message shown below must not start a second watch
    const std::string path = FindReturnedPort(LostPort, DeviceRoots);
    if (path.empty()) return false;
    // Only a port where a sensor answers counts as back. The probe opens and
    // closes it without the log lines and messages of the Connect workflow;
    // a port that is there without an answer is logged once, not every second.
    if (!thread_.ProbePort(path, cmd::GET_VERSION)) {
        if (watchNoted_ != path) {
            watchNoted_ = path;
            WriteLog(kLogPlain, "port %s is there; waiting for the sensor to answer", path.c_str());
        }
        return false;
    }
    // Under its old path the port keeps the operator's name for it (SIM, ttyUSB0).
    if (path != LostPort.Path) thread_.PortName = path;
    WriteLog(kLogPlain, "port back: %s", path.c_str());
    // The sensor's working memory may have been reset: what the operator
    // changed and did not make permanent is kept in a file, never sent back.
    ReconnectBackup.clear();
    if (image_.SensorModified) {
        ReconnectBackup = BackupSettings("reconnect");
        host_.Notify("", ReplacePercentS(host_.Translate("reconnect_backup",
                                                         "The changes not yet written to the "
                                                         "sensor are kept in %s"),
                                         ReconnectBackup));
    }
    LostPort = {};
    watchNoted_.clear();
    return TryConnect();
}

// ---------------------------------------------------------------- host

bool THeadlessHost::Confirm(const std::string&) {
    return true;
}

void THeadlessHost::Message(const std::string& caption, const std::string& text) {
    if (caption.empty())
        WriteLog(kLogPlain, "%s", text.c_str());
    else
        WriteLog(kLogPlain, "%s: %s", caption.c_str(), text.c_str());
}

}  // namespace kd
