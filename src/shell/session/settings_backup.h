#pragma once
// Backups of the operator's settings, made before a workflow overwrites them
// in the sensor or in the image: the image as it stands, saved as a text
// parameter file with a time-stamped name in a backup folder.
#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "params/kest_param.h"

namespace kd {

// The default backup folder: $XDG_DATA_HOME/KDTrelva/backup, else
// $HOME/.local/share/KDTrelva/backup. Throws EKestError when neither is set.
std::string DefaultBackupDir();

// The file name of a backup taken at the given local time for a reason
// ("bankcopy", "open", ...): "<reason>_yyyymmdd_hhnnss.kd". Characters of the
// reason other than letters, digits, '-' and '_' become '_'.
std::string BackupFileName(const std::string& reason, const std::tm& local);

// Writes the image as a text parameter file into dir (created when missing)
// and returns the file's path; logs "backup of the sensor settings: '%s'".
// A name already taken gets "-2", "-3"... before the extension. Throws
// EKestError naming the folder or file when it cannot be written.
std::string WriteSettingsBackup(const TKestParam& image, const std::string& dir,
                                const std::string& reason);

// The newest set of a history folder as KeepReceivedSet last saw it, so that
// the next receive compares in memory instead of reading that file again
// (while neither the folder nor the file has changed since).
struct TKeptSet {
    std::string Dir, Path;
    std::filesystem::file_time_type DirTime{}, FileTime{};
    uintmax_t Size = 0;
    std::array<uint8_t, kImageBytes> Image{};
    TMasterStore Masters;
};

// The history of what the sensor held: after every receive-all its settings
// are kept as "received_<time>.kd" in dir, unless they equal the newest one
// kept; only the newest `keep` such files stay. Returns the path written, or
// "" when the set was already the newest one. known (may be null) carries
// the newest set from one call to the next.
constexpr int kReceivedKeep = 200;
std::string KeepReceivedSet(const TKestParam& image, const std::string& dir,
                            int keep = kReceivedKeep, TKeptSet* known = nullptr);

// A backup file as the backup list shows it.
struct TBackupEntry {
    std::string Path;
    std::string Reason;    // the name's first part: "received", "open", "apply", ...
    std::string DateTime;  // of the file's "#datetime" line
    std::string Version;   // of its "#ver" line ("" when none)
};
// The backups in dir, newest first (files that are not parameter files are left out).
std::vector<TBackupEntry> ListBackups(const std::string& dir);

}  // namespace kd
