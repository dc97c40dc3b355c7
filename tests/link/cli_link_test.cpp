// kdctl's link commands run as a program against the scripted peer, and the
// session opener with its simulated-sensor slot.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_session.h"
#include "common/atomic_file.h"
#include "link_test_util.h"

using namespace kdtest;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

std::string Slurp(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    return s;
}

// withoutRights: as the user "nobody" (only when we are the superuser).
RunResult RunKdctl(const std::vector<std::string>& args, bool withoutRights = false) {
    auto dir = std::filesystem::temp_directory_path();
    std::string outPath = (dir / ("kd_cli_out_" + std::to_string(getpid()))).string();
    std::string errPath = (dir / ("kd_cli_err_" + std::to_string(getpid()))).string();
    pid_t pid = fork();
    if (pid == 0) {
        int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        if (withoutRights &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            _exit(126);
        std::vector<char*> argv;
        std::string prog = KDCTL_PATH;
        argv.push_back(prog.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(prog.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    int o = ::open(outPath.c_str(), O_RDONLY), e = ::open(errPath.c_str(), O_RDONLY);
    r.out = Slurp(o);
    r.err = Slurp(e);
    ::close(o);
    ::close(e);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return r;
}

class KdctlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sensor.SetOther([](PtyPeer& p, const Request& r) {
            if (r.code == 0x0009)
                return p.Send(PtyPeer::Frame(r.code, {0, 0x53, 0, 0x6D, 0, 0x50}));
            if (r.code == 0x2006 && !r.payload.empty() && r.payload[1] > 9)
                return p.Send(PtyPeer::ErrorFrame(0xE002));
            if (r.code == 0x2016) return;  // a silent command
            p.Send(PtyPeer::Frame(r.code, {}));
        });
        peer.SetHandler([this](PtyPeer& p, const Request& r) { sensor.Handle(p, r); });
    }
    MemorySensor sensor{1 << 20};
    PtyPeer peer;  // after the sensor: its thread ends before the sensor goes
};

}  // namespace

TEST_F(KdctlTest, CommandPrintsTheReplyPayload) {
    auto r = RunKdctl({"--port", peer.Path(), "command", "GET_VERSION"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "00 53 00 6D 00 50\n");
    r = RunKdctl({"--port", peer.Path(), "command", "SET_TMD", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "\n");
    auto reqs = peer.Requests();
    ASSERT_FALSE(reqs.empty());
    EXPECT_EQ(reqs.back().code, 0x2006);
    EXPECT_EQ(reqs.back().payload, (Bytes{0x00, 0x03}));
}

TEST_F(KdctlTest, CommandWordsAreBigEndianDecimalOrHex) {
    auto r = RunKdctl(
        {"--port", peer.Path(), "command", "AREA_RECT", "1", "0xFFFE", "-2", "65535", "0x10"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(peer.Requests().back().payload,
              (Bytes{0x00, 0x01, 0xFF, 0xFE, 0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x10}));
}

TEST_F(KdctlTest, CommandErrors) {
    auto r = RunKdctl({"--port", peer.Path(), "command", "SET_TMD", "12"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kdctl: ERR_DATA\n");
    r = RunKdctl({"--port", peer.Path(), "command", "NO_SUCH_CMD"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("kdctl: command: unknown command 'NO_SUCH_CMD'", 0), 0u);
    r = RunKdctl({"--port", peer.Path(), "command", "SET_TMD", "70000"});
    EXPECT_EQ(r.exitCode, 2);
    r = RunKdctl({"--port", peer.Path(), "command", "SET_TMD", "3x"});
    EXPECT_EQ(r.exitCode, 2);
    r = RunKdctl({"--port", "/kd/no/such/port", "command", "GET_VERSION"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kdctl: serial port cannot open '/kd/no/such/port'; no such port\n");
}

TEST_F(KdctlTest, APortWithoutRightsOrInUseSaysHowToMendIt) {
    const std::string prefix = "kdctl: serial port cannot open '" + peer.Path() + "'; ";
    if (::geteuid() == 0) {
        auto r = RunKdctl({"--port", peer.Path(), "version"}, true);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, prefix + "permission denied: add your user to the dialout group\n");
    }
    kd::TKestThread holder;
    holder.PortName = peer.Path();
    holder.Connect();
    auto r = RunKdctl({"--port", peer.Path(), "version"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, prefix + "the port is busy: another program is using it\n");
}

TEST_F(KdctlTest, MemReadPrintsSixteenWordsALine) {
    for (uint32_t i = 0; i < 20; ++i) sensor.Put(0x400 + i, static_cast<uint16_t>(0xAB00 + i));
    auto r = RunKdctl({"--port", peer.Path(), "memread", "0x400", "20"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "AB00 AB01 AB02 AB03 AB04 AB05 AB06 AB07 AB08 AB09 AB0A AB0B AB0C AB0D AB0E AB0F\n"
              "AB10 AB11 AB12 AB13\n");
    EXPECT_EQ(peer.Requests().back().payload, (Bytes{0, 0, 0x04, 0x00, 20, 0x11}));
    r = RunKdctl({"--port", peer.Path(), "memread", "1024", "2", "--mode", "0x121"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "AB00 AB01\n");
    EXPECT_EQ(peer.Requests().back().payload[5], 0x21);
}

TEST_F(KdctlTest, MemReadUsageErrors) {
    EXPECT_EQ(RunKdctl({"--port", peer.Path(), "memread", "0x400"}).exitCode, 2);
    EXPECT_EQ(RunKdctl({"--port", peer.Path(), "memread", "0x400", "0"}).exitCode, 2);
    EXPECT_EQ(
        RunKdctl({"--port", peer.Path(), "memread", "0x400", "3", "--mode", "0x121"}).exitCode, 2);
    EXPECT_EQ(RunKdctl({"--port", peer.Path(), "memread", "-1", "3"}).exitCode, 2);
    EXPECT_EQ(RunKdctl({"--port", peer.Path(), "memread", "0", "3", "--bogus"}).exitCode, 2);
    EXPECT_TRUE(peer.Requests().empty());
}

TEST_F(KdctlTest, TraceWritesEveryFrameInHex) {
    auto trace = std::filesystem::temp_directory_path() / ("kd_trace_" + std::to_string(getpid()));
    auto r = RunKdctl({"--port", peer.Path(), "--trace", trace.string(), "command", "GET_VERSION"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string text = kd::ReadFileAll(trace.string());
    std::filesystem::remove(trace);
    std::istringstream in(text);
    std::string sent, received, extra;
    std::getline(in, sent);
    std::getline(in, received);
    EXPECT_FALSE(std::getline(in, extra));
    // hh:mm:ss.mmm, direction, bytes
    ASSERT_GE(sent.size(), 15u);
    EXPECT_EQ(sent[2], ':');
    EXPECT_EQ(sent[8], '.');
    EXPECT_EQ(sent.substr(12), " > 02 00 00 09 03 09");
    EXPECT_EQ(received.substr(12), " < 02 03 00 09 00 53 00 6D 00 50 03 " +
                                       std::string(received.substr(received.size() - 2)));
}

TEST_F(KdctlTest, TraceOfAFailedCommand) {
    auto trace = std::filesystem::temp_directory_path() / ("kd_trace2_" + std::to_string(getpid()));
    auto r =
        RunKdctl({"--port", peer.Path(), "--trace", trace.string(), "command", "SET_TMD", "12"});
    EXPECT_EQ(r.exitCode, 1);
    std::string text = kd::ReadFileAll(trace.string());
    std::filesystem::remove(trace);
    EXPECT_NE(text.find(" > 02 01 20 06 00 0C 03 "), std::string::npos) << text;
    EXPECT_NE(text.find(" < 02 00 E0 02 03 E2 [-8190]"), std::string::npos) << text;
}

TEST(CliSessionTest, TraceShowsEveryAttemptOfASilentSensor) {
    PtyPeer peer;  // never answers
    auto trace = std::filesystem::temp_directory_path() / ("kd_trace3_" + std::to_string(getpid()));
    kd::cli::CliContext ctx;
    ctx.port = peer.Path();
    ctx.trace = trace.string();
    {
        auto session = kd::cli::OpenSession(ctx);
        session->Thread().Port().replyTimeout = kShortTimeoutMs;
        EXPECT_THROW(session->Thread().CommandValue(0x2016), kd::ECommError);
    }
    std::string text = kd::ReadFileAll(trace.string());
    std::filesystem::remove(trace);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);  // three requests, no reply
    EXPECT_EQ(text.find(" < "), std::string::npos);
}

TEST(CliSessionTest, SimNeedsARegisteredStarter) {
    kd::cli::CliContext ctx;
    auto saved = kd::cli::SimPortStarter();
    kd::cli::SimPortStarter() = nullptr;
    EXPECT_THROW(kd::cli::OpenSession(ctx), kd::EKestError);

    PtyPeer peer;
    peer.SetHandler(EchoEmpty);
    int asked = 0;
    kd::cli::SimPortStarter() = [&](const kd::cli::CliContext& c) {
        ++asked;
        EXPECT_EQ(c.baud, 115200);
        return peer.Path();
    };
    ctx.baud = 115200;
    auto session = kd::cli::OpenSession(ctx);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(session->PortPath(), peer.Path());
    EXPECT_EQ(kd::ComGetBaud(session->Thread().Port()), 115200);
    EXPECT_NO_THROW(session->Thread().CommandValue(0x0000));
    session->Close();
    EXPECT_FALSE(session->Thread().IsOpen());
    kd::cli::SimPortStarter() = [](const kd::cli::CliContext&) { return std::string(); };
    EXPECT_THROW(kd::cli::OpenSession(ctx), kd::EKestError);
    kd::cli::SimPortStarter() = saved;
}
