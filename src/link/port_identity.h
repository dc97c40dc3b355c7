#pragma once
// Which device a serial port is, so that a port that went away (a USB adapter
// pulled) can be found again when it comes back: under its old path, or as
// the same USB serial adapter (its serial number) under another name.
#include <string>

namespace kd {

// Where the devices and the kernel's device tree are; tests point them elsewhere.
struct TDeviceRoots {
    std::string Dev = "/dev";
    std::string Sys = "/sys";
};

struct TPortIdentity {
    std::string Path;       // the path that was opened
    std::string UsbSerial;  // serial number of the USB device behind it; empty if none
};

// The identity of the port at path (symbolic links followed for the name).
TPortIdentity IdentifyPort(const std::string& path, const TDeviceRoots& roots = {});
// The serial number of the USB device behind the terminal device `name`
// (ttyUSB0, ttyACM1), read from the device tree; empty when it has none.
std::string UsbSerialOf(const std::string& name, const TDeviceRoots& roots = {});
// The path under which the port is there again: its own path when that
// exists, else a terminal device with the same USB serial number. Empty when
// it is not back.
std::string FindReturnedPort(const TPortIdentity& port, const TDeviceRoots& roots = {});

}  // namespace kd
