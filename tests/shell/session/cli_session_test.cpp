// kdctl's session commands, run as the program against its built-in
// simulated sensor (port SIM): output, files, exit codes and what crossed the
// link according to the sensor's frame trace.
#include <cstdlib>
#include <regex>

#include "common/atomic_file.h"
#include "session_fixture.h"
#include "tests/support/run_command.h"

namespace sessiontest {
namespace {

using kdtest::RunResult;

class KdctlSession : public ::testing::Test {
  protected:
    void SetUp() override { dir = ScratchDir(); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Runs kdctl with the arguments; simArgs go to the built-in sensor, whose
    // frame trace is written to dir/sim.txt.
    RunResult Kdctl(const std::string& args, const std::string& simArgs = "") {
        return kdtest::RunToFiles("cd '" + dir + "' && XDG_DATA_HOME='" + dir +
                                      "/data' KDSIM_ARGS='--trace " + dir + "/sim.txt " + simArgs +
                                      "' '" + KDCTL_PATH + "' " + args,
                                  dir);
    }
    std::vector<std::string> SimRequests() { return ReadRequests(dir + "/sim.txt"); }
    std::vector<std::string> Only(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& r : SimRequests()) {
            if (r.rfind(prefix, 0) == 0) out.push_back(r);
        }
        return out;
    }

    std::string dir;
};

TEST_F(KdctlSession, WatchEndsWhenThePortGoesAway) {
    // kdsim on its own pseudo-terminal, stopped while kdctl watches it.
    const std::string link = dir + "/kd";
    const std::string script = "'" + std::string(KDSIM_PATH) + "' --pace --link '" + link +
                               "' >/dev/null & sim=$!; sleep 0.3; (sleep " +
                               (kdtest::kSlowBuild ? "3" : "0.8") +
                               "; kill $sim) & "
                               "timeout 10 '" +
                               KDCTL_PATH + "' --port '" + link + "' watch >'" + dir + "/out' 2>'" +
                               dir + "/err'; echo $? >'" + dir + "/rc'; wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_EQ(kd::ReadFileAll(dir + "/rc"), "1\n");
    EXPECT_EQ(kd::ReadFileAll(dir + "/err"), "kdctl: lost the port " + link + "\n");
    // Live lines while the sensor was there, none once it had gone.
    const std::string out = kd::ReadFileAll(dir + "/out");
    EXPECT_GT(std::count(out.begin(), out.end(), '\n'), 10);
}

TEST_F(KdctlSession, VersionPrintsTheVersionAndSamplingPeriod) {
    RunResult r = Kdctl("version");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex("53:6D:50\n[0-9]+\n"))) << r.out;
    EXPECT_EQ(SimRequests().front(), "NULL_CMD");

    r = Kdctl("version", "--version 53:6D:51");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), "53:6D:51\n");
    EXPECT_EQ(Kdctl("version extra").code, 2);
}

TEST_F(KdctlSession, ConnectionFailureExitsOne) {
    RunResult r = Kdctl("--port '" + dir + "/none' version");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("kdctl: serial port cannot open"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(KdctlSession, ReceiveSavesAFileThatReadsBack) {
    RunResult r = Kdctl("receive got.kd");
    ASSERT_EQ(r.code, 0) << r.err;
    kd::TKestParam p;
    kd::TMasterStore m;
    p.Masters = &m;
    p.LoadFromFile(dir + "/got.kd");
    EXPECT_EQ(p.GetBank(0, kd::pk::MeasureLimit) >= 0, true);
    EXPECT_EQ(kd::ReadFileAll(dir + "/got.kd").substr(0, 13), "#KD sensor pa");
    ASSERT_EQ(Kdctl("receive got.bin").code, 0);
    EXPECT_EQ(kd::ReadFileAll(dir + "/got.bin").size(), 2048u);
    EXPECT_EQ(Kdctl("receive got.txt").code, 2);
    EXPECT_EQ(Kdctl("receive").code, 2);
    EXPECT_EQ(Kdctl("receive '" + dir + "/no/such/dir/x.kd'").code, 1);
}

TEST_F(KdctlSession, SendWritesTheFileKeepsABackupAndRefusesABadFileBeforeConnecting) {
    ASSERT_EQ(Kdctl("receive a.bin").code, 0);
    RunResult r = Kdctl("send a.bin");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Only("EPM_WRITE").size(), 9u);
    EXPECT_EQ(Only("SYS_UPDATE").size(), 1u);
    int backups = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/data/KDTrelva/backup")) {
        backups += e.path().filename().string().rfind("open_", 0) == 0;
    }
    EXPECT_EQ(backups, 1);

    kd::WriteFileAtomic(dir + "/bad.bin", "short");
    std::filesystem::remove(dir + "/sim.txt");
    r = Kdctl("send bad.bin");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("kdctl: "), std::string::npos);
    EXPECT_TRUE(SimRequests().empty());
    EXPECT_EQ(Kdctl("send missing.kd").code, 1);
}

