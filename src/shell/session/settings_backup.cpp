#include "shell/session/settings_backup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

std::string DefaultBackupDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/KDTrelva/backup";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::string(home) + "/.local/share/KDTrelva/backup";
    throw EKestError("no folder for backups: neither XDG_DATA_HOME nor HOME is set");
}

std::string BackupFileName(const std::string& reason, const std::tm& local) {
    std::string safe;
    for (char c : reason) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        safe += ok ? c : '_';
    }
    if (safe.empty()) safe = "backup";
    return safe + Format("_%04d%02d%02d_%02d%02d%02d.kd", local.tm_year + 1900, local.tm_mon + 1,
                         local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

std::string WriteSettingsBackup(const TKestParam& image, const std::string& dir,
                                const std::string& reason) {
    namespace fs = std::filesystem;
    if (dir.empty()) throw EKestError("backup: no backup folder given");
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        throw EKestError("backup: cannot create the folder '" + dir + "': " + ec.message());

    std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    const std::string name = BackupFileName(reason, now);
    const std::string stem = name.substr(0, name.size() - 3);
    std::string path = dir + "/" + name;
    // Two backups within one second keep both.
    for (int n = 2; fs::exists(path, ec); ++n) {
        if (n > 999) throw EKestError("backup: no free file name in '" + dir + "'");
        path = dir + "/" + stem + "-" + std::to_string(n) + ".kd";
    }
    try {
        image.WriteTextFile(path);
    } catch (const EKestError& e) {
        throw EKestError(std::string("backup not written, nothing was changed: ") + e.what());
    }
    WriteLog(kLogAction, "backup of the sensor settings: '%s'", path.c_str());
    return path;
}

}  // namespace kd
