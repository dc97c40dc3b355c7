#include "link/port_identity.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace kd {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

bool IsCharDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

std::string UsbSerialOf(const std::string& name, const TDeviceRoots& roots) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path(roots.Sys) / "class" / "tty" / name / "device", ec);
    if (ec) return {};
    // Up from the interface to the USB device, which carries idVendor and serial.
    const fs::path top = fs::path(roots.Sys);
    for (int depth = 0; depth < 8 && !dir.empty() && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "serial", ec))
            return FirstLine(dir / "serial");
        if (dir == top) break;
        dir = dir.parent_path();
    }
    return {};
}

TPortIdentity IdentifyPort(const std::string& path, const TDeviceRoots& roots) {
    TPortIdentity id;
    id.Path = path;
    id.UsbSerial = UsbSerialOf(fs::path(path).filename().string(), roots);
    if (id.UsbSerial.empty()) {
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);  // /dev/serial/by-id/... -> ttyUSB0
        if (!ec) id.UsbSerial = UsbSerialOf(real.filename().string(), roots);
    }
    return id;
}

std::string FindReturnedPort(const TPortIdentity& port, const TDeviceRoots& roots) {
    if (!port.Path.empty() && IsCharDevice(port.Path)) return port.Path;
    if (port.UsbSerial.empty()) return {};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.Sys) / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (UsbSerialOf(name, roots) != port.UsbSerial) continue;
        const std::string dev = (fs::path(roots.Dev) / name).string();
        if (IsCharDevice(dev)) return dev;
    }
    return {};
}

}  // namespace kd
