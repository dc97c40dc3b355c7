// Any byte stream from the PC: the simulated sensor's scanner finds the
// frames, the model answers each, and every answer is one well-formed frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sim/sim_codec.h"
#include "sim/sim_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kdsim::SensorModel model(kdsim::ModelConfig{});
    kdsim::RequestScanner scanner;
    scanner.Feed(std::span<const uint8_t>(data, size));
    kdsim::ScanEvent ev;
    uint64_t t = 0;
    while (scanner.Next(ev)) {
        if (ev.kind != kdsim::ScanEvent::Kind::Request) continue;
        t += 1000;
        const auto reply = model.Handle(ev.command, ev.payload, t);
        if (reply.size() < 6 || reply[0] != kdsim::kStx || reply[reply.size() - 2] != kdsim::kEtx) {
            std::abort();
        }
        const bool wide = ev.command == kdsim::kCmdMemReadWide && reply[2] != 0xE0;
        const size_t len = reply[1];
        const size_t payload = wide ? (len ? 8 * len - 12 : 0) : 2 * len;
        if (reply.size() != payload + 6) std::abort();
        if (kdsim::Bcc(std::span<const uint8_t>(reply).subspan(1, payload + 3)) != reply.back()) {
            std::abort();
        }
    }
    scanner.FlushPartial(ev);
    return 0;
}
