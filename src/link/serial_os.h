#pragma once
// The operating system's side of the serial port: POSIX descriptors, termios
// (Linux termios2 for arbitrary rates), exclusive open, purge, queue count and
// line-error counters. KestCom is written on top of these.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kd {

// Line-error mask bits, accumulated in KestCom::lineErrors.
constexpr uint32_t kLineRxOver = 0x01;   // receive buffer overrun
constexpr uint32_t kLineOverrun = 0x02;  // hardware overrun
constexpr uint32_t kLineParity = 0x04;   // parity error
constexpr uint32_t kLineFrame = 0x08;    // framing error
constexpr uint32_t kLineBreak = 0x10;    // break
// Errors that spoil the current receive attempt (a parity error alone does not).
constexpr uint32_t kLineFatalMask = 0x1B;

// Line-error counters of the last poll; the mask is built from their growth.
struct LineCounters {
    bool supported = true;  // false once the device has shown it has none
    bool primed = false;
    uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// Line-error mask from a new reading of the counters; the first reading only
// sets the baseline.
uint32_t LineErrorMask(LineCounters& counters, uint32_t frame, uint32_t overrun, uint32_t parity,
                       uint32_t brk, uint32_t bufOverrun);

// Result of the reads, writes and waits below when the device has gone
// (hang-up, EIO, ENXIO, ENODEV: a USB adapter pulled, the far end of a
// pseudo-terminal closed). Other failures are -1.
constexpr int kSerialGone = -2;

// Opens a device path for reading and writing, exclusively, without making it
// the controlling terminal. Returns the descriptor or -1; error (when given)
// receives the errno of the failure.
int SerialOpen(const std::string& path, int* error = nullptr);
// Why a port could not be opened, with the fix where there is one.
std::string SerialOpenError(int error);
void SerialClose(int fd);
// Raw 8-N-1 at the given rate; XON/XOFF off, hardware flow control as the port had it.
bool SerialConfigure(int fd, int baud);
// Reads the rate the port reports; 0 when it cannot be read.
int SerialReportedBaud(int fd);
bool SerialPurge(int fd, bool input, bool output);
// Bytes waiting in the input queue, or -1.
int SerialInQueue(int fd);
// Adds the line errors reported since the last call to mask; false if the poll failed.
bool SerialLineErrors(int fd, LineCounters& counters, uint32_t& mask);
// Waits up to timeoutMs for input. 1 input ready, 0 nothing, -1 failure,
// kSerialGone when the device has gone.
int SerialWaitInput(int fd, int timeoutMs);
// Writes all bytes, waiting for room at most timeoutMs in all. Bytes written,
// -1 or kSerialGone. A wait for room ends within 10 ms once cancel is set
// (the owner is shutting down): -1 then.
long SerialWrite(int fd, const uint8_t* data, size_t size, int timeoutMs,
                 const std::atomic<bool>* cancel = nullptr);
// Reads up to size bytes without waiting. Bytes read (0 if none), -1 or
// kSerialGone (also for the end of file a terminal reports after a hang-up).
long SerialRead(int fd, uint8_t* data, size_t size);

// "/..." is used as it stands; any other name is looked up under /dev/.
std::string SerialDevicePath(const std::string& name);

}  // namespace kd
