// Kept apart from <termios.h>: the Linux termios2 interface (any baud rate
// through BOTHER) comes from <asm/termbits.h>, which clashes with it.
#include "link/serial_os.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace kd {

namespace {

bool Gone(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

}  // namespace

int SerialOpen(const std::string& path, int* error) {
    auto fail = [error](int err) {
        if (error) *error = err;
        return -1;
    };
    if (path.empty()) return fail(ENOENT);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    // Not shared: TIOCEXCL keeps other openers out (except the superuser), the
    // advisory lock also keeps out a second copy of this program run as root.
    int err = 0;
    if (::isatty(fd) != 1)
        err = ENOTTY;
    else if (::ioctl(fd, TIOCEXCL) != 0)
        err = errno;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    if (err != 0) {
        ::close(fd);
        return fail(err);
    }
    return fd;
}

std::string SerialOpenError(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "permission denied: add your user to the dialout group";
        case EBUSY:
            return "the port is busy: another program is using it";
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return "no such port";
        case ENOTTY:
            return "not a serial port";
        default:
            return std::strerror(error);
    }
}

void SerialClose(int fd) {
    if (fd < 0) return;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool SerialConfigure(int fd, int baud) {
    if (fd < 0 || baud <= 0) return false;
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CS8 | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

int SerialReportedBaud(int fd) {
    struct termios2 tio {};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return static_cast<int>(tio.c_ospeed);
}

bool SerialPurge(int fd, bool input, bool output) {
    if (fd < 0) return false;
    int what = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ::ioctl(fd, TCFLSH, what) == 0;
}

int SerialInQueue(int fd) {
    int n = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &n) != 0 || n < 0) return -1;
    return n;
}

uint32_t LineErrorMask(LineCounters& c, uint32_t frame, uint32_t overrun, uint32_t parity,
                       uint32_t brk, uint32_t bufOverrun) {
    auto grew = [](uint32_t now, uint32_t& last) {
        const bool g = now != last;
        last = now;
        return g;
    };
    const bool primed = c.primed;
    c.primed = true;
    uint32_t m = 0;
    if (grew(bufOverrun, c.bufOverrun)) m |= kLineRxOver;
    if (grew(overrun, c.overrun)) m |= kLineOverrun;
    if (grew(parity, c.parity)) m |= kLineParity;
    if (grew(frame, c.frame)) m |= kLineFrame;
    if (grew(brk, c.brk)) m |= kLineBreak;
    return primed ? m : 0;
}

bool SerialLineErrors(int fd, LineCounters& c, uint32_t& mask) {
    if (fd < 0) return false;
    if (!c.supported) return true;
    struct serial_icounter_struct ic {};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0) {
        // Pseudo-terminals and some adapters keep no counters: no line errors then.
        c.supported = false;
        return true;
    }
    mask |= LineErrorMask(c, static_cast<uint32_t>(ic.frame), static_cast<uint32_t>(ic.overrun),
                          static_cast<uint32_t>(ic.parity), static_cast<uint32_t>(ic.brk),
                          static_cast<uint32_t>(ic.buf_overrun));
    return true;
}

int SerialWaitInput(int fd, int timeoutMs) {
    if (fd < 0) return -1;
    struct pollfd p {
        fd, POLLIN, 0
    };
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if (p.revents & POLLIN) return 1;
    return kSerialGone;  // hang-up or error without data: the device has gone
}

long SerialWrite(int fd, const uint8_t* data, size_t size, int timeoutMs,
                 const std::atomic<bool>* cancel) {
    if (fd < 0) return -1;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && Gone(errno)) return kSerialGone;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (cancel && cancel->load()) return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return -1;
        struct pollfd p {
            fd, POLLOUT, 0
        };
        // In slices, so that a shutdown is heard while the port stays full.
        const int slice = static_cast<int>(std::min<long long>(left.count(), 10));
        if (::poll(&p, 1, slice) < 0 && errno != EINTR) return -1;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return kSerialGone;
    }
    return static_cast<long>(done);
}

long SerialRead(int fd, uint8_t* data, size_t size) {
    if (fd < 0) return -1;
    if (size == 0) return 0;
    for (;;) {
        ssize_t n = ::read(fd, data, size);
        if (n > 0) return n;
        if (n == 0) return kSerialGone;  // a terminal reads end of file only after a hang-up
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return Gone(errno) ? kSerialGone : -1;
    }
}

std::string SerialDevicePath(const std::string& name) {
    if (name.empty()) return {};
    if (name[0] == '/') return name;
    return "/dev/" + name;
}

}  // namespace kd
