#pragma once
// The serial port record and its functions, the frame receiver and the
// request/reply transaction.
//
// Frame: STX(02) N cmdHi cmdLo payload[2N] ETX(03) BCC, BCC = XOR of N, the
// command and the payload. A reply to the wide memory read (0x001A) counts its
// length in 8-byte units less 12 bytes.
//
// KestCom has no lock of its own: TKestThread serialises every call.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/serial_os.h"

namespace kd {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr size_t kReceiveBufferSize = 2034;  // 6 + 2028 payload bytes of the largest wide read
constexpr size_t kSendBufferSize = 516;      // 6 + 510 payload bytes
constexpr size_t kMaxRequestPayload = 510;
constexpr uint16_t kWideReadCommand = 0x001A;
constexpr int kDefaultBaud = 2000000;
constexpr int kTransactAttempts = 3;

// Line settings kept by the record; the baud rate survives while the port is closed.
struct ComSettings {
    int BaudRate = kDefaultBaud;
    int ByteSize = 8;
    int Parity = 0;    // none
    int StopBits = 1;  // one
};

// Refreshed by every poll of the receiver.
struct ComStatus {
    uint32_t errors = 0;  // line-error mask of the last poll
    int inQueue = 0;      // bytes waiting in the input queue
};

// One frame (or what was held of one) crossing the port, for the frame trace.
struct FrameTraceEvent {
    bool sent = false;               // true: request written; false: reply bytes received
    std::span<const uint8_t> bytes;  // the frame bytes
    int result = 0;                  // receiver result for received bytes; write result for sent
};
using FrameTrace = std::function<void(const FrameTraceEvent&)>;

struct KestCom {
    int handle = -1;  // descriptor; -1 while closed
    ComSettings settings;
    ComStatus status;
    uint32_t lineErrors = 0;       // OR of every line-error mask seen; only accumulates
    uint16_t replyTimeout = 1000;  // longest silence tolerated while waiting for a reply, ms
    uint16_t expectedCommand = 0;  // command of the last frame written
    uint16_t receivedLength = 0;   // byte count of the last complete reply frame
    uint16_t sentLength = 0;       // byte count of the last request frame
    std::array<uint8_t, kReceiveBufferSize> receiveBuffer{};
    std::array<uint8_t, kSendBufferSize> sendBuffer{};
    uint32_t stxTime = 0;  // tick at which STX of the current reply was found

    std::string devicePath;     // path of the open device
    LineCounters lineCounters;  // line-error counters of the device
    FrameTrace trace;           // called for every frame written and received; may be empty
    // When set, a wait for a reply ends at once (the owner is shutting down).
    const std::atomic<bool>* cancel = nullptr;
    // The device has gone (hang-up, EIO, ENXIO): every transaction fails at
    // once until the port is closed. Read without the owner's lock.
    std::atomic<bool> lost{false};
    int openError = 0;  // errno of the last failed ComOpen
    // The last receive may have left stray bytes (a failure, a late or an
    // overlong reply): the next request clears the input queue first.
    bool unclean = true;
};

// 1 opened, 0 already open (both queues purged), -1 failure. A baud rate of 0
// or less opens with the rate held in the settings.
int ComOpen(KestCom& com, const std::string& portName, int baud);
void ComClose(KestCom& com);
bool ComIsOpen(const KestCom& com);
// 8-N-1 at the rate; while closed only the record changes. 1 or -1.
int ComSetBaud(KestCom& com, int baud);
int ComGetBaud(const KestCom& com);
// Discards both queues; 1 or -1.
int ComPurge(KestCom& com);
// Records the expected command from bytes 2-3 and writes the frame; bytes written or -1.
int ComWrite(KestCom& com, const uint8_t* frame, size_t length);
uint8_t ComBcc(const uint8_t* bytes, size_t count);

// The reply scanner of ComReceive (states Hunt, Header, Body) over a growing
// buffer, apart from the port so that it can be driven by any byte source.
class ReplyScanner {
  public:
    static constexpr int kPending = 1 << 30;  // the frame is not complete yet

    ReplyScanner(uint8_t* buffer, size_t capacity, uint16_t expectedCommand)
        : buffer_(buffer), capacity_(capacity), expectedCommand_(expectedCommand) {}
    // Where the next bytes go and how many fit.
    uint8_t* WritePtr() { return buffer_ + held_; }
    size_t Room() const { return capacity_ - held_; }
    // Takes count bytes written at WritePtr(). Returns kPending or the result
    // code of the attempt; stxFound is set when this call found the start byte.
    int Accept(size_t count, bool& stxFound);
    size_t Held() const { return held_; }
    // Byte count of the frame once its length is complete (0 before).
    size_t FrameLength() const { return frameLength_; }

  private:
    enum class State { Hunt, Header, Body };
    uint8_t* buffer_;
    size_t capacity_;
    uint16_t expectedCommand_;
    State state_ = State::Hunt;
    size_t held_ = 0;
    size_t expected_ = 0;
    size_t frameLength_ = 0;
};

// Receives one reply frame into buffer (offset 0). Result codes: see comm_error.h.
int ComReceive(KestCom& com, uint8_t* buffer, size_t capacity);
// One request/reply exchange with up to three attempts (or as many as given). payload == nullptr
// sends payloadBytes already standing in the send buffer from offset 4. On
// success the reply payload is copied to reply (when given).
int ComTransact(KestCom& com, uint16_t command, const void* payload, int payloadBytes, void* reply,
                int replyCapacity, int attempts = kTransactAttempts);

}  // namespace kd
