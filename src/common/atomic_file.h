#pragma once
// Writes a whole file atomically: a temporary file in the same folder is
// written, flushed and renamed over the target. On failure the target is left
// as it was and an EKestError names the file and the reason.
#include <string>
#include <string_view>

namespace kd {

void WriteFileAtomic(const std::string& path, std::string_view contents);
// Reads a whole file; throws EKestError naming the file when it cannot.
std::string ReadFileAll(const std::string& path);

}  // namespace kd
