#include "link/kest_thread.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "common/clock.h"
#include "common/log.h"

namespace kd {

namespace {

uint32_t Be32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

// "Send failed; " + the code: four hexadecimal digits for a sensor error reply.
ECommError SendFailed(int result) {
    const unsigned bits = static_cast<unsigned>(result);
    if (((bits >> 8) & 0xFF) == 0xE0)
        return ECommError(Format("Send failed; %04X", bits & 0xFFFF), result);
    return ECommError("Send failed; " + std::to_string(result), result);
}

}  // namespace

void TicketLock::lock() {
    std::unique_lock<std::mutex> l(mutex_);
    const uint64_t ticket = next_++;
    turn_.wait(l, [&] { return serving_ == ticket; });
}

void TicketLock::unlock() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        ++serving_;
        for (auto it = std::find(abandoned_.begin(), abandoned_.end(), serving_);
             it != abandoned_.end();
             it = std::find(abandoned_.begin(), abandoned_.end(), serving_)) {
            abandoned_.erase(it);
            ++serving_;
        }
    }
    turn_.notify_all();
}

bool TicketLock::try_lock_for(std::chrono::milliseconds ms) {
    std::unique_lock<std::mutex> l(mutex_);
    const uint64_t ticket = next_++;
    if (turn_.wait_for(l, ms, [&] { return serving_ == ticket; })) return true;
    abandoned_.push_back(ticket);
    return false;
}

int AdaptiveThreshold(std::span<const uint8_t> thumbnail) {
    std::array<int, 256> histogram{};
    for (uint8_t v : thumbnail) ++histogram[v];
    const float limit = static_cast<float>(thumbnail.size()) * 0.02f;
    int threshold = 0;
    int sum = 0;
    for (int level = 255; level >= 0; --level) {
        const int count = histogram[static_cast<size_t>(level)];
        if (!(limit > static_cast<float>(sum + count))) {
            threshold = level;
            break;
        }
        sum += count;
    }
    return std::clamp(threshold, 10, 200);
}

TKestThread::TKestThread(Dispatcher dispatcher) : dispatcher_(std::move(dispatcher)) {
    if (!dispatcher_) dispatcher_ = DirectDispatcher();
    port_.cancel = &terminated_;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "KestThread");
        Execute();
    });
}

