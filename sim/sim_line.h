#pragma once
// The line settings of the pseudo-terminal, apart from <termios.h>: the rate
// interface that takes any number clashes with it.
#include <cstdint>

namespace kdsim {

// The rate the program side set on the line, read through the master side;
// 0 when it cannot be read.
uint32_t PortRate(int masterFd);

}  // namespace kdsim
