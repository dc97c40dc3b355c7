// The reply scanner of the receiver fed arbitrary bytes in arbitrary pieces,
// into a buffer of arbitrary size: it must never write past the buffer, never
// stall with a full buffer, and give only results the transaction knows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/comm_error.h"
#include "link/kest_com.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kd;
    if (size < 4) return 0;
    // header: capacity (1..2200), expected command, piece size
    const size_t capacity =
        1 + (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % 2200;
    const uint16_t expected =
        (data[2] & 0x80) ? kWideReadCommand : static_cast<uint16_t>(data[2] << 8 | data[2]);
    const size_t piece = 1 + data[3] % 97;
    data += 4;
    size -= 4;

    std::vector<uint8_t> buffer(capacity);  // exact size: the sanitizer sees any overrun
    ReplyScanner scanner(buffer.data(), capacity, expected);
    while (size > 0) {
        const size_t room = scanner.Room();
        if (room == 0) std::abort();  // a full buffer with a pending frame would never end
        const size_t n = std::min({piece, size, room});
        std::memcpy(scanner.WritePtr(), data, n);
        data += n;
        size -= n;
        bool stx = false;
        const int result = scanner.Accept(n, stx);
        if (result == ReplyScanner::kPending) continue;
        if (result > 0) {
            // a whole frame within the buffer, starting with STX
            if (static_cast<size_t>(result) > capacity || result < 6 || buffer[0] != kStx)
                std::abort();
        } else if (result < -32768) {
            std::abort();
        }
        try {
            RaiseCommResult(expected, result);
        } catch (const ECommError&) {
        }
        break;
    }
    return 0;
}
