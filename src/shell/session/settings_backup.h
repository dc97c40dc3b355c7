#pragma once
// Backups of the operator's settings, made before a workflow overwrites them
// in the sensor or in the image: the image as it stands, saved as a text
// parameter file with a time-stamped name in a backup folder.
#include <ctime>
#include <string>

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

}  // namespace kd
