#pragma once
// The dispatcher the communication worker hands its callbacks to: the closure
// runs on the user-interface thread and the caller waits until it has run.
#include "common/dispatcher.h"

namespace kd {

Dispatcher QtDispatcher();

}  // namespace kd
