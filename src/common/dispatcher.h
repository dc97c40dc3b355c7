#pragma once
// Hands a closure to the user-interface thread. The desktop program posts it
// to the Qt event loop and returns at once; kdctl and the tests run it in
// place. The communication worker waits for the closure itself, so that it
// can give up waiting when the program ends and the user-interface thread
// will never run it: a dispatcher must copy the closure if it runs it later.
#include <functional>

namespace kd {

using Dispatcher = std::function<void(const std::function<void()>&)>;

// A dispatcher that runs the closure at once on the calling thread.
inline Dispatcher DirectDispatcher() {
    return [](const std::function<void()>& f) { f(); };
}

}  // namespace kd
