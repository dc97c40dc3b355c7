#pragma once
// Files from outside and files the program writes.
//
// Reading: only regular files are read. A name is opened without blocking
// (a FIFO, a device or a socket never stalls the program) and refused unless
// it is a regular file of at most the size its format allows.
//
// Writing is atomic: the new contents go into an unnamed file in the target's
// folder, which is flushed, given a hidden name and renamed over the target.
// A save that is killed leaves the target as it was (or already the new
// file); at worst a hidden ".NAME.kdsave-XXXXXX" file, which the next save of
// the same target removes. On failure an EKestError names the file and the
// reason.
#include <cstddef>
#include <string>
#include <string_view>

#include "common/kest_error.h"

namespace kd {

// A file larger than the reader accepts.
class EFileTooLarge : public EKestError {
  public:
    using EKestError::EKestError;
};

// Size limit of ReadFileAll when the caller names none.
constexpr size_t kDefaultReadLimit = size_t{16} << 20;

// Reads a whole regular file of at most maxBytes. Throws EKestError naming
// the file when it cannot be opened or read or is not a regular file, and
// EFileTooLarge when it is larger than maxBytes.
std::string ReadFileAll(const std::string& path, size_t maxBytes = kDefaultReadLimit);

void WriteFileAtomic(const std::string& path, std::string_view contents);

// Steps of a save, for tests that stop a writer at each of them.
// Created: a hidden name was made, before its lock (only where the folder
// has no unnamed files).
enum class TSaveStep { Opened, Wrote, Synced, Named, Replaced, Created };
// Called at every step (Wrote after each piece of at most 64 KiB); null: none.
using TSaveProbe = void (*)(TSaveStep step);
void SetSaveProbe(TSaveProbe probe);

// false: saves behave as on a file system without unnamed files (tests).
void SetUnnamedTempFiles(bool on);

// The hidden names a save of path uses for its new contents ("dir/.NAME.kdsave-").
std::string SaveTempPrefix(const std::string& path);

}  // namespace kd
