// kdctl diff and apply against the built-in simulated sensor (port SIM),
// through the real serial code: exit codes, output, and what crossed the link.
#include <algorithm>

#include "common/atomic_file.h"
#include "compare/compare_apply.h"
#include "params/kest_param.h"
#include "session_fixture.h"
#include "tests/support/run_command.h"

namespace {

using namespace sessiontest;

using kdtest::RunResult;

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
        return kdtest::RunToFiles("cd '" + dir + "' && XDG_DATA_HOME='" + dir +
                                      "/data' KDSIM_ARGS='--eeprom " + dir + "/eep.bin --trace " +
                                      dir + "/sim.txt " + simArgs + "' '" + KDCTL_PATH + "' " +
                                      args,
                                  dir);
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
    EXPECT_NE(r.err.find("written and made permanent: none"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("written but not made permanent: Bank3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not written: Bank6"), std::string::npos) << r.err;
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

// ApplyChanges straight on a session: the requests after the connection.
struct ApplyRun {
    explicit ApplyRun(const std::string& faults = "")
        : rig([&] {
              kdsim::SimOptions o;
              o.faults = faults;
              return o;
          }()) {
        rig.Connect();
        rig.NewRequests();
        file.Masters = &fileMasters;
        file.Image = rig.image.Image;
        file.NotLoaded = false;
    }
    // Applies every difference of file; the error text, "" when it went through.
    std::string Apply() {
        const auto changes = kd::PlanApply(file, rig.image, [](int, int) { return true; });
        try {
            kd::ApplyChanges(*rig.session, *rig.thread, rig.image, changes, {});
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
    // Writes, updates, EEPROM writes and reads of parameters, in order.
    std::vector<std::string> Requests() {
        std::vector<std::string> out;
        for (const auto& r : rig.NewRequests())
            if (r.rfind("MEM_", 0) == 0 || r.rfind("EPM_", 0) == 0 || r == "SYS_UPDATE")
                out.push_back(r);
        return out;
    }
    int WordAddress(int bank, int key) {
        const auto ref = kd::FindKeyById(key);
        return 0x400 + (bank < 0 ? kd::kSysWord : kd::BankStartWord(bank)) + ref->Entry->Offset;
    }

    SessionRig rig;
    kd::TMasterStore fileMasters;
    kd::TKestParam file;
    LogCapture log;
};

TEST(ApplyChanges, BackupFirstThenTheSysBlockUpdatedAndMadePermanentForAllBanks) {
    ApplyRun run;
    const int old = run.rig.image.GetSys(kd::pk::InputFilter);
    run.file.SetSys(kd::pk::InputFilter, old + 20);
    ASSERT_EQ(run.Apply(), "");
    EXPECT_EQ(run.Requests(),
              (std::vector<std::string>{
                  kd::Format("MEM_WRITE 0x%X 1", run.WordAddress(-1, kd::pk::InputFilter)),
                  "SYS_UPDATE", "EPM_WRITE 1,15", "MEM_READ 0x410 16"}));
    // the backup was taken before the first write and holds the value from before
    const auto& l = run.log.lines;
    const auto backup = std::find_if(l.begin(), l.end(), [](const std::string& s) {
        return s.rfind("backup of the sensor settings", 0) == 0 &&
               s.find("/apply_") != std::string::npos;
    });
    const auto write = std::find_if(
        l.begin(), l.end(), [](const std::string& s) { return s.rfind("MemWrite(", 0) == 0; });
    ASSERT_NE(backup, l.end());
    EXPECT_LT(backup, write);
    EXPECT_TRUE(run.log.Has("EPM_WRITE(ALL)"));
    kd::TMasterStore m;
    kd::TKestParam saved;
    saved.Masters = &m;
    saved.LoadFromFile(run.rig.session->Backups.back());
    EXPECT_EQ(saved.GetSys(kd::pk::InputFilter), old);
    EXPECT_EQ(run.rig.image.GetSys(kd::pk::InputFilter), old + 20);
}

TEST(ApplyChanges, AWriteFailingInsideABankLeavesItInDoubtAndTheNextOneUntouched) {
    ApplyRun run("memwrite-fail=1");  // the first memory write goes through, no other
    // two runs of words in bank 3, one word in bank 6
    run.file.SetBank(2, kd::pk::Shutter, run.rig.image.GetBank(2, kd::pk::Shutter) + 10);
    run.file.SetBank(2, kd::pk::OutTime(3), run.rig.image.GetBank(2, kd::pk::OutTime(3)) + 1);
    run.file.SetBank(5, kd::pk::Shutter, run.rig.image.GetBank(5, kd::pk::Shutter) + 10);
    const std::string err = run.Apply();
    EXPECT_NE(err.find("failed at Bank3"), std::string::npos) << err;
    EXPECT_NE(err.find("written and made permanent: none"), std::string::npos) << err;
    EXPECT_NE(err.find("not completely written: Bank3"), std::string::npos) << err;
    EXPECT_NE(err.find("not written: Bank6"), std::string::npos) << err;
    EXPECT_NE(err.find(run.rig.session->Backups.back()), std::string::npos) << err;
    std::set<std::string> sent;
    for (const auto& r : run.Requests()) sent.insert(r);
    EXPECT_EQ(sent, (std::set<std::string>{
                        kd::Format("MEM_WRITE 0x%X 1", run.WordAddress(2, kd::pk::Shutter)),
                        kd::Format("MEM_WRITE 0x%X 1", run.WordAddress(2, kd::pk::OutTime(3)))}));
    EXPECT_FALSE(run.rig.image.ValidMask & (1u << 2));
    EXPECT_TRUE(run.rig.image.ValidMask & (1u << 5));
}

}  // namespace
