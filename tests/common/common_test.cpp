#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
