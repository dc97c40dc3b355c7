#pragma once
// The dispatcher the communication worker hands its callbacks to: the closure
// is posted to the Qt event loop (run at once when called on its thread).
#include "common/dispatcher.h"

namespace kd {

Dispatcher QtDispatcher();

}  // namespace kd
