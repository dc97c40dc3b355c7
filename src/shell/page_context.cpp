#include "shell/page_context.h"

#include <algorithm>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"

namespace kd {

namespace {
[[noreturn]] void NoLink() {
    throw ECommNoReply("Command no reply");
}
}  // namespace

void TPageServices::ReportFileFailure(bool save, const std::string& file,
                                      const std::string& reason) {
    WriteLog(kLogError, "%s '%s': %s", save ? "save" : "load", file.c_str(), reason.c_str());
}

// ---------------------------------------------------------------- no port

std::vector<uint8_t> TPageWorker::DoCommand(uint16_t, std::span<const uint8_t>) {
    NoLink();
}
void TPageWorker::MemRead(void*, uint32_t, uint16_t, int) {
    NoLink();
}
void TPageWorker::MemWrite(const void*, uint32_t, uint16_t, int) {
    NoLink();
}
AreaRect TPageWorker::SetAreaRect(int, int, int, int, int) {
    NoLink();
}
void TPageWorker::SetCamRect(const CamRect&) {
    NoLink();
}
CamRect TPageWorker::GetCamRect() {
    NoLink();
}
int TPageWorker::FetchMasterProfile(uint32_t, std::span<uint16_t>) {
    NoLink();
}
void TPageWorker::StartProfiles(std::function<void()>) {
    NoLink();
}
void TPageWorker::RequestProfiles(std::function<void()>) {
    NoLink();
}
void TPageWorker::RequestImage(int, int, TTaskCallbacks) {
    NoLink();
}
void TPageWorker::RequestImagePair(int, int, TTaskCallbacks) {
    NoLink();
}
void TPageWorker::RequestLiveView(int, int, TTaskCallbacks) {
    NoLink();
}
const TBitmap& TPageWorker::Image() const {
    static const TBitmap kEmpty;
    return kEmpty;
}

// ---------------------------------------------------------------- TKestThread

std::vector<uint8_t> TThreadWorker::DoCommand(uint16_t code, std::span<const uint8_t> payload) {
    return thread_.CommandReply(code, payload);
}
void TThreadWorker::MemRead(void* buffer, uint32_t address, uint16_t mode, int words) {
    thread_.MemRead(buffer, address, mode, words);
}
void TThreadWorker::MemWrite(const void* buffer, uint32_t address, uint16_t mode, int words) {
    thread_.MemWrite(buffer, address, mode, words);
}
AreaRect TThreadWorker::SetAreaRect(int area, int xa, int ya, int xb, int yb) {
    return thread_.SetAreaRect(area, xa, ya, xb, yb);
}
void TThreadWorker::SetCamRect(const CamRect& rect) {
    thread_.SetCamRect(rect);
}
CamRect TThreadWorker::GetCamRect() {
    return thread_.GetCamRect();
}
int TThreadWorker::FetchMasterProfile(uint32_t address, std::span<uint16_t> buffer) {
    return thread_.FetchMasterProfile(address, buffer);
}
void TThreadWorker::SetCallbacks(const TTaskCallbacks& c) {
    // Every request brings its own: a later task never calls an earlier page's handlers.
    thread_.OnProgress = c.OnProgress;
    thread_.OnBandDone = c.OnBandDone;
    thread_.OnError = c.OnError;
}
void TThreadWorker::StartProfiles(std::function<void()> onDone) {
    if (thread_.Task.load() == kTaskIdle) SetCallbacks({});
    thread_.StartProfiles(std::move(onDone));
}
void TThreadWorker::RequestProfiles(std::function<void()> onDone) {
    if (thread_.Task.load() == kTaskIdle) SetCallbacks({});
    thread_.RequestProfiles(std::move(onDone));
}
void TThreadWorker::RequestImage(int height, int width, TTaskCallbacks c) {
    if (thread_.Task.load() != kTaskIdle) throw EKestError("KEST_thread busy");
    SetCallbacks(c);
    thread_.RequestImage(height, width, std::move(c.OnDone));
}
void TThreadWorker::RequestImagePair(int height, int width, TTaskCallbacks c) {
    if (thread_.Task.load() != kTaskIdle) throw EKestError("KEST_thread busy");
    SetCallbacks(c);
    thread_.RequestImagePair(height, width, std::move(c.OnDone));
}
void TThreadWorker::RequestLiveView(int height, int width, TTaskCallbacks c) {
    if (thread_.Task.load() != kTaskIdle) throw EKestError("KEST_thread busy");
    SetCallbacks(c);
    thread_.RequestLiveView(height, width, std::move(c.OnDone), c.OnError);
}

// ---------------------------------------------------------------- context

namespace {
const TParamKey* KeyIn(std::string_view name, TKeyBlock block) {
    std::optional<TKeyRef> ref = FindKeyByName(name);
    if (!ref || ref->Block != block) return nullptr;
    return ref->Entry;
}
}  // namespace

int TPageContext::CurrentBank() const {
    return std::clamp(Image.GetSys(pk::Bank), 0, kBankCount - 1);
}

int TPageContext::GetBank(std::string_view key) const {
    const TParamKey* k = KeyIn(key, TKeyBlock::Bank);
    return k ? Image.GetBank(CurrentBank(), k->Key) : 0;
}

void TPageContext::SetBank(std::string_view key, int value) {
    if (const TParamKey* k = KeyIn(key, TKeyBlock::Bank))
        Image.SetBank(CurrentBank(), k->Key, value);
}

int TPageContext::GetSys(std::string_view key) const {
    const TParamKey* k = KeyIn(key, TKeyBlock::Sys);
    return k ? Image.GetSys(k->Key) : 0;
}

int TPageContext::BankWordIndex(std::string_view key) const {
    const TParamKey* k = KeyIn(key, TKeyBlock::Bank);
    return k ? Image.BankWordIndex(CurrentBank(), k->Key) : -1;
}

void ReadSensorMaster(TPageWorker& worker, TMasterStore& masters, const TSensorVersion& version,
                      int bank, bool log) {
    if (bank < 0 || bank >= kBankCount) throw EKestError(Format("master: bad bank %d", bank));
    const std::vector<uint8_t> reply = version.Soft >= 70
                                           ? worker.Command(cmd::GET_MST_ADDR, PayloadB(bank))
                                           : worker.Command(cmd::GET_MST_ADDR);
    if (reply.size() < 4) throw ECommErrShort("GET_MST_ADDR: short reply");
    const uint32_t address = (uint32_t{reply[0]} << 24) | (uint32_t{reply[1]} << 16) |
                             (uint32_t{reply[2]} << 8) | reply[3];
    const auto b = static_cast<size_t>(bank);
    if ((address >> 16) == 0xFFFF) {
        masters.MasterCount[b] = 0;
        if (log) WriteLog(kLogPlain, "bank%d: no master", bank);
        return;
    }
    if (log) WriteLog(kLogPlain, "bank%d: master address 0x%08X", bank, address);
    masters.MasterCount[b] = 0;
    const int count = worker.FetchMasterProfile(address, masters.MasterWords[b]);
    masters.MasterCount[b] = std::min(count, TMasterStore::kMaxCount);
}

std::vector<uint8_t> PayloadWords(std::span<const uint16_t> words) {
    std::vector<uint8_t> out;
    out.reserve(words.size() * 2);
    for (uint16_t w : words) {
        out.push_back(static_cast<uint8_t>(w >> 8));
        out.push_back(static_cast<uint8_t>(w & 0xFF));
    }
    return out;
}

}  // namespace kd
