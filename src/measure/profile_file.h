#pragma once
// The "#KEST profile" text file: a header line, then one "x,z" line per point
// (micrometres; an empty field for a missing coordinate), lines ending CR LF.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "measure/profile_data.h"

namespace kd {

constexpr int kProfileFileMaxLines = 2048;  // header included
// A profile file is refused when larger than this.
constexpr size_t kMaxProfileFileBytes = size_t{1} << 20;

// The file text for the given points.
std::string ProfileFileText(std::span<const ProfilePoint> points);

// Reads a profile file's text into `buffer` from its first entry on and
// returns the number of points read. Only the first 2048 lines are looked at.
// A data line that does not give exactly two fields throws EKestError
// "not profile file" and leaves the buffer untouched. A field
// that is not a decimal integer in -32768..32767 reads as kMissing.
int ReadProfileText(std::string_view text, std::span<ProfilePoint> buffer);

// Splits one line as comma text: fields end at a comma, unquoted fields also
// at a blank or control character, leading blanks are skipped, a field may be
// quoted ("" inside stands for one quote), a comma at the end adds an empty
// field.
std::vector<std::string> SplitCommaText(std::string_view line);

// Splits text into lines at CR LF, LF or CR; a last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// Frame-level file operations: write atomically and log "save profile '%s'";
// read, log "load profile '%s'". Errors throw EKestError.
void SaveProfileFile(const std::string& path, std::span<const ProfilePoint> points);
int LoadProfileFile(const std::string& path, std::span<ProfilePoint> buffer);

// The measurement page's profile text file: "%8.3f, %8.3f" in millimetres
// for the points from index 1 up to count - 1 (see the page for the range).
std::string MeasureProfileText(std::span<const ProfilePoint> points);

}  // namespace kd
