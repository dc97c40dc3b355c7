#pragma once
// Helpers shared by the link tests.
#include <chrono>
#include <functional>
#include <thread>

#include "link/kest_com.h"
#include "pty_peer.h"
#include "tests/support/test_timeouts.h"

namespace kdtest {

// Waits (bounded) until pred holds; returns whether it did.
inline bool WaitFor(const std::function<bool()>& pred, int limitMs = 3000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Replies with an empty payload to every request.
inline void EchoEmpty(PtyPeer& peer, const Request& req) {
    peer.Send(PtyPeer::Frame(req.code, {}));
}

}  // namespace kdtest
