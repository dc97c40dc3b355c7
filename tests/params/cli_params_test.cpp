// kdctl dump and convert, run as the real program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "common/atomic_file.h"
#include "params/kest_param.h"
#include "tests/support/run_command.h"

using namespace kd;
namespace fs = std::filesystem;

namespace {

using kdtest::RunResult;

class KdctlParams : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kd_cli_params_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    RunResult Run(const std::string& args) const {
        std::string errFile = Path("stderr.txt");
        std::string cmd = std::string(KDCTL_PATH) + " " + args + " 2>" + errFile;
        RunResult r = kdtest::RunCapture(cmd);
        r.err = ReadFileAll(errFile);
        return r;
    }

    static std::map<std::string, std::string> Lines(const std::string& out, int* count) {
        std::map<std::string, std::string> m;
        std::istringstream in(out);
        std::string line;
        *count = 0;
        while (std::getline(in, line)) {
            ++*count;
            auto eq = line.find('=');
            if (eq != std::string::npos) m.emplace(line.substr(0, eq), line.substr(eq + 1));
        }
        return m;
    }

    fs::path dir;
};

}  // namespace

TEST_F(KdctlParams, DumpPrintsEveryKeyOfARawFile) {
    TKestParam p;
    p.LoadDefaultImage();
    p.SetBank(6, pk::AreaLeft(3), -14998);
    p.SetSys(pk::StrThd, -999999);
    p.ValidMask = kValidAll;
    p.SaveToFile(Path("a.bin"));
    RunResult r = Run("dump " + Path("a.bin"));
    ASSERT_EQ(r.code, 0) << r.err;
    int count = 0;
    auto m = Lines(r.out, &count);
    EXPECT_EQ(count, 2 + 21 + 8 * 118);  // no master lines for a raw file
    EXPECT_EQ(m["HeadRowOffset"], "10");
    EXPECT_EQ(m["StrThd"], "-999999");
    EXPECT_EQ(m["StrSmp"], "125");
    EXPECT_EQ(m["Bank7.A3.Left"], "-14998");
    EXPECT_EQ(m["Bank1.MeasureLimit"], "32");
    EXPECT_EQ(m["Bank8.O1.ULimit"], "-24000");
    EXPECT_EQ(r.out.substr(0, 30), "HeadRowOffset=10\nHeadColOffset");
    EXPECT_NE(r.out.find("\nStrRpt=0\nStrRpt=0\nStrSmp="), std::string::npos);
    EXPECT_NE(r.out.find("\nBank1.A4.Infl=0\nBank1.A4.Cmp=1\nBank1.A4.Dir=0\n"), std::string::npos);
}

TEST_F(KdctlParams, DumpListsMastersOfATextFile) {
    TMasterStore masters;
    TKestParam p;
    p.Masters = &masters;
    p.LoadDefaultImage();
    masters.MasterCount[2] = 3;
    masters.MasterWords[2][2] = 3 << 5;
    p.SaveToFile(Path("a.kd"));
    RunResult r = Run("dump " + Path("a.kd"));
    ASSERT_EQ(r.code, 0) << r.err;
    int count = 0;
    auto m = Lines(r.out, &count);
    EXPECT_EQ(count, 2 + 21 + 8 * 118 + 1);
    EXPECT_EQ(m["Master3"], "3");
    EXPECT_EQ(m["HeadRowOffset"], "0");  // text files carry no header
    EXPECT_EQ(r.out.substr(r.out.size() - 11), "\nMaster3=3\n");
}

