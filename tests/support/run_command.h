#pragma once
// Running a program from a test through the shell: its exit code and what it
// printed.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/atomic_file.h"

namespace kdtest {

struct RunResult {
    int code = -1;  // -1: did not start or did not exit normally
    std::string out, err;
};

inline int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the command; out holds its standard output.
inline RunResult RunCapture(const std::string& command) {
    RunResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.code = ExitCode(pclose(p));
    return r;
}

// Runs the command with its output and errors sent to the files out and err
// in dir, and reads them back.
inline RunResult RunToFiles(const std::string& command, const std::string& dir) {
    const std::string cmd = command + " >'" + dir + "/out' 2>'" + dir + "/err'";
    RunResult r;
    r.code = ExitCode(std::system(cmd.c_str()));
    r.out = kd::ReadFileAll(dir + "/out");
    r.err = kd::ReadFileAll(dir + "/err");
    return r;
}

}  // namespace kdtest
