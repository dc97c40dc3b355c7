#pragma once
// A tiny request builder and reply reader for the tests, written apart from
// both the program's link code and the simulator's codec.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace simtest {

inline std::vector<uint8_t> Request(uint16_t cmd, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f;
    f.reserve(payload.size() + 7);
    f.push_back(0x02);
    f.push_back(static_cast<uint8_t>((payload.size() + 1) / 2));
    f.push_back(static_cast<uint8_t>(cmd >> 8));
    f.push_back(static_cast<uint8_t>(cmd));
    for (uint8_t b : payload) f.push_back(b);
    if (payload.size() % 2) f.push_back(0);
    f.push_back(0x03);
    uint8_t bcc = 0;
    for (size_t i = 1; i + 1 < f.size(); ++i) bcc ^= f[i];
    f.push_back(bcc);
    return f;
}

inline std::vector<uint8_t> Words(std::initializer_list<uint16_t> words) {
    std::vector<uint8_t> p;
    for (uint16_t w : words) {
        p.push_back(static_cast<uint8_t>(w >> 8));
        p.push_back(static_cast<uint8_t>(w));
    }
    return p;
}

struct Reply {
    uint16_t cmd = 0;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> raw;
    bool ok = false;  // a whole frame with a good check byte arrived
    uint16_t W(size_t i) const {
        return static_cast<uint16_t>((payload.at(2 * i) << 8) | payload.at(2 * i + 1));
    }
    int16_t S(size_t i) const { return static_cast<int16_t>(W(i)); }
    uint32_t L(size_t i) const { return (uint32_t{W(i)} << 16) | W(i + 1); }
    int32_t SL(size_t i) const { return static_cast<int32_t>(L(i)); }
};

class Client {
  public:
    explicit Client(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Client() {
        if (fd_ >= 0) close(fd_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) throw std::runtime_error("write failed");
            done += static_cast<size_t>(n);
        }
    }
    // Reads bytes until nothing arrives for quietMs.
    std::vector<uint8_t> ReadQuiet(int quietMs) {
        std::vector<uint8_t> out;
        uint8_t buf[4096];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0) return out;
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) return out;
            out.insert(out.end(), buf, buf + n);
        }
    }
    // Reads one reply frame (skipping bytes before STX); gives up after timeoutMs.
    Reply Receive(bool wide, int timeoutMs = 3000) {
        Reply r;
        std::vector<uint8_t> b;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (!b.empty() && b[0] != 0x02) b.erase(b.begin());
            if (b.size() >= 4) {
                const size_t len = b[1];
                const bool isErr = b[2] == 0xE0;
                const size_t payload = (wide && !isErr) ? (len ? 8 * len - 12 : 0) : 2 * len;
                if (b.size() >= payload + 6) {
                    r.raw.assign(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(payload + 6));
                    uint8_t bcc = 0;
                    for (size_t i = 1; i < payload + 4; ++i) bcc ^= b[i];
                    r.ok = b[payload + 4] == 0x03 && bcc == b[payload + 5];
                    r.cmd = static_cast<uint16_t>((b[2] << 8) | b[3]);
                    r.payload.assign(b.begin() + 4,
                                     b.begin() + 4 + static_cast<std::ptrdiff_t>(payload));
                    return r;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return r;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) return r;
            uint8_t buf[4096];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) return r;
            b.insert(b.end(), buf, buf + n);
        }
    }
    Reply Call(uint16_t cmd, const std::vector<uint8_t>& payload = {}) {
        Send(Request(cmd, payload));
        return Receive(cmd == 0x001A);
    }
    Reply Call(uint16_t cmd, std::initializer_list<uint16_t> words) {
        return Call(cmd, Words(words));
    }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

// The payload of a memory read request: address, count byte, mode byte.
inline std::vector<uint8_t> ReadReq(uint32_t addr, uint8_t count, uint8_t mode) {
    return {static_cast<uint8_t>(addr >> 24),
            static_cast<uint8_t>(addr >> 16),
            static_cast<uint8_t>(addr >> 8),
            static_cast<uint8_t>(addr),
            count,
            mode};
}

}  // namespace simtest
