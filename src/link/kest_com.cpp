#include "link/kest_com.h"

#include <algorithm>
#include <cstring>

#include "common/clock.h"
#include "link/comm_error.h"

namespace kd {

bool ComIsOpen(const KestCom& com) {
    return com.handle >= 0;
}

int ComOpen(KestCom& com, const std::string& portName, int baud) {
    if (ComIsOpen(com)) {
        ComPurge(com);
        return 0;
    }
    std::string path = SerialDevicePath(portName);
    int fd = SerialOpen(path, &com.openError);
    if (fd < 0) return -1;
    com.handle = fd;
    com.lost = false;
    com.unclean = true;
    com.devicePath = path;
    com.lineCounters = LineCounters{};
    if (ComSetBaud(com, baud > 0 ? baud : com.settings.BaudRate) < 0) {
        // A port left in an unknown line mode is of no use: report the open as failed.
        ComClose(com);
        return -1;
    }
    return 1;
}

void ComClose(KestCom& com) {
    if (com.handle >= 0) SerialClose(com.handle);
    com.handle = -1;
    com.lost = false;
    com.devicePath.clear();
}

int ComSetBaud(KestCom& com, int baud) {
    if (baud <= 0) return -1;
    com.settings.BaudRate = baud;
    com.settings.ByteSize = 8;
    com.settings.Parity = 0;
    com.settings.StopBits = 1;
    if (!ComIsOpen(com)) return 1;
    if (!SerialConfigure(com.handle, baud)) return -1;
    SerialPurge(com.handle, true, true);
    return 1;
}

int ComGetBaud(const KestCom& com) {
    return com.settings.BaudRate;
}

int ComPurge(KestCom& com) {
    return SerialPurge(com.handle, true, true) ? 1 : -1;
}

uint8_t ComBcc(const uint8_t* bytes, size_t count) {
    uint8_t x = 0;
    for (size_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

int ComWrite(KestCom& com, const uint8_t* frame, size_t length) {
    if (length >= 4) com.expectedCommand = static_cast<uint16_t>(frame[2] << 8 | frame[3]);
    long n = SerialWrite(com.handle, frame, length, com.replyTimeout, com.cancel);
    if (n == kSerialGone) com.lost = true;
    int result = n < 0 ? -1 : static_cast<int>(n);
    if (com.trace) com.trace(FrameTraceEvent{true, {frame, length}, result});
    return result;
}

namespace {

// Payload bytes announced by the length byte of a reply.
size_t ExpectedPayload(uint16_t expectedCommand, uint8_t lengthByte) {
    if (expectedCommand == kWideReadCommand) {
        // 8-byte units less 12 bytes; a length of 0 or 1 carries nothing
        return lengthByte >= 2 ? size_t{8} * lengthByte - 12 : 0;
    }
    return size_t{2} * lengthByte;
}

}  // namespace

int ReplyScanner::Accept(size_t count, bool& stxFound) {
    stxFound = false;
    held_ += std::min(count, Room());
    if (state_ == State::Hunt) {
        uint8_t* stx = std::find(buffer_, buffer_ + held_, kStx);
        if (stx == buffer_ + held_) {
            // Short runs of noise are dropped; a long one ends the attempt.
            if (held_ <= 10) {
                held_ = 0;
                return kPending;
            }
            return kRecvNoStx;
        }
        const size_t skip = static_cast<size_t>(stx - buffer_);
        if (skip > 0) std::memmove(buffer_, stx, held_ - skip);
        held_ -= skip;
        stxFound = true;
        state_ = State::Header;
    }
    if (state_ == State::Header) {
        if (held_ < 4) return held_ >= capacity_ ? kRecvOverflow : kPending;
        if (buffer_[2] == 0xFE) return static_cast<int>(buffer_[3]) - 256;
        expected_ = ExpectedPayload(expectedCommand_, buffer_[1]);
        // A frame that cannot fit would never complete: report it at once.
        if (expected_ + 6 > capacity_) return kRecvOverflow;
        state_ = State::Body;
    }
    if (held_ < expected_ + 6) return kPending;
    // Bytes beyond the announced frame are not part of it.
    frameLength_ = expected_ + 6;
    if (buffer_[expected_ + 4] != kEtx) return kRecvNoEtx;
    if (ComBcc(buffer_ + 1, expected_ + 3) != buffer_[expected_ + 5]) return kSumError;
    const auto field = static_cast<uint16_t>(buffer_[2] << 8 | buffer_[3]);
    if (buffer_[2] == 0xE0 || buffer_[2] == 0xD0) return static_cast<int16_t>(field);
    if (field != expectedCommand_) return kRecvMissmatched;
    return static_cast<int>(frameLength_);
}

int ComReceive(KestCom& com, uint8_t* buffer, size_t capacity) {
    com.receivedLength = 0;
    if (!ComIsOpen(com)) return -1;
    if (buffer == nullptr || capacity == 0) return kRecvNoBuff;
    ReplyScanner scanner(buffer, capacity, com.expectedCommand);
    uint32_t lastActivity = TickMs();

    auto finish = [&](int result) {
        if (scanner.FrameLength() > 0)
            com.receivedLength = static_cast<uint16_t>(scanner.FrameLength());
        // Anything but one whole frame and nothing after it may leave bytes
        // that belong to no request: the next transaction clears the queue.
        com.unclean = result <= 0 || scanner.Held() != scanner.FrameLength();
        const size_t shown = result > 0 ? static_cast<size_t>(result) : scanner.Held();
        if (com.trace && shown > 0) com.trace(FrameTraceEvent{false, {buffer, shown}, result});
        return result;
    };

    // Wait on the descriptor, so a reply is taken the moment it arrives, then
    // read what has come, up to the room left. The wait lasts until the
    // silence allowed runs out, but at most 10 ms at a time, so that an owner
    // shutting down is heard soon; a long reply costs no wake-up a millisecond.
    for (;;) {
        const uint32_t silent = TickMs() - lastActivity;
        const int waitMs =
            silent >= com.replyTimeout
                ? 1
                : static_cast<int>(std::min<uint32_t>(com.replyTimeout - silent + 1, 10));
        const int ready = SerialWaitInput(com.handle, waitMs);
        if (ready == kSerialGone) com.lost = true;
        if (ready < 0) return finish(-1);
        if (ready == 0) {
            com.status.inQueue = 0;
            if (com.cancel && com.cancel->load()) return finish(kRecvNothing);
            if (static_cast<uint32_t>(TickMs() - lastActivity) > com.replyTimeout)
                return finish(scanner.Held() > 0 ? kRecvTimeout : kRecvNothing);
            continue;
        }
        const long got = SerialRead(com.handle, scanner.WritePtr(), scanner.Room());
        if (got == kSerialGone) com.lost = true;
        if (got < 0) return finish(-1);
        if (got == 0) continue;
        uint32_t mask = 0;
        if (!SerialLineErrors(com.handle, com.lineCounters, mask)) return finish(-1);
        com.status.errors = mask;
        com.status.inQueue = static_cast<int>(got);
        com.lineErrors |= mask;
        lastActivity = TickMs();
        if (mask & kLineFatalMask) {
            SleepMs(1);
            com.unclean = true;
            return kRecvNothing;
        }
        bool stxFound = false;
        const int result = scanner.Accept(static_cast<size_t>(got), stxFound);
        if (stxFound) {
            lastActivity = TickMs();
            com.stxTime = lastActivity;
        }
        if (result != ReplyScanner::kPending) return finish(result);
    }
}

int ComTransact(KestCom& com, uint16_t command, const void* payload, int payloadBytes, void* reply,
                int replyCapacity, int attempts) {
    if (!ComIsOpen(com) || com.lost) return -1;
    if (payloadBytes < 0 || static_cast<size_t>(payloadBytes) > kMaxRequestPayload)
        return kRecvNoBuff;
    auto& sb = com.sendBuffer;
    const size_t words = (static_cast<size_t>(payloadBytes) + 1) / 2;
    sb[0] = kStx;
    sb[1] = static_cast<uint8_t>(words);
    sb[2] = static_cast<uint8_t>(command >> 8);
    sb[3] = static_cast<uint8_t>(command & 0xFF);
    if (payload != nullptr) {
        if (payloadBytes > 0)
            std::memcpy(sb.data() + 4, payload, static_cast<size_t>(payloadBytes));
        // An odd payload is sent as whole words; the extra byte is 0, never a byte
        // past the end of the caller's data.
        if (payloadBytes % 2 != 0) sb[4 + static_cast<size_t>(payloadBytes)] = 0;
    }
    sb[4 + 2 * words] = kEtx;
    sb[5 + 2 * words] = ComBcc(sb.data() + 1, 3 + 2 * words);
    const size_t length = 6 + 2 * words;
    com.sentLength = static_cast<uint16_t>(length);

    int result = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (com.cancel && com.cancel->load()) break;
        // Whatever is still queued (a late or overlong earlier reply) cannot be the
        // answer to this request.
        if (com.unclean && SerialInQueue(com.handle) != 0) SerialPurge(com.handle, true, false);
        com.unclean = false;
        ComWrite(com, sb.data(), length);
        if (com.lost) return -1;
        result = ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
        if (result > 0) break;
        if (com.lost) return -1;
        // The sensor's own error reply is a definitive answer.
        if (IsSensorErrorReply(result)) return result;
    }
    if (result <= 0) return result == kRecvMissmatched ? kRecvMissmatched : kRetryOut;

    if (reply != nullptr) {
        const size_t size = static_cast<size_t>(result & ~1) - 6;
        const size_t cap = replyCapacity > 0 ? static_cast<size_t>(replyCapacity) : 0;
        if (size > cap) {
            if (cap > 0) std::memcpy(reply, com.receiveBuffer.data() + 4, cap);
            return kRecvOverflow;
        }
        if (size > 0) std::memcpy(reply, com.receiveBuffer.data() + 4, size);
    }
    return result;
}

}  // namespace kd
