#include "common/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/log.h"

namespace kd {

namespace {

std::atomic<TSaveProbe> saveProbe{nullptr};

void Probe(TSaveStep step) {
    if (TSaveProbe p = saveProbe.load()) p(step);
}

constexpr const char* kTempMark = ".kdsave-";
constexpr size_t kTempSuffix = 6;
constexpr size_t kWritePiece = 64 * 1024;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor when it goes out of scope.
class TFd {
  public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& path, int err) {
    throw EKestError("cannot write '" + path + "': " + std::strerror(err));
}

std::string RandomSuffix() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string s(kTempSuffix, 'x');
    for (char& c : s) c = kChars[pick(rng)];
    return s;
}

// Removes the hidden files that killed saves of the same target left. A file
// still locked belongs to a save that is running and is kept.
void RemoveStaleTemps(const std::string& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    const int dfd = ::dirfd(d);
    while (dirent* e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (name.size() != prefix.size() + kTempSuffix || name.substr(0, prefix.size()) != prefix)
            continue;
        TFd fd(::openat(dfd, e->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        ::unlinkat(dfd, e->d_name, 0);
    }
    ::closedir(d);
}

}  // namespace

void SetSaveProbe(TSaveProbe probe) {
    saveProbe = probe;
}

std::string SaveTempPrefix(const std::string& path) {
    return FolderOf(path) + "/." + BaseOf(path) + kTempMark;
}

std::string ReadFileAll(const std::string& path, size_t maxBytes) {
    auto refuse = [&](const std::string& why) -> EKestError {
        return EKestError("cannot read '" + path + "': " + why);
    };
    // Look before opening: a device or a FIFO is not even opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw refuse(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw refuse("is a folder");
    if (!S_ISREG(st.st_mode)) throw refuse("not a regular file");
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) throw refuse(std::strerror(errno));
    // The name may have been replaced meanwhile: judge what was opened.
    if (::fstat(fd.Get(), &st) != 0) throw refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw refuse("not a regular file");
    auto tooLarge = [&] {
        return EFileTooLarge("cannot read '" + path + "': larger than " + std::to_string(maxBytes) +
                             " bytes");
    };
    if (static_cast<uint64_t>(st.st_size) > maxBytes) throw tooLarge();
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw refuse(std::strerror(errno));
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > maxBytes) throw tooLarge();  // it grew while being read
    }
    return data;
}

namespace {
bool unnamedTemps = true;

// True while name still is the file open on fd (a clean-up of another save
// may have removed it before this save held its lock).
bool NameIsFile(const std::string& name, int fd) {
    struct stat byName {};
    struct stat byFd {};
    return ::stat(name.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}
}  // namespace

void SetUnnamedTempFiles(bool on) {
    unnamedTemps = on;
}

void WriteFileAtomic(const std::string& path, std::string_view contents) {
    const std::string folder = FolderOf(path);
    const std::string prefix = "." + BaseOf(path) + kTempMark;
    RemoveStaleTemps(folder, prefix);

    // Made as an ordinary create would make it (rw for all, less the umask);
    // a file being replaced lends its permissions, so its new contents are
    // never more open than the old ones were, even while being written.
    struct stat target {};
    const bool replacing = ::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode);
    const mode_t createMode = replacing ? (target.st_mode & 0666) : 0666;

    // An unnamed file first: nothing can be left behind while it is written.
    // Where the file system has no unnamed files, a hidden name from the start.
    std::string hidden;
    TFd fd(unnamedTemps ? ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode)
                        : -1);
    if (fd.Get() < 0) {
        const int err = unnamedTemps ? errno : EOPNOTSUPP;
        if (err == ENOENT || err == ENOTDIR || err == EACCES || err == EPERM || err == EROFS)
            Fail(path, err);
        for (int tries = 0; fd.Get() < 0; ++tries) {
            if (tries > 100) Fail(path, EEXIST);
            hidden = folder + "/" + prefix + RandomSuffix();
            fd.Reset(::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode));
            if (fd.Get() < 0) {
                if (errno != EEXIST) Fail(path, errno);
                continue;
            }
            Probe(TSaveStep::Created);
            // The lock tells RemoveStaleTemps of other saves that this one is
            // alive; one of them may have removed the name just before it.
            ::flock(fd.Get(), LOCK_EX);
            if (!NameIsFile(hidden, fd.Get())) fd.Reset(-1);
        }
    } else {
        ::flock(fd.Get(), LOCK_EX);
    }
    auto fail = [&](int err) {
        if (!hidden.empty()) ::unlink(hidden.c_str());
        Fail(path, err);
    };
    Probe(TSaveStep::Opened);
    size_t done = 0;
    while (done < contents.size()) {
        const size_t piece = std::min(kWritePiece, contents.size() - done);
        const ssize_t n = ::write(fd.Get(), contents.data() + done, piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
        Probe(TSaveStep::Wrote);
    }
    // The replaced file's mode exactly (bits the umask would take included).
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && S_ISREG(now.st_mode))
        ::fchmod(fd.Get(), now.st_mode & 07777);
    if (::fsync(fd.Get()) != 0) fail(errno);
    Probe(TSaveStep::Synced);
    if (hidden.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
        for (int tries = 0;; ++tries) {
            std::string name = folder + "/" + prefix + RandomSuffix();
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                (errno == ENOENT &&
                 ::linkat(fd.Get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)) {
                hidden = std::move(name);
                break;
            }
            if (errno != EEXIST || tries > 100) fail(errno);
        }
    }
    Probe(TSaveStep::Named);
    if (::rename(hidden.c_str(), path.c_str()) != 0) fail(errno);
    Probe(TSaveStep::Replaced);
    // The data were synced and the file stands under its name: the save
    // succeeded whatever closing says.
    if (::close(fd.Release()) != 0 && errno != EINTR)
        WriteLog(kLogError, "'%s' saved; closing it reported: %s", path.c_str(),
                 std::strerror(errno));
    // The new name itself reaches the disk with the folder.
    TFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) ::fsync(dirFd.Get());
}

}  // namespace kd
