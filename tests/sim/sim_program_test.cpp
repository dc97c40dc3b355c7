// The program kdsim: its first output line, its options, its end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "sim_client.h"

namespace {

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
    FILE* err = nullptr;
};

Child Spawn(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    Child c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv;
        std::string bin = KDSIM_BINARY;
        argv.push_back(bin.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    c.out = fdopen(outPipe[0], "r");
    c.err = fdopen(errPipe[0], "r");
    return c;
}

std::string Line(FILE* f) {
    char buf[512] = {};
    if (!std::fgets(buf, sizeof buf, f)) return {};
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

int Wait(Child& c) {
    int status = 0;
    waitpid(c.pid, &status, 0);
    if (c.out) std::fclose(c.out);
    if (c.err) std::fclose(c.err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SimProgram, PrintsItsPortServesAndEndsOnTerm) {
    char dir[] = "/tmp/kdsim_progXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/sensor";
    Child c = Spawn({"--version", "53:6D:45", "--link", link, "--seed", "5"});
    ASSERT_GT(c.pid, 0);
    const std::string path = Line(c.out);
    ASSERT_FALSE(path.empty());
    {
        simtest::Client viaPath(path);
        auto r = viaPath.Call(0x0009, {});
        EXPECT_EQ(r.payload, simtest::Words({0x53, 0x6D, 0x45}));
    }
    {
        simtest::Client viaLink(link);
        EXPECT_TRUE(viaLink.Call(0x2016, {}).ok);
    }
    kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
    rmdir(dir);
}

TEST(SimProgram, BadArgumentsAndFilesAreReported) {
    Child a = Spawn({"--faults", "drop=7"});
    const std::string msg = Line(a.err);
    EXPECT_NE(msg.find("kdsim: fault 'drop'"), std::string::npos) << msg;
    EXPECT_EQ(Wait(a), 2);
    Child b = Spawn({"--baud"});
    EXPECT_NE(Line(b.err).find("--baud needs a value"), std::string::npos);
    EXPECT_EQ(Wait(b), 2);
    char file[] = "/tmp/kdsim_eepXXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    Child e = Spawn({"--eeprom", file});
    EXPECT_NE(Line(e.err).find("2048"), std::string::npos);
    EXPECT_EQ(Wait(e), 1);
    unlink(file);
}
