#include "sim/sim_line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kdsim {

uint32_t PortRate(int masterFd) {
    // On a pseudo-terminal the master side reports the terminal side's settings.
    struct termios2 tio {};
    if (masterFd < 0 || ioctl(masterFd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

}  // namespace kdsim
