#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/kest_error.h"

namespace kd {

void WriteFileAtomic(const std::string& path, std::string_view contents) {
    std::string tmpl = path + ".XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0)
        throw EKestError("cannot write '" + path + "': " + std::strerror(errno));
    auto fail = [&](int err) {
        close(fd);
        unlink(tmpl.c_str());
        throw EKestError("cannot write '" + path + "': " + std::strerror(err));
    };
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) fail(errno);
    // keep the mode of the file being replaced; a new file gets rw-r--r--
    struct stat st {};
    fchmod(fd, stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    if (close(fd) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw EKestError("cannot write '" + path + "': " + std::strerror(err));
    }
    if (rename(tmpl.c_str(), path.c_str()) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw EKestError("cannot write '" + path + "': " + std::strerror(err));
    }
}

std::string ReadFileAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EKestError("cannot read '" + path + "': " + std::strerror(errno));
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw EKestError("cannot read '" + path + "'");
    return ss.str();
}

}  // namespace kd
