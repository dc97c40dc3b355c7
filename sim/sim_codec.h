#pragma once
// Frame codec of the simulated sensor, written from the sensor's side: it
// scans the byte stream from the PC for request frames and builds reply frames.
//
// Frame: STX, N (payload words), command high, command low, 2*N payload bytes,
// ETX, BCC (XOR of N, both command bytes and the payload). The reply to the
// wide read counts its length byte in 8-byte units less 12 bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kdsim {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint16_t kCmdMemReadWide = 0x001A;

// Error replies of the sensor (command field 0xE0xx, no payload).
constexpr uint16_t kErrCmd = 0xE001;
constexpr uint16_t kErrData = 0xE002;
constexpr uint16_t kErrShort = 0xE003;
constexpr uint16_t kErrBcc = 0xE004;
constexpr uint16_t kErrFrm = 0xE005;
constexpr uint16_t kErrExe = 0xE008;

// Largest payloads a reply can carry.
constexpr size_t kMaxPayloadBytes = 255 * 2;
constexpr size_t kMaxWidePayloadBytes = 8 * 255 - 12;

uint8_t Bcc(std::span<const uint8_t> bytes);

// A normal reply; the payload must be a whole number of words, at most 510 bytes.
std::vector<uint8_t> BuildReply(uint16_t command, std::span<const uint8_t> payload);
// The reply shape of the wide read: payload 8*L-12 bytes (or none).
std::vector<uint8_t> BuildWideReply(uint16_t command, std::span<const uint8_t> payload);
std::vector<uint8_t> BuildErrorReply(uint16_t code);

// One event found in the incoming stream.
struct ScanEvent {
    enum class Kind {
        Request,   // a valid request frame
        BadBcc,    // a complete frame whose check byte is wrong
        BadFrame,  // the byte where ETX belongs is something else
        Junk,      // bytes outside any frame, dropped
    };
    Kind kind = Kind::Junk;
    uint16_t command = 0;
    std::vector<uint8_t> payload;  // Request only
    std::vector<uint8_t> raw;      // the bytes this event consumed
};

// Incremental request scanner. Feed() appends bytes; Next() returns events
// in stream order while complete ones are held; FlushPartial() drops a frame
// that stopped arriving (the caller decides after how long).
class RequestScanner {
  public:
    void Feed(std::span<const uint8_t> bytes);
    bool Next(ScanEvent& event);
    // Drops whatever is held (a partial frame) and reports it as junk.
    bool FlushPartial(ScanEvent& event);
    size_t Held() const { return buffer_.size(); }

  private:
    std::vector<uint8_t> buffer_;
};

std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace kdsim