TEST_F(KdctlSession, SendRefusesAFileThatLacksBlocks) {
    for (const std::string& text :
         {std::string("#KD sensor parameters file FMT1\r\n"),
          "#KD sensor parameters file FMT1\r\nSys.Hexa=" + std::string(31, '0') + "\r\n"}) {
        std::ofstream(dir + "/h.kd", std::ios::binary) << text;
        RunResult r = Kdctl("send h.kd");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("kdctl: 'h.kd': file has no "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Bank8 data; nothing was sent to the sensor"), std::string::npos);
        EXPECT_TRUE(SimRequests().empty());
    }
}

TEST_F(KdctlSession, WriteEepromAllOrOneBankNumberedFromOne) {
    ASSERT_EQ(Kdctl("write-eeprom").code, 0);
    EXPECT_EQ(Only("EPM_WRITE").size(), 9u);
    ASSERT_EQ(Kdctl("write-eeprom --bank 3").code, 0);
    EXPECT_EQ(Only("EPM_WRITE"), (std::vector<std::string>{"EPM_WRITE 1,2", "EPM_WRITE 1,15"}));
    EXPECT_EQ(Kdctl("write-eeprom --bank 0").code, 2);
    EXPECT_EQ(Kdctl("write-eeprom --bank 9").code, 2);
    EXPECT_EQ(Kdctl("write-eeprom --bank").code, 2);
    EXPECT_EQ(Kdctl("write-eeprom 3").code, 2);
    RunResult r = Kdctl("write-eeprom", "--faults epm-exe=100");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("EPM_WRITE retey over"), std::string::npos) << r.err;
}

TEST_F(KdctlSession, BankCopyToOneAndToAll) {
    ASSERT_EQ(Kdctl("bank-copy 2 5").code, 0);
    EXPECT_EQ(Only("EPM_WRITE"), (std::vector<std::string>{"EPM_WRITE 1,4"}));
    EXPECT_EQ(Only("MEM_READ 0x"),
              (std::vector<std::string>{"MEM_READ 0x7F4 12", "MEM_READ 0x49C 124"}));
    ASSERT_EQ(Kdctl("bank-copy 2 all").code, 0);
    EXPECT_EQ(Only("EPM_WRITE").size(), 8u);
    EXPECT_EQ(Only("SYS_UPDATE").size(), 1u);
    EXPECT_EQ(Kdctl("bank-copy 2").code, 2);
    EXPECT_EQ(Kdctl("bank-copy 9 1").code, 2);
    EXPECT_EQ(Kdctl("bank-copy 1 every").code, 2);
}

TEST_F(KdctlSession, WatchPrintsOneLinePerTick) {
    RunResult r = Kdctl("watch --count 4");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::regex line(
        "ch=(-|-?[0-9]+)(,(-|-?[0-9]+)){5} out=(-|-?[0-9]+)(,(-|-?[0-9]+)){3} ana=(-|-?[0-9]+) "
        "status=[0-9A-F]{4} link=2");
    std::istringstream in(r.out);
    std::string l;
    int n = 0;
    while (std::getline(in, l)) {
        EXPECT_TRUE(std::regex_match(l, line)) << l;
        ++n;
    }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(Only("GET_MEAS 0").size(), 4u);

    // An older sensor has no analog output value: its output column shows
    // the no-value mark, the analog current keeps its start value.
    r = Kdctl("watch --count 1", "--version 53:45:45");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(" out=[-0-9]+,[-0-9]+,[-0-9]+,- ana=0 ")))
        << r.out;
    EXPECT_EQ(Kdctl("watch --count 0").code, 2);
    EXPECT_EQ(Kdctl("watch --count x").code, 2);
}

