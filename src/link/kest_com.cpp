#include "link/kest_com.h"

#include <algorithm>
#include <cstring>

#include "common/clock.h"
#include "link/comm_error.h"

namespace kd {

bool ComIsOpen(const KestCom& com) { return com.handle >= 0; }

int ComOpen(KestCom& com, const std::string& portName, int baud) {
    if (ComIsOpen(com)) {
        ComPurge(com);
        return 0;
    }
    std::string path = SerialDevicePath(portName);
    int fd = SerialOpen(path);
    if (fd < 0) return -1;
    com.handle = fd;
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

int ComGetBaud(const KestCom& com) { return com.settings.BaudRate; }

int ComPurge(KestCom& com) { return SerialPurge(com.handle, true, true) ? 1 : -1; }

uint8_t ComBcc(const uint8_t* bytes, size_t count) {
    uint8_t x = 0;
    for (size_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

int ComWrite(KestCom& com, const uint8_t* frame, size_t length) {
    if (length >= 4) com.expectedCommand = static_cast<uint16_t>(frame[2] << 8 | frame[3]);
    long n = SerialWrite(com.handle, frame, length, com.replyTimeout);
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

int ComReceive(KestCom& com, uint8_t* buffer, size_t capacity) {
    enum class State { Hunt, Header, Body } state = State::Hunt;
    size_t held = 0;
    size_t expected = 0;
    uint32_t lastActivity = TickMs();
    com.receivedLength = 0;

    auto finish = [&](int result) {
        if (com.trace && held > 0) {
            size_t shown = result > 0 ? static_cast<size_t>(result) : held;
            com.trace(FrameTraceEvent{false, {buffer, std::min(shown, held)}, result});
        }
        return result;
    };

    if (!ComIsOpen(com)) return -1;
    if (buffer == nullptr || capacity == 0) return kRecvNoBuff;

    for (;;) {
        uint32_t mask = 0;
        if (!SerialLineErrors(com.handle, com.lineCounters, mask)) return finish(-1);
        int queued = SerialInQueue(com.handle);
        if (queued < 0) return finish(-1);
        com.status.errors = mask;
        com.status.inQueue = queued;
        com.lineErrors |= mask;

        if (queued == 0) {
            if (static_cast<uint32_t>(TickMs() - lastActivity) > com.replyTimeout)
                return finish(held > 0 ? kRecvTimeout : kRecvNothing);
            // Wait on the descriptor, at most 1 ms, so a reply is taken as it arrives.
            if (SerialWaitInput(com.handle, 1) < 0) return finish(-1);
            continue;
        }

        size_t room = capacity - held;
        long got = SerialRead(com.handle, buffer + held,
                              std::min(static_cast<size_t>(queued), room));
        if (got < 0) return finish(-1);
        held += static_cast<size_t>(got);
        lastActivity = TickMs();

        if (mask & kLineFatalMask) {
            SleepMs(1);
            held = 0;
            return finish(kRecvNothing);
        }

        if (state == State::Hunt) {
            uint8_t* stx = std::find(buffer, buffer + held, kStx);
            if (stx == buffer + held) {
                if (held <= 10) {
                    held = 0;
                    continue;
                }
                return finish(kRecvNoStx);
            }
            size_t skip = static_cast<size_t>(stx - buffer);
            if (skip > 0) std::memmove(buffer, stx, held - skip);
            held -= skip;
            lastActivity = TickMs();
            com.stxTime = lastActivity;
            state = State::Header;
        }

        if (state == State::Header) {
            if (held < 4) {
                if (held >= capacity) return finish(kRecvOverflow);
                continue;
            }
            if (buffer[2] == 0xFE) return finish(static_cast<int>(buffer[3]) - 256);
            expected = ExpectedPayload(com.expectedCommand, buffer[1]);
            // A frame that cannot fit would never complete: report it at once.
            if (expected + 6 > capacity) return finish(kRecvOverflow);
            state = State::Body;
        }

        if (held < expected + 6) continue;
        // Bytes beyond the announced frame are not part of it.
        size_t frameLength = expected + 6;
        com.receivedLength = static_cast<uint16_t>(frameLength);
        if (buffer[expected + 4] != kEtx) return finish(kRecvNoEtx);
        if (ComBcc(buffer + 1, expected + 3) != buffer[expected + 5]) return finish(kSumError);
        if (buffer[2] == 0xE0 || buffer[2] == 0xD0)
            return finish(static_cast<int16_t>(static_cast<uint16_t>(buffer[2] << 8 | buffer[3])));
        if (static_cast<uint16_t>(buffer[2] << 8 | buffer[3]) != com.expectedCommand)
            return finish(kRecvMissmatched);
        held = frameLength;
        return finish(static_cast<int>(frameLength));
    }
}

int ComTransact(KestCom& com, uint16_t command, const void* payload, int payloadBytes,
                void* reply, int replyCapacity) {
    if (!ComIsOpen(com)) return -1;
    if (payloadBytes < 0 || static_cast<size_t>(payloadBytes) > kMaxRequestPayload)
        return kRecvNoBuff;
    auto& sb = com.sendBuffer;
    const size_t words = (static_cast<size_t>(payloadBytes) + 1) / 2;
    sb[0] = kStx;
    sb[1] = static_cast<uint8_t>(words);
    sb[2] = static_cast<uint8_t>(command >> 8);
    sb[3] = static_cast<uint8_t>(command & 0xFF);
    if (payload != nullptr) {
        if (payloadBytes > 0) std::memcpy(sb.data() + 4, payload, static_cast<size_t>(payloadBytes));
        // An odd payload is sent as whole words; the extra byte is 0, never a byte
        // past the end of the caller's data.
        if (payloadBytes % 2 != 0) sb[4 + static_cast<size_t>(payloadBytes)] = 0;
    }
    sb[4 + 2 * words] = kEtx;
    sb[5 + 2 * words] = ComBcc(sb.data() + 1, 3 + 2 * words);
    const size_t length = 6 + 2 * words;
    com.sentLength = static_cast<uint16_t>(length);

    int result = 0;
    for (int attempt = 0; attempt < kTransactAttempts; ++attempt) {
        // Whatever is still queued (a late or overlong earlier reply) cannot be the
        // answer to this request.
        SerialPurge(com.handle, true, false);
        ComWrite(com, sb.data(), length);
        result = ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
        if (result > 0) break;
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
