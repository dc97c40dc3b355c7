#include "shell/session/settings_backup.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "params/param_files.h"

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

namespace {

namespace fs = std::filesystem;

// Backup files of dir whose names start with prefix, oldest first.
std::vector<fs::path> BackupFiles(const std::string& dir, const std::string& prefix) {
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec) || name.rfind(prefix, 0) != 0) continue;
        if (name.size() < 3 || name.compare(name.size() - 3, 3, ".kd") != 0) continue;
        files.emplace_back(fs::last_write_time(it->path(), ec), it->path());
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        const std::string na = a.second.filename().string(), nb = b.second.filename().string();
        if (na.size() != nb.size()) return na.size() < nb.size();
        return na < nb;
    });
    std::vector<fs::path> out;
    for (auto& f : files) out.push_back(f.second);
    return out;
}

// True when bytes and masters hold the same Sys block, banks and masters as image.
bool SameSet(const TKestParam& image, const std::array<uint8_t, kImageBytes>& bytes,
             const TMasterStore& masters) {
    if (!std::equal(image.Image.begin() + 2 * kSysWord, image.Image.end(),
                    bytes.begin() + 2 * kSysWord))
        return false;
    if (!image.Masters) return true;
    for (int n = 0; n < kBankCount; ++n) {
        const int count = std::max(0, image.Masters->MasterCount[n]);
        if (count != std::max(0, masters.MasterCount[n])) return false;
        if (count > 0 && !std::equal(image.Masters->MasterWords[n].begin(),
                                     image.Masters->MasterWords[n].begin() + 4 + 2 * count,
                                     masters.MasterWords[n].begin()))
            return false;
    }
    return true;
}

// Reads a kept set into seen; false when it cannot be read whole.
bool ReadSet(const fs::path& file, TKeptSet& seen) {
    try {
        TKestParam other;
        other.Masters = &seen.Masters;
        other.ReadTextFile(file.string());
        seen.Image = other.Image;
        return other.MissingBlocks == 0;
    } catch (const std::exception&) {
        return false;
    }
}

// Notes what is now the newest set of dir.
void Remember(TKeptSet& known, const std::string& dir, const fs::path& file) {
    std::error_code ec;
    known.Dir = dir;
    known.Path = file.string();
    known.DirTime = fs::last_write_time(dir, ec);
    known.FileTime = fs::last_write_time(file, ec);
    known.Size = fs::file_size(file, ec);
    if (ec) known.Dir.clear();
}

// Whether the newest set of dir is still the one known holds.
bool StillNewest(const TKeptSet& known, const std::string& dir) {
    if (known.Dir.empty() || known.Dir != dir) return false;
    std::error_code ec;
    return fs::last_write_time(dir, ec) == known.DirTime && !ec &&
           fs::last_write_time(known.Path, ec) == known.FileTime && !ec &&
           fs::file_size(known.Path, ec) == known.Size && !ec;
}

}  // namespace

std::string KeepReceivedSet(const TKestParam& image, const std::string& dir, int keep,
                            TKeptSet* known) {
    const std::string prefix = "received_";
    auto seen = std::make_unique<TKeptSet>();
    TKeptSet& newest = known ? *known : *seen;
    if (!known || !StillNewest(*known, dir)) {
        newest.Dir.clear();
        const std::vector<fs::path> files = BackupFiles(dir, prefix);
        if (!files.empty() && ReadSet(files.back(), newest)) Remember(newest, dir, files.back());
    }
    if (!newest.Dir.empty() && SameSet(image, newest.Image, newest.Masters)) return "";
    std::string path = WriteSettingsBackup(image, dir, "received");
    const std::vector<fs::path> files = BackupFiles(dir, prefix);
    std::error_code ec;
    for (size_t i = 0; i + static_cast<size_t>(std::max(keep, 1)) < files.size(); ++i)
        fs::remove(files[i], ec);
    if (known) {
        known->Image = image.Image;
        if (image.Masters) known->Masters = *image.Masters;
        Remember(*known, dir, path);
    }
    return path;
}

std::vector<TBackupEntry> ListBackups(const std::string& dir) {
    std::vector<TBackupEntry> out;
    std::vector<fs::path> files = BackupFiles(dir, "");
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        TBackupEntry e;
        e.Path = it->string();
        const std::string name = it->filename().string();
        e.Reason = name.substr(0, name.find('_'));
        std::error_code ec;
        if (fs::file_size(*it, ec) > kMaxParamFileBytes || ec) continue;
        std::string text;
        try {
            text = ReadFileAll(e.Path);
        } catch (const std::exception&) {
            continue;
        }
        if (text.find("sensor parameters file FMT1") == std::string::npos) continue;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(pos, end - pos);
            if (line.rfind("#ver", 0) == 0) e.Version = line.substr(4);
            if (line.rfind("#datetime ", 0) == 0) e.DateTime = line.substr(10);
            if (!line.empty() && line[0] == '[') break;
            pos = end + 1;
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace kd
