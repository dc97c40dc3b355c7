#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"

using namespace kd;

TEST(Log, SinksReceiveFormattedLinesWithAttribute) {
    std::vector<std::pair<int, std::string>> got;
    {
        ScopedLogSink sink([&](int a, const std::string& l) { got.emplace_back(a, l); });
        WriteLog(kLogError, "KESTthread: %s", "USER ABORT");
        WriteLog(kLogPlain, "SET_TMD(%d)", 3);
    }
    WriteLog(kLogPlain, "after removal");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, 0x00FF00FF);
    EXPECT_EQ(got[0].second, "KESTthread: USER ABORT");
    EXPECT_EQ(got[1].first, -1);
    EXPECT_EQ(got[1].second, "SET_TMD(3)");
}

TEST(Log, LongLinesAreNotCut) {
    std::string big(5000, 'x');
    EXPECT_EQ(Format("%s|%d", big.c_str(), 7), big + "|7");
}

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kd_atomic_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(AtomicFile, WritesAndReplacesWithoutLeftovers) {
    auto p = (dir / "a.kd").string();
    WriteFileAtomic(p, "first");
    WriteFileAtomic(p, std::string("sec\0ond", 7));
    EXPECT_EQ(ReadFileAll(p), std::string("sec\0ond", 7));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(AtomicFile, FailedWriteKeepsOldFileAndNamesIt) {
    auto p = (dir / "keep.kd").string();
    WriteFileAtomic(p, "old contents");
    if (geteuid() == 0) {
        // root ignores permissions: make the target a directory-locked path instead
        auto sub = dir / "locked";
        std::filesystem::create_directories(sub / "keep.kd" / "x");
        try {
            WriteFileAtomic((sub / "keep.kd").string(), "new");
            FAIL() << "renaming over a non-empty folder must fail";
        } catch (const EKestError& e) {
            EXPECT_NE(std::string(e.what()).find("keep.kd"), std::string::npos);
        }
        EXPECT_TRUE(std::filesystem::is_directory(sub / "keep.kd" / "x"));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sub), {}), 1);
    } else {
        chmod(dir.c_str(), 0500);
        EXPECT_THROW(WriteFileAtomic(p, "new"), EKestError);
        chmod(dir.c_str(), 0700);
    }
    EXPECT_EQ(ReadFileAll(p), "old contents");
}

TEST_F(AtomicFile, MissingFileReadNamesIt) {
    try {
        ReadFileAll((dir / "nope.bin").string());
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_NE(std::string(e.what()).find("nope.bin"), std::string::npos);
    }
}

TEST_F(AtomicFile, OnlyRegularFilesAreReadAndNoneBeyondItsLimit) {
    // A FIFO without a writer would block an ordinary open for ever.
    const auto fifo = (dir / "f.kd").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string says;
    };
    const Case cases[] = {{fifo, "not a regular file"},
                          {"/dev/null", "not a regular file"},
                          {dir.string(), "is a folder"},
                          {(dir / "none").string(), "No such file"}};
    for (const Case& c : cases) {
        try {
            ReadFileAll(c.path);
            ADD_FAILURE() << c.path;
        } catch (const EKestError& e) {
            EXPECT_NE(std::string(e.what()).find("'" + c.path + "': " + c.says), std::string::npos)
                << e.what();
        }
    }
    const auto p = (dir / "big.txt").string();
    WriteFileAtomic(p, std::string(101, 'x'));
    EXPECT_EQ(ReadFileAll(p, 101).size(), 101u);
    EXPECT_THROW(ReadFileAll(p, 100), EFileTooLarge);
}

namespace {
int killAt = -1;
int stepsSeen = 0;
void KillAtStep(TSaveStep) {
    if (stepsSeen++ == killAt) kill(getpid(), SIGKILL);
}
}  // namespace