TEST_F(KdctlSession, ProfileWritesAProfileFile) {
    RunResult r = Kdctl("profile p.txt");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = kd::ReadFileAll(dir + "/p.txt");
    ASSERT_EQ(text.rfind("#KEST profile\r\n", 0), 0u);
    std::istringstream in(text.substr(15));
    std::string l;
    int n = 0;
    while (std::getline(in, l)) {
        EXPECT_TRUE(std::regex_match(l, std::regex("-?[0-9]*,-?[0-9]*\r"))) << l;
        ++n;
    }
    EXPECT_GT(n, 10);
    EXPECT_EQ(Kdctl("profile").code, 2);
}

TEST_F(KdctlSession, GetAndSetSettingsAsThePagesDo) {
    // One key of each kind: an edit, a list, a list over bits, a dragged line.
    RunResult r = Kdctl("get InputFilter TrigAction InputsPolar HCorrect");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("InputFilter=[0-9]+\nTrigAction=[0-2]?\nInputsPolar=[01]?\n"
                          "HCorrect=-?[0-9]+\n")))
        << r.out;
    for (const char* c : {"SET_GPIO", "SET_TMD", "SET_HCORRECT", "EPM_WRITE"})
        EXPECT_TRUE(Only(c).empty()) << c;  // reading changes nothing
    r = Kdctl("get --list");
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("TrigDelay edit 5..20475 (TrigDelayEdit)"), std::string::npos);

    // Set: the page's check, image write, command and payload.
    r = Kdctl("set InputFilter=7 TrigAction=2 HCorrect=10001 InputsPolar=1");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "InputFilter=5\nTrigAction=2\nHCorrect=10000\nInputsPolar=1\n");
    EXPECT_EQ(Only("SET_GPIO_IFILL"), (std::vector<std::string>{"SET_GPIO_IFILL 1"}));
    EXPECT_EQ(Only("SET_TMD"), (std::vector<std::string>{"SET_TMD 2"}));
    EXPECT_EQ(Only("SET_HCORRECT"), (std::vector<std::string>{"SET_HCORRECT 5000"}));
    EXPECT_EQ(Only("SET_GPIO_IPOLAR"), (std::vector<std::string>{"SET_GPIO_IPOLAR 1"}));
    EXPECT_TRUE(Only("EPM_WRITE").empty());  // not permanent without --save

    // A refused value: exit 1 naming it, nothing sent for it, the others done,
    // and --save makes nothing permanent.
    r = Kdctl("set TrigCount=5000 TrigDelay=12 --save");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("TrigCount=5000 refused: outside 1..4095"), std::string::npos) << r.err;
    EXPECT_TRUE(Only("SET_PCNT").empty());
    EXPECT_EQ(Only("SET_TDLY"), (std::vector<std::string>{"SET_TDLY 2"}));
    EXPECT_TRUE(Only("EPM_WRITE").empty());
    EXPECT_EQ(Kdctl("set ZeroTarget=x").code, 1);

    // --save: the current bank and then all, as Write Param for the bank does.
    r = Kdctl("set TrigCount=9 --save");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> epm = Only("EPM_WRITE");
    ASSERT_EQ(epm.size(), 2u);
    EXPECT_EQ(epm.back(), "EPM_WRITE 1,15");

    // Lengths and limits as the pages show and take them: millimetres, a
    // limit with its channel's offset added; an edge beyond the sensor is
    // clamped by it, not refused.
    r = Kdctl("set O1.Ch=0 C1.Offset=1.5 O1.ULimit=3 A1.Left=-20");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "O1.Ch=0\nC1.Offset=1.50\nO1.ULimit=3.000\nA1.Left=-14.998\n");
    EXPECT_EQ(Only("SET_SHIFT_ZERO"), (std::vector<std::string>{"SET_SHIFT_ZERO 0,150"}));
    EXPECT_EQ(Only("SET_GPIO_ULMT"), (std::vector<std::string>{"SET_GPIO_ULMT 0,1500"}));
    const std::vector<std::string> rect = Only("AREA_RECT");
    ASSERT_EQ(rect.size(), 1u);
    EXPECT_NE(rect[0].find(kd::Format(",%d,", static_cast<uint16_t>(-14998 >> 1))),
              std::string::npos)
        << rect[0];

    // Usage errors stop before the sensor is touched.
    EXPECT_EQ(Kdctl("get NoSuchKey").code, 2);
    EXPECT_EQ(Kdctl("set TrigCount").code, 2);
    EXPECT_EQ(Kdctl("set").code, 2);
    EXPECT_EQ(Kdctl("get").code, 2);
}

}  // namespace
}  // namespace sessiontest