TEST_F(KdctlParams, BadFilesAndArguments) {
    std::ofstream(Path("a.dat")) << "x";
    RunResult r = Run("dump " + Path("a.dat"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kdctl: unknown ext;.dat\n");
    EXPECT_TRUE(r.out.empty());
    std::ofstream(Path("e.kd")) << "";
    r = Run("dump " + Path("e.kd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kdctl: KD param file empty\n");
    std::ofstream(Path("s.bin")) << "short";
    r = Run("dump " + Path("s.bin"));
    EXPECT_EQ(r.err, "kdctl: load bin file; param file size missmatched\n");
    std::ofstream(Path("z.kd")) << "#KD sensor parameters file FMT1\r\nSys.Hexa="
                                << std::string(16 * 2, ' ')
                                << "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 q\r\n";
    r = Run("dump " + Path("z.kd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kdctl: '" + Path("z.kd") + "': bad hexadecimal word 'q' in Sys.Hexa\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Run("dump").code, 2);
    EXPECT_EQ(Run("dump a b").code, 2);
    EXPECT_EQ(Run("convert " + Path("a.kd")).code, 2);
}

TEST_F(KdctlParams, ConvertBetweenTextAndRaw) {
    TMasterStore masters;
    TKestParam p;
    p.Masters = &masters;
    p.LoadDefaultImage();
    p.SetBank(3, pk::Shutter, 1000);
    masters.MasterCount[0] = 1;
    masters.MasterWords[0][2] = 1 << 5;
    p.SaveToFile(Path("one.kd"));

    ASSERT_EQ(Run("convert " + Path("one.kd") + " " + Path("two.bin")).code, 0);
    EXPECT_EQ(fs::file_size(dir / "two.bin"), 2048u);
    ASSERT_EQ(Run("convert " + Path("two.bin") + " " + Path("three.DALO")).code, 0);
    ASSERT_EQ(Run("convert " + Path("one.kd") + " " + Path("four.vyn")).code, 0);
    std::string one = ReadFileAll(Path("one.kd"));
    std::string three = ReadFileAll(Path("three.DALO"));
    std::string four = ReadFileAll(Path("four.vyn"));
    auto body = [](const std::string& t) { return t.substr(t.find("\r\n\r\n")); };
    // raw files hold no masters: the text made from one lacks the master line
    EXPECT_NE(body(one), body(three));
    EXPECT_EQ(body(one), body(four));
    std::string noMaster = body(one);
    noMaster.erase(noMaster.find("Master1.Hexa="), 13 + 6 * 5 - 1 + 2);
    EXPECT_EQ(body(three), noMaster);

    TKestParam q;
    q.LoadFromFile(Path("two.bin"));
    EXPECT_EQ(q.GetBank(3, pk::Shutter), 1000);
    for (int w = kSysWord; w < kImageWords; ++w) EXPECT_EQ(q.Word(w), p.Word(w)) << w;
}

TEST_F(KdctlParams, ConvertRefusesBadTargetsAndKeepsExistingFiles) {
    TKestParam p;
    p.LoadDefaultImage();
    p.SaveToFile(Path("one.kd"));
    std::ofstream(Path("old.bin")) << "previous";
    RunResult r = Run("convert " + Path("one.kd") + " " + Path("x.txt"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kdctl: TEXT format not implemnt\n");
    r = Run("convert " + Path("one.kd") + " " + Path("x.dat"));
    EXPECT_EQ(r.err, "kdctl: unknown ext;.dat\n");
    std::ofstream(Path("bad.kd")) << "not a parameter file\r\n";
    r = Run("convert " + Path("bad.kd") + " " + Path("old.bin"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kdctl: KD param file unknown format\n");
    EXPECT_EQ(ReadFileAll(Path("old.bin")), "previous");
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
    EXPECT_FALSE(fs::exists(dir / "x.dat"));
}

TEST_F(KdctlParams, IncompleteInputIsConvertedOnlyWhenAllowedAndDumpedWithAWarning) {
    const std::string h = Path("h.kd");
    std::ofstream(h, std::ios::binary) << "#KD sensor parameters file FMT1\r\n";
    const std::string missing =
        "'" + h + "': file has no Sys, Bank1, Bank2, Bank3, Bank4, Bank5, Bank6, Bank7, Bank8 data";
    RunResult r = Run("convert " + h + " " + Path("h.bin"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("kdctl: " + missing), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("h.bin")));
    r = Run("convert --allow-incomplete " + h + " " + Path("h.bin"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs::file_size(Path("h.bin")), 2048u);
    r = Run("dump " + h);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("kdctl: warning: " + missing), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Bank8."), std::string::npos);
}

TEST_F(KdctlParams, SpecialFilesAreRefusedAtOnce) {
    const std::string fifo = Path("f.kd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string cmd : {"dump ", "convert ", "send "}) {
        const std::string args = cmd + fifo + (cmd == "convert " ? " " + Path("o.bin") : "");
        RunResult r = Run("--port /nonexistent " + args);  // a hang ends the test run
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_NE(r.err.find("'" + fifo + "': not a regular file"), std::string::npos) << r.err;
    }
}