// A save killed at any of its steps leaves the old or the new file whole and
// nothing visible; the next save of the same target removes what was left.
TEST_F(AtomicFile, SaveKilledAtEveryStepLeavesNothingBehind) {
    const auto p = (dir / "target.kd").string();
    const std::string oldText(100000, 'o'), newText(300000, 'n');  // several pieces
    int steps = 0;
    for (int k = 0;; ++k) {
        WriteFileAtomic(p, oldText);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            killAt = k;
            SetSaveProbe(KillAtStep);
            WriteFileAtomic(p, newText);
            _exit(3);  // every step was passed
        }
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = ReadFileAll(p);
        EXPECT_TRUE(now == oldText || now == newText) << "step " << k;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "target.kd" || name.rfind(".target.kd.kdsave-", 0) == 0)
                << "step " << k << ": " << name;
        }
        WriteFileAtomic(p, oldText);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "step " << k;
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 3);
            steps = k;
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << "step " << k;
    }
    EXPECT_EQ(steps, 9);  // opened, five pieces, synced, named, replaced

    // Killed from outside at any moment of a run of saves.
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) WriteFileAtomic(p, round % 2 ? oldText : newText);
        }
        usleep(static_cast<useconds_t>(200 + 173 * round));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = ReadFileAll(p);
        EXPECT_TRUE(now == oldText || now == newText) << "round " << round;
    }
    WriteFileAtomic(p, oldText);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// A new file gets what an ordinary create gives under the umask; a replaced
// file keeps its own mode whatever the umask.
TEST_F(AtomicFile, ModeFollowsTheUmaskOrTheReplacedFile) {
    const auto p = (dir / "m.kd").string();
    struct Case {
        mode_t umask, existing, expected;  // existing 0: no file yet
    };
    for (const Case c : {Case{022, 0, 0644}, Case{027, 0, 0640}, Case{077, 0, 0600},
                         Case{022, 0600, 0600}, Case{077, 0664, 0664}}) {
        for (bool unnamed : {true, false}) {
            std::filesystem::remove(p);
            if (c.existing) {
                WriteFileAtomic(p, "old");
                ASSERT_EQ(chmod(p.c_str(), c.existing), 0);
            }
            SetUnnamedTempFiles(unnamed);
            const mode_t was = umask(c.umask);
            WriteFileAtomic(p, "new");
            umask(was);
            SetUnnamedTempFiles(true);
            struct stat st {};
            ASSERT_EQ(stat(p.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.expected)
                << std::oct << "umask " << c.umask << " existing " << c.existing << " unnamed "
                << unnamed;
        }
    }
}

namespace {
std::string raceFolder;
int createdSeen = 0;
// Another save's clean-up takes the fresh hidden name before this save locks it.
void RemoveFreshName(TSaveStep step) {
    if (step != TSaveStep::Created || createdSeen++ != 0) return;
    for (const auto& e : std::filesystem::directory_iterator(raceFolder))
        if (e.path().filename().string().rfind(".r.kd.kdsave-", 0) == 0)
            std::filesystem::remove(e.path());
}

std::string closedTarget;
// Closes the save's own descriptor behind its back, so its last close fails.
void CloseSavedFile(TSaveStep step) {
    if (step != TSaveStep::Replaced) return;
    struct stat target {};
    if (stat(closedTarget.c_str(), &target) != 0) return;
    for (int fd = 3; fd < 1024; ++fd) {
        struct stat st {};
        if (fstat(fd, &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            close(fd);
    }
}
}  // namespace

TEST_F(AtomicFile, NamedTemporaryTakenByAnotherSaveIsMadeAgain) {
    raceFolder = dir.string();
    const auto p = (dir / "r.kd").string();
    SetUnnamedTempFiles(false);
    SetSaveProbe(RemoveFreshName);
    EXPECT_NO_THROW(WriteFileAtomic(p, "contents"));
    SetSaveProbe(nullptr);
    SetUnnamedTempFiles(true);
    EXPECT_EQ(createdSeen, 2);
    EXPECT_EQ(ReadFileAll(p), "contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(AtomicFile, FailedCloseAfterTheRenameIsLoggedNotThrown) {
    closedTarget = (dir / "c.kd").string();
    std::vector<std::string> lines;
    ScopedLogSink sink([&](int, const std::string& l) { lines.push_back(l); });
    SetSaveProbe(CloseSavedFile);
    EXPECT_NO_THROW(WriteFileAtomic(closedTarget, "saved"));
    SetSaveProbe(nullptr);
    EXPECT_EQ(ReadFileAll(closedTarget), "saved");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "'" + closedTarget + "' saved; closing it reported: Bad file descriptor");
}
