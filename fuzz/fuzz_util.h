#pragma once
// Helpers of the fuzz targets: splitting an input into arguments, a scratch
// folder of the process, and a check that stops the run.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kdfuzz {

inline void Check(bool ok) {
    if (!ok) std::abort();
}

// Arguments separated by NUL bytes (an empty piece is an empty argument).
inline std::vector<std::string> SplitArgs(std::string_view bytes, size_t maxArgs = 64) {
    std::vector<std::string> args;
    size_t start = 0;
    while (start <= bytes.size() && args.size() < maxArgs) {
        size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        args.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// A folder of this process for the files a target writes.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        std::string t = "/tmp/kdfuzz.XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return dir;
}

}  // namespace kdfuzz
