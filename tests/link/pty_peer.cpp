#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kdtest {

uint64_t NowUs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
    path_ = name;
    // Hold the terminal side open so the line stays up between the program's opens,
    // and make it raw so nothing is echoed before the program configures it.
    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slaveKeep_ < 0) throw std::runtime_error("cannot open " + path_);
    termios tio{};
    tcgetattr(slaveKeep_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveKeep_, TCSANOW, &tio);
    thread_ = std::thread([this] { Loop(); });
}

PtyPeer::~PtyPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    if (master_ >= 0) ::close(master_);
}

void PtyPeer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> g(mutex_);
    handler_ = std::move(handler);
}

void PtyPeer::SetPacing(int baud, int latencyUs) {
    baud_ = baud;
    latencyUs_ = latencyUs;
}

bool PtyPeer::SetRealtime() {
    sched_param param{};
    param.sched_priority = 10;
    return pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param) == 0;
}

std::vector<Request> PtyPeer::Requests() {
    std::lock_guard<std::mutex> g(mutex_);
    return requests_;
}

int PtyPeer::CountOf(uint16_t code) {
    std::lock_guard<std::mutex> g(mutex_);
    int n = 0;
    for (auto& r : requests_) n += r.code == code;
    return n;
}

void PtyPeer::ResetCounters() {
    std::lock_guard<std::mutex> g(mutex_);
    requests_.clear();
    bytesIn_ = 0;
    bytesOut_ = 0;
}

Bytes PtyPeer::Frame(uint16_t code, const Bytes& payload) {
    Bytes f;
    f.push_back(0x02);
    f.push_back(static_cast<uint8_t>(payload.size() / 2));
    f.push_back(static_cast<uint8_t>(code >> 8));
    f.push_back(static_cast<uint8_t>(code));
    for (uint8_t b : payload) f.push_back(b);
    f.push_back(0x03);
    uint8_t bcc = 0;
    for (size_t i = 1; i + 1 < f.size(); ++i) bcc ^= f[i];
    f.push_back(bcc);
    return f;
}

Bytes PtyPeer::WideFrame(const Bytes& payload) {
    Bytes f = Frame(0x001A, payload);
    f[1] = static_cast<uint8_t>((payload.size() + 12) / 8);
    uint8_t bcc = 0;
    for (size_t i = 1; i + 2 < f.size(); ++i) bcc ^= f[i];
    f.back() = bcc;
    return f;
}

void PtyPeer::WriteAll(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size && !stop_) {
        ssize_t n = ::write(master_, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 5);
    }
    bytesOut_ += done;
}

void PtyPeer::Send(const Bytes& bytes) {
    const int baud = baud_;
    if (baud <= 0) {
        WriteAll(bytes.data(), bytes.size());
        return;
    }
    // Byte i leaves the line at start + (i + 1) byte times; write what is due.
    const double byteUs = 10e6 / baud;
    const uint64_t start =
        std::max(NowUs(), requestDoneUs_.load() + static_cast<uint64_t>(latencyUs_));
    size_t sent = 0;
    while (sent < bytes.size()) {
        const uint64_t now = NowUs();
        size_t due = now <= start ? 0 : static_cast<size_t>((now - start) / byteUs);
        due = std::min(due, bytes.size());
        if (due > sent) {
            WriteAll(bytes.data() + sent, due - sent);
            sent = due;
            continue;
        }
        // Sleep until a piece of up to 32 bytes is due (the last piece exactly on time).
        const size_t target = std::min(bytes.size(), sent + 32);
        const uint64_t next = start + static_cast<uint64_t>(static_cast<double>(target) * byteUs);
        if (next > now) std::this_thread::sleep_for(std::chrono::microseconds(next - now));
    }
}

void PtyPeer::SendPieces(const Bytes& bytes, size_t pieceSize, int gapMs) {
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        WriteAll(bytes.data() + at, std::min(pieceSize, bytes.size() - at));
    }
}

