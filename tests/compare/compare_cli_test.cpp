// kdctl diff and apply against the built-in simulated sensor (port SIM),
// through the real serial code: exit codes, output, and what crossed the link.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "common/atomic_file.h"
#include "params/kest_param.h"
#include "session_fixture.h"

namespace {

using namespace sessiontest;

struct RunResult {
    int code = -1;
    std::string out, err;
};

class KdctlCompare : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = ScratchDir();
        ASSERT_EQ(Kdctl("receive base.kd").code, 0);
        // bank 3 and bank 6 differ in their shutter, the Sys block in its filter
        kd::TMasterStore masters;
        kd::TKestParam p;
        p.Masters = &masters;
        p.LoadFromFile(dir + "/base.kd");
        p.SetBank(2, kd::pk::Shutter, 1235);
        p.SetBank(5, kd::pk::Shutter, 735);
        p.SetSys(kd::pk::InputFilter, 100);
        p.SaveToFile(dir + "/changed.kd");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    RunResult Kdctl(const std::string& args, const std::string& simArgs = "") {
        std::filesystem::remove(dir + "/sim.txt");
        const std::string cmd = "cd '" + dir + "' && XDG_DATA_HOME='" + dir +
                                "/data' KDSIM_ARGS='--eeprom " + dir + "/eep.bin --trace " + dir +
                                "/sim.txt " + simArgs + "' '" + KDCTL_PATH + "' " + args + " >'" +
                                dir + "/out' 2>'" + dir + "/err'";
        const int status = std::system(cmd.c_str());
        RunResult r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = kd::ReadFileAll(dir + "/out");
        r.err = kd::ReadFileAll(dir + "/err");
        return r;
    }
    // The requests after the connection's receive-all, without the polling.
    std::vector<std::string> Writes() {
        std::vector<std::string> out;
        for (const auto& r : ReadRequests(dir + "/sim.txt"))
            if (r.rfind("MEM_", 0) == 0 || r.rfind("EPM_", 0) == 0 || r.rfind("SYS_UPDATE", 0) == 0)
                out.push_back(r);
        return out;
    }
    int Backups(const std::string& prefix) {
        int n = 0;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir + "/data/KDTrelva/backup", ec))
            n += e.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    }

    std::string dir;
};

TEST_F(KdctlCompare, DiffExitCodesAndLines) {
    RunResult r = Kdctl("diff base.kd changed.kd");
    EXPECT_EQ(r.code, 1) << r.err;
    std::vector<std::string> lines;
    for (size_t p = 0, e; (e = r.out.find('\n', p)) != std::string::npos; p = e + 1)
        lines.push_back(r.out.substr(p, e - p));
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].rfind("Sys\t", 0), 0u);
    EXPECT_NE(lines[1].find("Bank3\t"), std::string::npos);
    EXPECT_NE(lines[1].find("\t1235 usec"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2].rfind("Bank6\t", 0), 0u);
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 4);

    EXPECT_EQ(Kdctl("diff base.kd base.kd").code, 0);
    EXPECT_EQ(Kdctl("diff base.kd --sensor").code, 0);
    EXPECT_EQ(Kdctl("diff changed.kd --sensor").code, 1);
    EXPECT_EQ(Kdctl("diff missing.kd base.kd").code, 2);
    EXPECT_EQ(Kdctl("diff base.kd").code, 2);
}

TEST_F(KdctlCompare, ApplyWritesOnlyTheChosenWordsMakesTheirBankPermanentAndVerifies) {
    RunResult r = Kdctl("apply changed.kd --banks 3");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Bank3"), std::string::npos);
    EXPECT_EQ(r.out.find("Bank6"), std::string::npos);
    EXPECT_EQ(Backups("apply_"), 1);
    const int shutterWord =
        0x400 + kd::BankStartWord(2) + kd::FindKeyById(kd::pk::Shutter)->Entry->Offset;
    // after the connection's receive-all: exactly one word, its bank's EEPROM
    // write and the read-back of that bank
    const std::vector<std::string> w = Writes();
    std::vector<std::string> writes, after;
    bool seen = false;
    for (const auto& x : w) {
        seen = seen || x.rfind("MEM_WRITE", 0) == 0;
        if (seen) after.push_back(x);
        if (x.rfind("MEM_WRITE", 0) == 0 || x.rfind("EPM_", 0) == 0) writes.push_back(x);
    }
    EXPECT_EQ(writes, (std::vector<std::string>{kd::Format("MEM_WRITE 0x%X 1", shutterWord),
                                                "EPM_WRITE 1,2"}));
    ASSERT_EQ(after.size(), 3u) << ::testing::PrintToString(w);
    EXPECT_EQ(after[2], kd::Format("MEM_READ 0x%X 124", 0x400 + kd::BankStartWord(2)));

    r = Kdctl("diff changed.kd --sensor");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.find("Bank3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Bank6"), std::string::npos);

    EXPECT_EQ(Kdctl("apply changed.kd").code, 0);
    EXPECT_EQ(Kdctl("diff changed.kd --sensor").code, 0);
    EXPECT_EQ(Kdctl("apply changed.kd --banks 9").code, 2);
    EXPECT_EQ(Kdctl("apply changed.kd --keys NoSuchKey").code, 2);
}

TEST_F(KdctlCompare, AFailedEepromWriteSaysWhatWasNotWrittenAndKeepsTheBackup) {
    RunResult r = Kdctl("apply changed.kd --keys Shutter", "--faults epm-exe=10");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("failed at Bank3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not written: Bank3, Bank6"), std::string::npos) << r.err;
    EXPECT_EQ(Backups("apply_"), 1);
    // bank 6 was never touched
    for (const auto& s : Writes())
        EXPECT_NE(
            s, kd::Format("MEM_WRITE 0x%X 1", 0x400 + kd::BankStartWord(5) +
                                                  kd::FindKeyById(kd::pk::Shutter)->Entry->Offset));
}

TEST_F(KdctlCompare, MissingBlocksOfAFileAreNeverWritten) {
    // changed.kd without its Bank3 line
    std::string text = kd::ReadFileAll(dir + "/changed.kd");
    const size_t a = text.find("Bank3.Hexa="), b = text.find("\r\n", a);
    text.erase(a, b + 2 - a);
    kd::WriteFileAtomic(dir + "/partial.kd", text);
    RunResult r = Kdctl("apply partial.kd --keys Shutter");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("Bank3"), std::string::npos);
    EXPECT_NE(r.out.find("Bank6"), std::string::npos);
    EXPECT_NE(r.err.find("Bank3"), std::string::npos);
}

}  // namespace
