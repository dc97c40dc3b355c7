// The reply handling above the frame scanner, through a scripted port: a
// peer on a real pseudo-terminal answers each request with the next reply of
// the input, and one operation of the program reads what it is sent (block
// reads, live and master profiles, camera rectangle and picture sizes, the
// version, sampling period and status words of a connection and a polling
// tick). Whatever arrives, the program raises its errors and never reads or
// writes past a buffer (the sanitizers watch).
//
// Input: one operation byte, eight parameter bytes, then replies. A reply is
// a kind byte and its bytes: 0 raw bytes (length byte), 1 a frame of the
// request's command (length byte, payload), 2 a wide frame (two length
// bytes), 3 a frame with another command (two code bytes, no payload).
// Once the replies are used up, every request gets an empty frame.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "common/clock.h"
#include "common/dispatcher.h"
#include "common/kest_error.h"
#include "fuzz/fuzz_util.h"
#include "link/kest_thread.h"
#include "pty_peer.h"
#include "shell/session/kest_session.h"

using kdfuzz::Check;

namespace {

struct TScript {
    std::mutex mutex;
    std::vector<uint8_t> bytes;
    size_t at = 0;

    // The next reply to a request with the given command.
    kdtest::Bytes Next(uint16_t code) {
        std::lock_guard<std::mutex> g(mutex);
        auto take = [&](size_t n) {
            n = std::min(n, bytes.size() - at);
            kdtest::Bytes out(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            return out;
        };
        if (at >= bytes.size()) return kdtest::PtyPeer::Frame(code, {});
        const uint8_t kind = bytes[at++] & 3;
        const kdtest::Bytes len = take(kind == 2 || kind == 3 ? 2 : 1);
        size_t n = len.empty() ? 0 : len[0];
        if (len.size() == 2) n |= size_t{len[1]} << 8;
        switch (kind) {
            case 0:
                return take(n);
            case 1:
                return kdtest::PtyPeer::Frame(code, take(n & ~size_t{1}));
            case 2:
                return kdtest::PtyPeer::WideFrame(take(std::min<size_t>(n, 2028)));
            default:
                return kdtest::PtyPeer::Frame(static_cast<uint16_t>(n), {});
        }
    }
};

struct TRig {
    TScript script;
    kdtest::PtyPeer peer;
    kd::TKestThread thread{kd::DirectDispatcher()};
    TRig() {
        peer.SetHandler(
            [this](kdtest::PtyPeer& p, const kdtest::Request& r) { p.Send(script.Next(r.code)); });
        thread.PortName = peer.Path();
    }
    void Open() {
        if (!thread.IsOpen()) thread.Connect();
        thread.Port().replyTimeout = 3;  // junk costs milliseconds, not seconds
        thread.WideTransfers = false;
        thread.AbortRequested = false;
        thread.TimeLimit = 200;
        thread.ImageTimeLimit = thread.ImagePairTimeLimit = thread.LiveViewTimeLimit = 200;
    }
};

TRig& Rig() {
    static TRig* rig = new TRig();  // lives to the end of the run
    return *rig;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    TRig& rig = Rig();
    const uint8_t op = data[0];
    const uint8_t* arg = data + 1;
    {
        std::lock_guard<std::mutex> g(rig.script.mutex);
        rig.script.bytes.assign(data + 9, data + size);
        rig.script.at = 0;
    }
    rig.peer.ResetCounters();
    rig.Open();
    kd::TKestThread& t = rig.thread;
    t.WideTransfers = (op & 0x80) != 0;
    try {
        switch (op % 7) {
            case 0: {  // block reads of any mode and length
                static const uint16_t kModes[] = {kd::kModeWords, kd::kModeWrite, 0x0121, 0x0131,
                                                  0x0141,         0x01F1,         0x0011, 0x0000};
                const uint16_t mode = kModes[arg[4] & 7];
                const int elem = kd::ModeElementWords(mode);
                const int words = std::max(1, (arg[5] | (arg[6] & 0x0F) << 8) / elem) * elem;
                std::vector<uint16_t> buffer(static_cast<size_t>(words));
                t.MemRead(buffer.data(), Be32(arg), mode, words);
                break;
            }
            case 1: {  // live or stored profile into a buffer of any size
                std::vector<uint16_t> buffer(1 + (arg[4] | arg[5] << 8) % 4096);
                const int n = t.FetchProfile(Be32(arg), buffer, 1 + arg[6] % 15);
                Check(n >= 0 && 2 * static_cast<size_t>(n) + 2 <= buffer.size());
                break;
            }
            case 2: {  // master record
                std::vector<uint16_t> buffer(1 + (arg[4] | arg[5] << 8) % 4096);
                const int n = t.FetchMasterProfile(Be32(arg), buffer);
                Check(n >= 0 && 2 * static_cast<size_t>(n) + 4 <= buffer.size());
                break;
            }
            case 3: {  // camera rectangle, then a picture of a size from the input
                const kd::CamRect r = t.GetCamRect();
                (void)r;
                std::atomic<bool> done{false};
                // mostly small pictures, now and then the whole range and beyond
                const int range = (arg[7] & 1) ? 5000 : 300;
                const int height = (arg[0] | arg[1] << 8) % range - 100;
                const int width = (arg[2] | arg[3] << 8) % range - 100;
                try {
                    t.RequestImage(height, width, [&] { done = true; });
                } catch (const kd::EKestError&) {
                    break;  // a size the worker refuses
                }
                for (int i = 0; i < 2000 && t.Task != kd::kTaskIdle; ++i) kd::SleepMs(1);
                Check(t.Task == kd::kTaskIdle);
                if (done) Check(t.Image.width == width && t.Image.height == height);
                break;
            }
            case 4:
            case 5: {  // a connection and polling ticks, for a version from the input
                kd::TKestParam image;
                kd::TMasterStore masters;
                image.Masters = &masters;
                kd::TShellState state;
                state.CurrentPage = kd::kPageMeasure;
                kd::TLiveValues live;
                kd::THeadlessHost host;
                kd::TKestSession session({t, image, masters, state, live, host});
                if (op % 7 == 4) {
                    if (session.TryConnect()) Check(host.SyncOn);
                } else {
                    state.SensorVersion = {static_cast<uint16_t>(arg[0]),
                                           static_cast<uint16_t>(arg[1]),
                                           static_cast<uint16_t>(arg[2])};
                    state.LinkState = 2;
                    state.CurrentBank = arg[3] & 7;
                    for (int i = 0; i < 1 + (arg[4] & 3); ++i) session.Tick();
                    Check(state.CurrentBank >= 0 && state.CurrentBank < 8);
                }
                break;
            }
            default: {  // any catalogue command and its reply
                const auto catalogue = kd::CommandCatalogue();
                const kd::CatalogueEntry& c = catalogue[arg[0] % catalogue.size()];
                std::vector<uint8_t> payload(arg + 1, arg + 1 + (arg[7] & 7) * 2 % 8);
                const std::vector<uint8_t> reply = t.CommandReply(c.code, payload);
                Check(reply.size() <= kd::kReceiveBufferSize);
                break;
            }
        }
    } catch (const kd::EKestError&) {
        // refused replies end the operation with the program's own errors
    }
    return 0;
}
