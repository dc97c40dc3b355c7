#pragma once
// Runs a closure on the user-interface thread and returns when it has run.
// The desktop program posts it to the Qt event loop (blocking queued call);
// kdctl and the tests run it in place or on their own thread.
#include <functional>

namespace kd {

using Dispatcher = std::function<void(const std::function<void()>&)>;

// A dispatcher that runs the closure at once on the calling thread.
inline Dispatcher DirectDispatcher() {
    return [](const std::function<void()>& f) { f(); };
}

}  // namespace kd