TKestThread::~TKestThread() {
    {
        std::lock_guard<std::mutex> g(wakeMutex_);
        terminated_ = true;  // also ends a wait for a reply at once (port_.cancel)
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<TicketLock> g(lock_);
    ComClose(port_);
}

// ---------------------------------------------------------------- connection

void TKestThread::Connect() {
    {
        std::lock_guard<TicketLock> g(lock_);
        if (!ComIsOpen(port_)) {
            if (ComOpen(port_, PortName, -1) < 0) {
                openError_ = port_.openError;
                throw EKestError("serial port cannot open '" + PortName + "'; " +
                                 SerialOpenError(port_.openError));
            }
            openError_ = 0;
            open_ = true;
            WriteLog(kLogPlain, "CONNECTED '%s', %dbps", PortName.c_str(), ComGetBaud(port_));
        }
    }
    if (OnConnectChange) OnConnectChange();
    ++ConnectCount;
}

void TKestThread::Disconnect() {
    if (ConnectCount > 0) --ConnectCount;
    if (ConnectCount > 0) return;
    {
        std::lock_guard<TicketLock> g(lock_);
        ComClose(port_);
        open_ = false;
    }
    if (OnConnectChange) OnConnectChange();
    WriteLog(kLogPlain, "DISCONNECTED");
}

void TKestThread::ForceDisconnect() {
    ConnectCount = 0;
    Disconnect();
}

void TKestThread::SetBaud(int baud) {
    std::lock_guard<TicketLock> g(lock_);
    if (ComSetBaud(port_, baud) < 0) throw EKestError("err: SetCommState");
    BaudRate = baud;
}

std::string TKestThread::DevicePath() {
    std::lock_guard<TicketLock> g(lock_);
    return port_.devicePath;
}

TQueryTiming TKestThread::QueryTiming(int attempts) const {
    // Four times a request and its reply of 16 bytes each, 10 bits a byte.
    const int rate = std::max(1, BaudRate.load());
    const int frames = static_cast<int>(4LL * 2 * 16 * 10 * 1000 / rate);
    return TQueryTiming{attempts, std::max(50, frames), 50};
}

bool TKestThread::IsOpen() {
    return open_.load();  // without the lock: asked by every tick, also while a task holds it
}

bool TKestThread::ProbePort(const std::string& path, uint16_t code) {
    const TQueryTiming timing = QueryTiming(1);
    std::lock_guard<TicketLock> g(lock_);
    if (ComIsOpen(port_) || ComOpen(port_, path, -1) < 0) return false;
    static const uint8_t kNone = 0;
    const int result = TransactTimed(timing, code, &kNone, 0, nullptr, 0);
    ComClose(port_);
    return result > 0 || IsSensorErrorReply(result);
}

void TKestThread::SetTrace(FrameTrace trace) {
    std::lock_guard<TicketLock> g(lock_);
    port_.trace = std::move(trace);
}

// ------------------------------------------------------------------ commands

int TKestThread::Transact(uint16_t code, const void* payload, int payloadBytes, void* reply,
                          int replyCapacity) {
    std::lock_guard<TicketLock> g(lock_);
    return ComTransact(port_, code, payload, payloadBytes, reply, replyCapacity);
}

int TKestThread::Command(uint16_t code, const void* payload, int payloadBytes, void* reply,
                         int replyCapacity) {
    int result = Transact(code, payload, payloadBytes, reply, replyCapacity);
    RaiseResult(code, result);
    return result;
}

int TKestThread::Command(uint16_t code, std::span<const uint8_t> payload) {
    // An empty payload is still a payload (of no bytes), not "already in the send buffer".
    static const uint8_t kNone = 0;
    return Command(code, payload.empty() ? &kNone : payload.data(),
                   static_cast<int>(payload.size()), nullptr, 0);
}

std::vector<uint8_t> TKestThread::CommandReply(uint16_t code, std::span<const uint8_t> payload) {
    return CommandReply(code, payload, TQueryTiming{});
}

int TKestThread::TransactTimed(const TQueryTiming& timing, uint16_t code, const void* payload,
                               int payloadBytes, void* reply, int replyCapacity) {
    if (timing.TimeoutMs < 0)
        return ComTransact(port_, code, payload, payloadBytes, reply, replyCapacity,
                           timing.Attempts);
    const uint16_t normal = port_.replyTimeout;
    port_.replyTimeout = static_cast<uint16_t>(std::clamp(timing.TimeoutMs, 1, 65535));
    const int result =
        ComTransact(port_, code, payload, payloadBytes, reply, replyCapacity, timing.Attempts);
    port_.replyTimeout = normal;
    return result;
}

std::vector<uint8_t> TKestThread::CommandReply(uint16_t code, std::span<const uint8_t> payload,
                                               const TQueryTiming& timing) {
    static const uint8_t kNone = 0;
    std::vector<uint8_t> out;
    int result;
    {
        std::unique_lock<TicketLock> g(lock_, std::defer_lock);
        if (timing.LockWaitMs < 0)
            g.lock();
        else if (!g.try_lock_for(std::chrono::milliseconds(timing.LockWaitMs)))
            throw ELinkBusy("the port is busy with a transfer");
        result = TransactTimed(timing, code, payload.empty() ? &kNone : payload.data(),
                               static_cast<int>(payload.size()), nullptr, 0);
        if (result > 0) {
            const uint8_t* p = port_.receiveBuffer.data() + 4;
            out.assign(p, p + (static_cast<size_t>(result) - 6));
        }
    }
    RaiseResult(code, result);
    return out;
}

void TKestThread::RaiseResult(uint16_t code, int result) {
    if (result < 0 && PortLost()) throw ECommPortLost("port lost");
    if (result == 0) throw ECommNoReply("Command no reply");
    RaiseCommResult(code, result);
}

void TKestThread::CommandValue(uint16_t code) {
    Command(code, nullptr, 0, nullptr, 0);
}

int TKestThread::CommandWord(uint16_t code, uint16_t word) {
    int result;
    uint32_t folded = 0;
    {
        std::lock_guard<TicketLock> g(lock_);
        port_.sendBuffer[4] = static_cast<uint8_t>(word >> 8);
        port_.sendBuffer[5] = static_cast<uint8_t>(word & 0xFF);
        result = ComTransact(port_, code, nullptr, 2, nullptr, 0);
        if (result > 0) {
            size_t bytes =
                std::min<size_t>(2u * port_.receiveBuffer[1], static_cast<size_t>(result) - 6);
            for (size_t i = 0; i < bytes; ++i) folded = folded << 8 | port_.receiveBuffer[4 + i];
        }
    }
    RaiseResult(code, result);
    return static_cast<int>(folded);
}

// ------------------------------------------------------------- block transfers

int TKestThread::ReadBlock(uint32_t address, uint16_t mode, int words, bool wide, uint8_t* out) {
    const int unit = ModeElementWords(mode) * (wide ? 4 : 1);
    const int count = words / unit;
    auto payload = MemReadPayload(address, count, mode);
    std::lock_guard<TicketLock> g(lock_);
    int result = ComTransact(port_, wide ? cmd::MEM_READ_WIDE : cmd::MEM_READ, payload.data(),
                             static_cast<int>(payload.size()), nullptr, 0);
    if (result > 0) {
        // 4 bytes of address echo, then the words; a reply short of them is unusable
        const size_t have = static_cast<size_t>(result) - 6;
        const size_t need = 4 + 2 * static_cast<size_t>(words);
        if (have < need) return kRecvNoBuff;
        std::memcpy(out, port_.receiveBuffer.data() + 8, 2 * static_cast<size_t>(words));
    }
    return result;
}

void TKestThread::NextBlock(int remaining, bool wideAllowed, int elemWords, int normalMax,
                            int& words, bool& wide) {
    const int wideUnit = elemWords * 4;
    const int wideMax = kWideBlockWords / wideUnit * wideUnit;
    if (wideAllowed && remaining >= wideMax) {
        words = wideMax;
        wide = true;
    } else if (!wideAllowed || remaining < kNormalBlockWords) {
        words = std::min(remaining, normalMax) / elemWords * elemWords;
        wide = false;
    } else {
        words = remaining / wideUnit * wideUnit;
        wide = true;
    }
}

void TKestThread::MemRead(void* buffer, uint32_t address, uint16_t mode, int words) {
    if (words <= 0) return;
    if (buffer == nullptr) throw EKestError("MemRead: no buffer");
    const int elem = ModeElementWords(mode);
    if (words % elem != 0)
        throw EKestError(Format("MemRead: %d words are not whole %d-word elements", words, elem));
    auto* out = static_cast<uint8_t*>(buffer);
    int remaining = words;
    while (remaining > 0) {
        int n = 0;
        bool wide = false;
        NextBlock(remaining, WideTransfers.load(), elem, kNormalBlockWords, n, wide);
        int result = ReadBlock(address, mode, n, wide, out);
        if (result <= 0) {
            // A sensor that failed a wide read gets normal reads from now on.
            if (wide) WideTransfers = false;
            throw ECommError("MemRead error;" + std::to_string(result), result);
        }
        ModeConvert(mode, out, static_cast<size_t>(n));
        address += static_cast<uint32_t>(n);
        out += 2 * n;
        remaining -= n;
    }
}

void TKestThread::MemWrite(const void* buffer, uint32_t address, uint16_t mode, int words) {
    if (words <= 0) return;
    if (buffer == nullptr) throw EKestError("MemWrite: no buffer");
    const auto* in = static_cast<const uint8_t*>(buffer);
    int remaining = words;
    std::array<uint8_t, kMaxRequestPayload> payload{};
    while (remaining > 0) {
        const int n = std::min(remaining, kNormalBlockWords);
        payload[0] = static_cast<uint8_t>(address >> 24);
        payload[1] = static_cast<uint8_t>(address >> 16);
        payload[2] = static_cast<uint8_t>(address >> 8);
        payload[3] = static_cast<uint8_t>(address);
        std::memcpy(payload.data() + 4, in, 2 * static_cast<size_t>(n));
        ModeConvert(mode, payload.data() + 4, static_cast<size_t>(n));
        int result = Transact(cmd::MEM_WRITE, payload.data(), 4 + 2 * n, nullptr, 0);
        if (result <= 0) throw ECommError("MemWrite error;" + std::to_string(result), result);
        address += static_cast<uint32_t>(n);
        in += 2 * n;
        remaining -= n;
    }
}

void TKestThread::EpmWrite(int bank) {
    if (bank < 0 || bank > 255) throw EKestError(Format("EPM_WRITE: bad bank %d", bank));
    const uint8_t payload[2] = {0x01, static_cast<uint8_t>(bank)};
    for (int attempt = 0; attempt < kEpmWriteTries; ++attempt) {
        try {
            Command(cmd::EPM_WRITE, payload, 2, nullptr, 0);
            return;
        } catch (const ECommErrExe& e) {
            WriteLog(kLogError, "%s", e.what());
            SleepMs(10);
        }
    }
    throw EKestError("EPM_WRITE retey over");
}

void TKestThread::SetCamRect(const CamRect& rect) {
    auto payload = CamRectPayload(rect);
    WriteLog(kLogPlain, "send(%d,%d, %d,%d)", rect.top / 8 * 8, rect.left / 8 * 8,
             rect.height / 8 * 8, rect.width / 8 * 8);
    Command(cmd::SET_CAM_RECT, payload);
    if (VerifyCamRect) {
        CamRect got = GetCamRect();
        WriteLog(kLogPlain, "verify(%d,%d, %d,%d)", got.top, got.left, got.height, got.width);
    }
}

CamRect TKestThread::GetCamRect() {
    return CamRectFromReply(CommandReply(cmd::GET_CAM_RECT));
}

AreaRect TKestThread::SetAreaRect(int channel, int xa, int ya, int xb, int yb) {
    AreaRect r = OrderAndClampAreaRect(xa, ya, xb, yb);
    WriteLog(kLogPlain, "AREA_RECT(ch%d, x0=%d, y0=%d, x1=%d, y1=%d)", channel, r.x0, r.y0, r.x1,
             r.y1);
    Command(cmd::AREA_RECT, AreaRectPayload(channel, r));
    return r;
}

namespace {

// Drops trailing points whose two words are both 0.
int TrimZeroPoints(std::span<const uint16_t> words, int headerWords, int count) {
    while (count > 0) {
        size_t i = static_cast<size_t>(headerWords + 2 * (count - 1));
        if (i + 1 >= words.size() || words[i] != 0 || words[i + 1] != 0) break;
        --count;
    }
    return count;
}

}  // namespace

int TKestThread::FetchMasterProfile(uint32_t address, std::span<uint16_t> buffer) {
    const int capacity = static_cast<int>(std::min<size_t>(buffer.size(), 1u << 20)) & ~1;
    if (capacity < 4) throw EKestError("FetchMasterProfile: buffer too small");
    auto* out = reinterpret_cast<uint8_t*>(buffer.data());
    int read = 0, total = -1, count = 0;
    while (total < 0 || read < total) {
        const int want = std::min(252, (total < 0 ? capacity : total) - read);
        int result = ReadBlock(address + static_cast<uint32_t>(read), kModeMaster, want, false,
                               out + 2 * read);
        if (result <= 0) throw ECommError("MemRead error;" + std::to_string(result), result);
        ModeConvert(kModeMaster, out + 2 * read, static_cast<size_t>(want));
        read += want;
        if (total < 0) {
            if (buffer[0] == 0xFFFF) return 0;
            count = buffer[2] >> 5;
            total = 2 * count + 4;
            if (count > kFetchProfileLimit || total > capacity)
                throw ECommError("illegal profile size");
        }
    }
    return TrimZeroPoints(buffer, 4, count);
}

int TKestThread::FetchProfile(uint32_t address, std::span<uint16_t> buffer, int step) {
    if (step < 1 || step > 15) throw EKestError(Format("FetchProfile: bad step %d", step));
    const int capacity = static_cast<int>(std::min<size_t>(buffer.size(), 1u << 20)) & ~1;
    if (capacity < 2) throw EKestError("FetchProfile: buffer too small");
    auto* out = reinterpret_cast<uint8_t*>(buffer.data());
    int read = 0, total = -1, count = 0;
    while (total < 0 || read < total) {
        int want = 0;
        bool wide = false;
        if (total < 0) {
            want = std::min(252, capacity);  // the first block tells the size
        } else {
            const int remaining = total - read;
            if (WideTransfers && remaining >= kWideBlockWords) {
                want = kWideBlockWords;
                wide = true;
            } else if (!WideTransfers || remaining < kNormalBlockWords) {
                want = std::min(remaining, 252);
            } else {
                want = remaining & ~3;
                wide = true;
            }
        }
        const uint16_t mode = wide ? ProfileModeWide(step) : ProfileModeNormal(step);
        int result = ReadBlock(address, mode, want, wide, out + 2 * read);
        if (result <= 0) throw ECommError("MemRead error;" + std::to_string(result), result);
        ModeConvert(mode, out + 2 * read, static_cast<size_t>(want));
        read += want;
        address += static_cast<uint32_t>(step * want);
        if (total < 0) {
            count = buffer[0] >> 5;
            total = 2 * count + 2;
            if (count > kFetchProfileLimit || total > capacity)
                throw ECommError("illegal profile size");
        }
    }
    return TrimZeroPoints(buffer, 2, count / step);
}

// --------------------------------------------------------------------- tasks

void TKestThread::SetTask(uint8_t task) {
    {
        std::lock_guard<std::mutex> g(wakeMutex_);
        Task = task;
    }
    wake_.notify_one();
}

void TKestThread::RefuseWhenBusy() {
    if (Task.load() != kTaskIdle) throw EKestError("KEST_thread busy");
}

void TKestThread::PrepareImage(int height, int width, int bytesPerPixel) {
    if (width < 1 || width > kMaxImageWidth || height < 1 || height > kMaxImageHeight)
        throw EKestError(Format("bad image size %dx%d", width, height));
    Image.width = width;
    Image.height = height;
    Image.bytesPerPixel = bytesPerPixel;
    Image.pixels.assign(static_cast<size_t>(width) * height * bytesPerPixel, 0);
    imageWidth_ = width;
    imageHeight_ = height;
}

void TKestThread::RequestImage(int height, int width, Callback onDone) {
    RefuseWhenBusy();
    PrepareImage(height, width, 1);
    AbortRequested = false;
    OnDone = std::move(onDone);
    SetTask(kTaskImage);
}

void TKestThread::RequestImagePair(int height, int width, Callback onDone) {
    RefuseWhenBusy();
    PrepareImage(height, width, 3);
    AbortRequested = false;
    OnDone = std::move(onDone);
    SetTask(kTaskImagePair);
}

void TKestThread::RequestLiveView(int height, int width, Callback onDone, Callback onError) {
    RefuseWhenBusy();
    PrepareImage(height, width, 1);
    AbortRequested = false;
    OnDone = std::move(onDone);
    OnError = std::move(onError);
    SetTask(kTaskLiveView);
}

void TKestThread::RequestProfiles(Callback onDone) {
    const uint8_t running = Task.load();
    if (running != kTaskIdle && running != kTaskProfiles) throw EKestError("KEST_thread busy");
    if (running == kTaskProfiles) {
        // Polling already runs: the worker takes the new consumer with its next pass.
        std::lock_guard<std::mutex> g(requestLock_);
        pendingDone_ = std::move(onDone);
        pendingDoneSet_ = true;
        return;
    }
    AbortRequested = false;
    OnDone = std::move(onDone);
    LastProfileAddress = -1;
    SetTask(kTaskProfiles);
}

void TKestThread::StartProfiles(Callback onDone) {
    RefuseWhenBusy();
    Connect();
    RequestProfiles(std::move(onDone));
}

namespace {

// One closure handed to the user-interface thread. The worker waits for it
// to have run; once the worker is being terminated, a closure that has not
// started yet is abandoned, and runs never, also if the event loop reaches it
// later.
struct THandOver {
    enum class State { Pending, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable cv;
    State state = State::Pending;
    const std::function<void()>* fn = nullptr;  // valid while the worker waits

    void Run() {
        {
            std::lock_guard<std::mutex> g(mutex);
            if (state != State::Pending) return;
            state = State::Running;
        }
        struct Finish {
            THandOver& h;
            ~Finish() {
                {
                    std::lock_guard<std::mutex> g(h.mutex);
                    h.state = State::Done;
                }
                h.cv.notify_all();
            }
        } finish{*this};
        (*fn)();
    }
};

}  // namespace

bool TKestThread::HandOver(const std::function<void()>& fn) {
    if (terminated_) return false;
    auto h = std::make_shared<THandOver>();
    h->fn = &fn;
    dispatcher_([h] { h->Run(); });
    std::unique_lock<std::mutex> l(h->mutex);
    while (h->state != THandOver::State::Done) {
        if (terminated_ && h->state == THandOver::State::Pending) {
            h->state = THandOver::State::Abandoned;
            return false;
        }
        h->cv.wait_for(l, std::chrono::milliseconds(5));
    }
    return true;
}

void TKestThread::Dispatch(const Callback& fn) {
    if (fn) HandOver(fn);
}

void TKestThread::LogFromWorker(int attribute, const std::string& line) {
    // Written here when the user-interface thread can no longer take it.
    if (!HandOver([&] { WriteLog(attribute, "%s", line.c_str()); }))
        WriteLog(attribute, "%s", line.c_str());
}

void TKestThread::CheckAbort() {
    if (AbortRequested) throw EUserAbort("");
    if (terminated_) throw EUserAbort("Terminated");
    if (static_cast<int64_t>(TickMs() - TaskStart.load()) > TimeLimit.load())
        throw ETaskTimeout("TASK TIMEOUT");
}

void TKestThread::Execute() {
    while (!terminated_) {
        const uint8_t task = Task.load();
        if (task == kTaskIdle) {
            // Idle costs nothing: no wake-up until a request or the end.
            std::unique_lock<std::mutex> l(wakeMutex_);
            wake_.wait(l, [this] { return terminated_ || Task.load() != kTaskIdle; });
            continue;
        }
        {
            std::lock_guard<std::mutex> g(requestLock_);
            if (pendingDoneSet_) {
                OnDone = std::move(pendingDone_);
                pendingDoneSet_ = false;
                LastProfileAddress = -1;
            }
        }
        TaskStart = TickMs();
        bool done = false;
        TimeLimit = DefaultTimeLimit;
        auto logError = [this] {
            LogFromWorker(kLogError, "KESTthread: " + LastError);
            Dispatch(OnRestoreCursor);
        };
        try {
            RunTask(task, done);
            failures_ = 0;
        } catch (const EUserAbort&) {
            LastError = "USER ABORT";
            logError();
            done = true;
        } catch (const ECommError& e) {
            LastError = e.what();
            logError();
            if (e.Code != 0) done = AbortRequested;
            if (++failures_ >= kFailureLimit) done = true;
            if (PortLost()) done = true;  // nothing more can be read
        } catch (const std::exception& e) {
            LastError = e.what();
            logError();
            done = true;
        }
        done = done || AbortRequested;
        AbortRequested = false;
        if (done) {
            failures_ = 0;  // a new task starts with a clean count
            Task = kTaskIdle;
        }
    }
}

void TKestThread::RunTask(uint8_t task, bool& done) {
    switch (task) {
        case kTaskImage:
            TimeLimit = ImageTimeLimit;
            FetchImageTask();
            done = true;
            break;
        case kTaskImagePair:
            TimeLimit = ImagePairTimeLimit;
            FetchImagePairTask();
            done = true;
            break;
        case kTaskLiveView:
            TimeLimit = LiveViewTimeLimit;
            LiveViewStep();
            done = AbortRequested;
            break;
        case kTaskProfiles:
            if (!PollProfileTask()) SleepMs(1);
            done = AbortRequested;
            break;
        default:
            done = true;  // nothing to run
            break;
    }
}

uint32_t TKestThread::QueryAddress(uint16_t code, const void* payload, int payloadBytes,
                                   int minResult, const char* errorPrefix) {
    uint8_t reply[4] = {0, 0, 0, 0};
    int result = Transact(code, payload, payloadBytes, reply, 4);
    LastResult = result;
    if (result < minResult) {
        if (errorPrefix != nullptr) throw ECommError(errorPrefix + std::to_string(result), result);
        throw SendFailed(result);
    }
    return Be32(reply);
}

void TKestThread::ReportProgress(bool force) {
    const uint32_t now = TickMs();
    if (force || static_cast<uint32_t>(now - LastProgressTick) > 100) {
        LastProgressTick = now;
        Dispatch(OnProgress);
    }
}

void TKestThread::FetchImageTask() {
    Progress = 0;
    ReportProgress(true);
    ImageNumber = static_cast<int>(QueryAddress(cmd::GET_IMG_NO, nullptr, 0, 0, nullptr));
    ReadProfilePair(QueryAddress(cmd::GET_PROF_ADDR, nullptr, 0, 0, nullptr));
    auto number = PayloadL(static_cast<uint32_t>(ImageNumber));
    ImageAddress = static_cast<int>(QueryAddress(cmd::GET_IMG_ADDR, number.data(), 4, 10, nullptr));
    FillBitmap(static_cast<uint32_t>(ImageAddress), 1);
    Dispatch(OnDone);
}

void TKestThread::FetchImagePairTask() {
    Progress = 0;
    ReportProgress(true);
    ImageNumber = static_cast<int>(QueryAddress(cmd::GET_IMG_NO, nullptr, 0, 0, nullptr));
    auto number = PayloadL(static_cast<uint32_t>(ImageNumber));
    ImageAddress = static_cast<int>(QueryAddress(cmd::GET_IMG_ADDR, number.data(), 4, 10, nullptr));
    const int base = (ImageNumber - 1) & ~1;  // rounded down to even
    for (int n : {1, 0}) {
        auto pairNumber = PayloadL(static_cast<uint32_t>(n + base));
        ImageAddress =
            static_cast<int>(QueryAddress(cmd::GET_IMG_ADDR, pairNumber.data(), 4, 10, nullptr));
        FillBitmap(static_cast<uint32_t>(ImageAddress), n == 1 ? 1 : 6);
    }
    Dispatch(OnDone);
}

void TKestThread::LiveViewStep() {
    try {
        uint8_t reply[4] = {0, 0, 0, 0};
        int result = Transact(cmd::GET_IMG_NO, nullptr, 0, reply, 4);
        LastResult = result;
        if (result == 0) return;
        if (result < 0) throw SendFailed(result);
        ImageNumber = static_cast<int>(Be32(reply));
        ReadProfilePair(QueryAddress(cmd::GET_PROF_ADDR, nullptr, 0, 0, nullptr));
        auto number = PayloadL(static_cast<uint32_t>(ImageNumber));
        ImageAddress =
            static_cast<int>(QueryAddress(cmd::GET_IMG_ADDR, number.data(), 4, 10, "err"));
        FetchAdaptiveImage(static_cast<uint32_t>(ImageAddress));
        Dispatch(OnDone);
    } catch (...) {
        Dispatch(OnError);
        throw;
    }
}

bool TKestThread::PollProfileTask() {
    uint8_t reply[4] = {0, 0, 0, 0};
    int result;
    {
        // A live query: a sensor that falls silent costs a few frame times.
        std::lock_guard<TicketLock> g(lock_);
        result =
            TransactTimed(QueryTiming(kTransactAttempts), cmd::GET_PROF_ADDR, nullptr, 0, reply, 4);
    }
    LastResult = result;
    // A failed transaction is no address either (not only a short reply).
    if (result < 10) throw SendFailed(result);
    const uint32_t address = Be32(reply);
    if (static_cast<int64_t>(address) == LastProfileAddress) return false;
    LastProfileAddress = address;
    ProfileCount = FetchProfile(address, ProfileBuffer, 1);
    Dispatch(OnDone);
    return true;
}

void TKestThread::ReadProfilePair(uint32_t address) {
    auto readWords = [this](uint32_t addr, std::span<uint16_t> into, int words) {
        auto* out = reinterpret_cast<uint8_t*>(into.data());
        for (int done = 0; done < words;) {
            const int n = std::min(kNormalBlockWords, words - done);
            int result =
                ReadBlock(addr + static_cast<uint32_t>(done), kModeWords, n, false, out + 2 * done);
            LastResult = result;
            if (result <= 0) throw SendFailed(result);
            ModeConvert(kModeWords, out + 2 * done, static_cast<size_t>(n));
            done += n;
        }
    };
    // The first block tells the point count.
    readWords(address, ProfileBuffer, kNormalBlockWords);
    const int count = ProfileBuffer[0] >> 5;
    if (count < 1 || count > kImageProfileLimit) throw ECommError("illegal profile size");
    ProfileCount = count;
    const int total = 2 * count + 2;
    if (total > kNormalBlockWords)
        readWords(address + kNormalBlockWords, std::span(ProfileBuffer).subspan(kNormalBlockWords),
                  total - kNormalBlockWords);

    const uint32_t second = address + static_cast<uint32_t>(total);
    readWords(second, SecondBuffer, kNormalBlockWords);
    int secondCount = SecondBuffer[0] >> 5;
    if (secondCount >= 1023) {
        LogFromWorker(kLogError,
                      Format("illegal profile size; %d(%04X)", secondCount, SecondBuffer[0]));
        secondCount = imageWidth_;
    }
    // never more than the buffer holds
    secondCount = std::min(secondCount, (kProfileBufferWords - 2) / 2);
    SecondCount = secondCount;
    const int secondTotal = secondCount > 0 ? 2 * secondCount + 2 : 0;
    if (secondTotal > kNormalBlockWords)
        readWords(second + kNormalBlockWords, std::span(SecondBuffer).subspan(kNormalBlockWords),
                  secondTotal - kNormalBlockWords);
}

void TKestThread::FillBitmap(uint32_t address, int mask) {
    const int width = Image.width;
    const size_t pixelCount = static_cast<size_t>(Image.width) * Image.height;
    const int bpp = Image.bytesPerPixel;
    const int total = static_cast<int>(pixelCount / 2);
    int remaining = total;
    size_t pixel = 0;
    int failedTries = 0;
    std::array<uint8_t, 2 * kWideBlockWords> data{};
    (void)width;
    while (remaining > 0) {
        CheckAbort();
        int n = 0;
        bool wide = false;
        NextBlock(remaining, WideTransfers.load(), 1, kNormalBlockWords, n, wide);
        int result = ReadBlock(address, kModeWords, n, wide, data.data());
        LastResult = result;
        if (result <= 0) {
            {
                std::lock_guard<TicketLock> g(lock_);
                ComPurge(port_);
            }
            if (result == kRetryOut) throw EKestError("recv_bmp: retry out");
            if (++failedTries >= 3) throw EKestError("retry out:" + std::to_string(result));
            continue;
        }
        failedTries = 0;
        // Pixels in memory order fill the scanlines one after the other.
        for (int i = 0; i < 2 * n && pixel < pixelCount; ++i, ++pixel) {
            uint8_t* px = Image.pixels.data() + pixel * static_cast<size_t>(bpp);
            for (int c = 0; c < bpp; ++c)
                if (mask & (1 << c)) px[c] = data[static_cast<size_t>(i)];
        }
        address += static_cast<uint32_t>(n);
        remaining -= n;
        Progress = 100 - static_cast<int>(static_cast<int64_t>(remaining) * 100 / total);
        ReportProgress(false);
    }
}

void TKestThread::FetchAdaptiveImage(uint32_t address) {
    const int width = Image.width;
    const int height = Image.height;
    const int rows = std::max(1, height / 16);
    const int cols = std::max(1, width / 16);
    std::vector<uint8_t> thumb(static_cast<size_t>(rows) * cols, 0);
    std::array<uint8_t, 2 * kWideBlockWords> data{};

    // 1. thumbnail: one pixel of every 16th pixel of every 16th row
    for (int r = 0; r < rows; ++r) {
        const bool wide = WideTransfers.load();
        const int words = wide ? (cols + 3) / 4 * 4 : cols;
        const uint32_t at =
            address + static_cast<uint32_t>(static_cast<int64_t>(r) * 16 * width / 2);
        int result = ReadBlock(at, kModeThumb, words, wide, data.data());
        LastResult = result;
        if (result <= 0) throw SendFailed(result);
        for (int c = 0; c < cols; ++c) thumb[static_cast<size_t>(r * cols + c)] = data[2 * c];
        CheckAbort();
    }

    // 2. threshold
    const int threshold = AdaptiveThreshold(thumb);

    // 3. full resolution only around bright blocks
    auto readRun = [&](int y, int block, int end) {
        uint8_t* row = Image.Row(y);
        const int firstPixel = block * 16;
        const int pixels = std::min((end - block) * 16, width - firstPixel);
        if (pixels <= 0) return;
        const int words = (pixels + 1) / 2;
        uint32_t at = address + static_cast<uint32_t>(static_cast<int64_t>(y) * width / 2) +
                      static_cast<uint32_t>(block * 8);
        for (int done = 0; done < words;) {
            const int n = std::min(kNormalBlockWords, words - done);
            int result =
                ReadBlock(at + static_cast<uint32_t>(done), kModeWords, n, false, data.data());
            LastResult = result;
            if (result <= 0) throw SendFailed(result);
            const int copy = std::min(2 * n, pixels - 2 * done);
            std::memcpy(row + firstPixel + 2 * done, data.data(), static_cast<size_t>(copy));
            done += n;
        }
    };
    for (int y = 0; y < height; ++y) {
        const int band = y / 16;
        CheckAbort();
        const int thumbRow = std::min(band, rows - 1);
        uint8_t* row = Image.Row(y);
        int runEnd = -1;
        for (int block = cols - 1; block >= 0; --block) {
            int peak = 0;
            for (int rr = band - 1; rr <= band + 1; ++rr)
                for (int cc = block - 1; cc <= block + 1; ++cc)
                    if (rr >= 0 && rr < rows && cc >= 0 && cc < cols)
                        peak = std::max<int>(peak, thumb[static_cast<size_t>(rr * cols + cc)]);
            if (peak <= threshold && runEnd < 0) {
                const int first = block * 16;
                const int count = std::min(16, width - first);
                if (count > 0)
                    std::memset(row + first, thumb[static_cast<size_t>(thumbRow * cols + block)],
                                static_cast<size_t>(count));
            }
            if (peak > threshold && runEnd < 0) runEnd = block + 1;
            if ((peak <= threshold || block == 0) && runEnd >= 0) {
                readRun(y, block, runEnd);
                runEnd = -1;
            }
        }
        if (y % 16 == 15 || y == height - 1) {
            Progress = band * 100 / rows;
            Dispatch(OnBandDone);
        }
    }
}

}  // namespace kd
