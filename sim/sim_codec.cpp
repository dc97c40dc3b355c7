#include "sim/sim_codec.h"

#include <algorithm>
#include <stdexcept>

namespace kdsim {

uint8_t Bcc(std::span<const uint8_t> bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    return x;
}

namespace {

std::vector<uint8_t> Frame(uint8_t lengthByte, uint16_t command, std::span<const uint8_t> payload) {
    std::vector<uint8_t> f;
    f.reserve(payload.size() + 6);
    f.push_back(kStx);
    f.push_back(lengthByte);
    f.push_back(static_cast<uint8_t>(command >> 8));
    f.push_back(static_cast<uint8_t>(command & 0xFF));
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(kEtx);
    f.push_back(Bcc(std::span<const uint8_t>(f).subspan(1, payload.size() + 3)));
    return f;
}

}  // namespace

std::vector<uint8_t> BuildReply(uint16_t command, std::span<const uint8_t> payload) {
    if (payload.size() % 2 != 0 || payload.size() > kMaxPayloadBytes) {
        throw std::invalid_argument("reply payload of " + std::to_string(payload.size()) +
                                    " bytes does not fit a frame");
    }
    return Frame(static_cast<uint8_t>(payload.size() / 2), command, payload);
}

std::vector<uint8_t> BuildWideReply(uint16_t command, std::span<const uint8_t> payload) {
    if (payload.empty()) return Frame(0, command, payload);
    if ((payload.size() + 12) % 8 != 0 || payload.size() > kMaxWidePayloadBytes) {
        throw std::invalid_argument("wide reply payload of " + std::to_string(payload.size()) +
                                    " bytes does not fit a frame");
    }
    return Frame(static_cast<uint8_t>((payload.size() + 12) / 8), command, payload);
}

std::vector<uint8_t> BuildErrorReply(uint16_t code) {
    return Frame(0, code, {});
}

void RequestScanner::Feed(std::span<const uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool RequestScanner::Next(ScanEvent& event) {
    if (buffer_.empty()) return false;
    event = ScanEvent{};
    if (buffer_[0] != kStx) {
        // Everything up to the next STX is junk.
        auto it = std::find(buffer_.begin(), buffer_.end(), kStx);
        event.kind = ScanEvent::Kind::Junk;
        event.raw.assign(buffer_.begin(), it);
        buffer_.erase(buffer_.begin(), it);
        return true;
    }
    if (buffer_.size() < 4) return false;
    const size_t payloadBytes = size_t{buffer_[1]} * 2;
    const size_t frameBytes = payloadBytes + 6;
    if (buffer_.size() < frameBytes) return false;
    event.command = static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]);
    if (buffer_[4 + payloadBytes] != kEtx) {
        // Not a frame: drop the STX alone and hunt again from the next byte.
        event.kind = ScanEvent::Kind::BadFrame;
        event.raw.assign(buffer_.begin(), buffer_.begin() + 1);
        buffer_.erase(buffer_.begin());
        return true;
    }
    event.raw.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(frameBytes));
    const uint8_t bcc = Bcc(std::span<const uint8_t>(event.raw).subspan(1, payloadBytes + 3));
    if (bcc != event.raw[5 + payloadBytes]) {
        event.kind = ScanEvent::Kind::BadBcc;
    } else {
        event.kind = ScanEvent::Kind::Request;
        event.payload.assign(event.raw.begin() + 4,
                             event.raw.begin() + 4 + static_cast<std::ptrdiff_t>(payloadBytes));
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(frameBytes));
    return true;
}

bool RequestScanner::FlushPartial(ScanEvent& event) {
    if (buffer_.empty()) return false;
    event = ScanEvent{};
    event.kind = ScanEvent::Kind::Junk;
    event.raw = std::move(buffer_);
    buffer_.clear();
    return true;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) s.push_back(' ');
        s.push_back(kDigits[bytes[i] >> 4]);
        s.push_back(kDigits[bytes[i] & 0xF]);
    }
    return s;
}

}  // namespace kdsim