void PtyPeer::Loop() {
    // Pacing needs sleeps that end on time, not up to 50 us late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    Bytes held;
    uint8_t chunk[4096];
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        int r = ::poll(&p, 1, 5);
        if (r <= 0 || !(p.revents & POLLIN)) continue;
        ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) continue;
        const uint64_t arrived = NowUs();
        bytesIn_ += static_cast<uint64_t>(n);
        held.insert(held.end(), chunk, chunk + n);
        // Take every complete request; resynchronise on anything malformed.
        for (;;) {
            while (!held.empty() && held[0] != 0x02) held.erase(held.begin());
            if (held.size() < 4) break;
            const size_t len = 6 + 2 * static_cast<size_t>(held[1]);
            if (held.size() < len) break;
            uint8_t bcc = 0;
            for (size_t i = 1; i < len - 2; ++i) bcc ^= held[i];
            if (held[len - 2] != 0x03 || held[len - 1] != bcc) {
                held.erase(held.begin());
                continue;
            }
            Request req;
            req.code = static_cast<uint16_t>(held[2] << 8 | held[3]);
            req.payload.assign(held.begin() + 4, held.begin() + static_cast<long>(len) - 2);
            held.erase(held.begin(), held.begin() + static_cast<long>(len));
            if (baud_ > 0) requestDoneUs_ = arrived + static_cast<uint64_t>(len * 10e6 / baud_);
            Handler h;
            {
                std::lock_guard<std::mutex> g(mutex_);
                requests_.push_back(req);
                h = handler_;
            }
            if (h) h(*this, req);
        }
    }
}

void MemorySensor::SetOther(PtyPeer::Handler other) {
    std::lock_guard<std::mutex> g(mutex_);
    other_ = std::move(other);
}

uint16_t MemorySensor::At(uint32_t address) const {
    std::lock_guard<std::mutex> g(mutex_);
    return mem_[address % mem_.size()];
}

void MemorySensor::Put(uint32_t address, uint16_t value) {
    std::lock_guard<std::mutex> g(mutex_);
    mem_[address % mem_.size()] = value;
}

void MemorySensor::Handle(PtyPeer& peer, const Request& req) {
    const bool wide = req.code == 0x001A;
    if ((req.code == 0x0002 || wide) && req.payload.size() == 6) {
        if (wide && refuseWide) {
            peer.Send(PtyPeer::ErrorFrame(0xE001));
            return;
        }
        const uint32_t address = static_cast<uint32_t>(req.payload[0]) << 24 |
                                 static_cast<uint32_t>(req.payload[1]) << 16 |
                                 static_cast<uint32_t>(req.payload[2]) << 8 | req.payload[3];
        const int count = req.payload[4];
        const int mode = req.payload[5];
        const int elem = (mode >> 4) & 0x0F ? (mode >> 4) & 0x0F : 1;
        const int stride = mode & 0x0F ? mode & 0x0F : 1;
        const int elements = wide ? count * 4 : count;
        Bytes payload(req.payload.begin(), req.payload.begin() + 4);
        for (int e = 0; e < elements; ++e)
            for (int w = 0; w < elem; ++w) {
                uint16_t v = At(address + static_cast<uint32_t>(e * stride * elem + w));
                payload.push_back(static_cast<uint8_t>(v >> 8));
                payload.push_back(static_cast<uint8_t>(v));
            }
        (wide ? wideReads : normalReads)++;
        peer.Send(wide ? PtyPeer::WideFrame(payload) : PtyPeer::Frame(req.code, payload));
        return;
    }
    if (req.code == 0x0001 && req.payload.size() >= 4) {
        const uint32_t address = static_cast<uint32_t>(req.payload[0]) << 24 |
                                 static_cast<uint32_t>(req.payload[1]) << 16 |
                                 static_cast<uint32_t>(req.payload[2]) << 8 | req.payload[3];
        for (size_t i = 4; i + 1 < req.payload.size(); i += 2)
            Put(address + static_cast<uint32_t>((i - 4) / 2),
                static_cast<uint16_t>(req.payload[i] << 8 | req.payload[i + 1]));
        peer.Send(PtyPeer::Frame(req.code, {}));
        return;
    }
    PtyPeer::Handler other;
    {
        std::lock_guard<std::mutex> g(mutex_);
        other = other_;
    }
    if (other) {
        other(peer, req);
        return;
    }
    peer.Send(PtyPeer::Frame(req.code, {}));
}

}  // namespace kdtest
