// kdctl storage against kdsim on its pseudo-terminal: a recording made there,
// fetched as CSV files that an independent reader (Python's csv module) reads
// back with the same numbers; a sensor without storage.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "common/atomic_file.h"
#include "storage/profile_set.h"
#include "storage/record_set.h"
#include "tests/support/run_command.h"

using namespace kd;
namespace fs = std::filesystem;

namespace {

using kdtest::RunResult;

// Output and errors together in out.
RunResult Shell(const std::string& command) {
    return kdtest::RunCapture(command + " 2>&1");
}

// Every field of every data line as an integer, "N" for an empty one.
constexpr const char* kPythonFields =
    "import csv,sys\n"
    "for r in csv.reader(open(sys.argv[1],newline='')):\n"
    " if r and not r[0].startswith('#'):\n"
    "  print(' '.join(str(int(f)) if f.strip() else 'N' for f in r))";

class KdctlStorage : public ::testing::Test {
  protected:
    void Start(const std::string& options) {
        dir = fs::temp_directory_path() / ("kd_storage_cli_" + std::to_string(getpid()));
        fs::create_directories(dir);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        sim = fork();
        ASSERT_GE(sim, 0);
        if (sim == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(KDSIM_PATH, KDSIM_PATH, "--no-pace", options.empty() ? nullptr : "--faults",
                  options.empty() ? nullptr : options.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        ASSERT_FALSE(line.empty());
        port = line;
    }
    void TearDown() override {
        if (sim > 0) {
            kill(sim, SIGTERM);
            waitpid(sim, nullptr, 0);
        }
        fs::remove_all(dir);
    }
    RunResult Kdctl(const std::string& args) {
        return Shell(std::string(KDCTL_PATH) + " --port " + port + " " + args);
    }
    std::string Path(const char* name) const { return (dir / name).string(); }
    // Waits until the sensor has stopped recording.
    bool WaitStopped() {
        for (int i = 0; i < 50; ++i) {
            if (Kdctl("storage status").out.find("run=0") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    pid_t sim = -1;
    std::string port;
    fs::path dir;
};

}  // namespace

TEST_F(KdctlStorage, RecordsAndProfilesRecordedThereArriveWhole) {
    Start("");
    RunResult r = Kdctl("storage status");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex("^state=\\d+ run=0 count=\\d+ count2=\\d+ buf=\\d+\n$")))
        << r.out;
    // The start position is signed, the threshold a decimal in its unit.
    r = Kdctl("set StrStl=-100 StrThd=2.5");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, "StrStl=-100\nStrThd=2.500\n");
    EXPECT_EQ(Kdctl("get StrStl StrThd").out, "StrStl=-100\nStrThd=2.500\n");
    ASSERT_EQ(Kdctl("set StrBuf=40 StrSmp=1 StrStt=0 StrRpt3=1 StrStl=0").code, 0);
    r = Kdctl("storage start data");
    ASSERT_EQ(r.code, 0) << r.out;
    ASSERT_TRUE(WaitStopped());
    r = Kdctl("storage status");
    EXPECT_NE(r.out.find("count=40 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("buf=40"), std::string::npos) << r.out;

    r = Kdctl("storage fetch " + Path("data.csv"));
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string text = ReadFileAll(Path("data.csv"));
    EXPECT_EQ(text.rfind("#sec,A1,A2,A3,A4,Op1,Op2\r\n", 0), 0u);
    TRecordSet set;
    ASSERT_TRUE(ReadRecordsCsv(text, set).Ok);
    ASSERT_EQ(set.Count, 40);
    EXPECT_EQ(WriteRecordsCsv(set), text);  // byte for byte what the save writes
    // An independent reader (Python's csv module) gets the same numbers, field
    // by field: "N" stands for a field without a value.
    std::string expect;
    for (int i = 0; i < set.Count; ++i) {
        expect += std::to_string(set.Stamps[size_t(i)]);
        for (int c = 0; c < kStoreChannels; ++c) {
            const int32_t v = set.Values[size_t(c)][size_t(i)];
            expect += v == kNoStoredValue ? " N" : " " + std::to_string(v);
        }
        expect += "\n";
    }
    r = Shell(std::string("python3 -c \"") + kPythonFields + "\" " + Path("data.csv"));
    if (r.code == 127 || r.out.find("not found") != std::string::npos) GTEST_SKIP() << "no python3";
    EXPECT_EQ(r.out, expect);

    ASSERT_EQ(Kdctl("set StrBuf=12").code, 0);
    ASSERT_EQ(Kdctl("storage start profile").code, 0);
    ASSERT_TRUE(WaitStopped());
    r = Kdctl("storage profiles " + Path("prof.csv"));
    ASSERT_EQ(r.code, 0) << r.out;
    auto profiles = std::make_unique<TProfileSet>();
    const std::string ptext = ReadFileAll(Path("prof.csv"));
    ASSERT_TRUE(ReadProfilesCsv(ptext, *profiles).Ok);
    EXPECT_EQ(profiles->Held(), 12);
    EXPECT_GT(profiles->MaxCount(), 100);
    EXPECT_EQ(WriteProfilesCsv(*profiles, false), ptext);
    // The profile file: time, then x and z of every point ("N N" for a gap).
    std::string pexpect;
    for (int i = 0; i < profiles->Held(); ++i) {
        pexpect += std::to_string(profiles->Time(i));
        for (const TStoredPoint& pt : profiles->Points(i))
            pexpect += pt.X == kGapCoord ? " N N"
                                         : " " + std::to_string(pt.X) + " " + std::to_string(pt.Z);
        pexpect += "\n";
    }
    r = Shell(std::string("python3 -c \"") + kPythonFields + "\" " + Path("prof.csv"));
    EXPECT_EQ(r.out, pexpect);
}
