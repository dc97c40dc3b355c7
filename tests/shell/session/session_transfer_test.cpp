// EEPROM writes, bank copies, bank changes and the file workflows against the
// simulated sensor: the frames in their order, what the sensor holds
// afterwards, the image's flags and the backups.
#include <filesystem>
#include <thread>

#include "common/clock.h"
#include "shell/session/settings_backup.h"

#include "params/param_files.h"
#include "session_fixture.h"

namespace sessiontest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> MasterWrite(int bank) {
    return {"MEM_WRITE 0xD000 4", "MST_WRITE " + std::to_string(bank)};
}

size_t BankWord(int bank) {
    return static_cast<size_t>(kd::BankStartWord(bank));
}

bool SameBank(const kdsim::ParamWords& a, int bankA, const kdsim::ParamWords& b, int bankB) {
    return std::equal(a.begin() + BankWord(bankA), a.begin() + BankWord(bankA) + kd::kBankWords,
                      b.begin() + BankWord(bankB));
}

// Makes bank n of the sensor differ from the others.
void MarkSensorBank(SessionRig& rig, int bank, uint16_t base) {
    rig.WithModel([&](kdsim::SensorModel& m) {
        auto& p = m.MutableParams();
        for (int i = 0; i < kd::kBankWords; ++i)
            p[BankWord(bank) + static_cast<size_t>(i)] = static_cast<uint16_t>(base + i);
    });
}

std::vector<std::string> Filter(const std::vector<std::string>& req, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& r : req) {
        if (r.rfind(prefix, 0) == 0) out.push_back(r);
    }
    return out;
}

TEST(WriteToEeprom, AllBanksSendsMastersThenEpmWritePerBankThenAll) {
    SessionRig rig;
    rig.Connect();
    rig.state.SysModeActive = true;
    rig.image.SetSensorModified(true);
    rig.host.SyncOn = false;
    rig.NewRequests();
    LogCapture log;
    rig.session->WriteToEeprom(-1);

    std::vector<std::string> expected = WholeImageRead(true);
    for (int b = 0; b < 8; ++b) {
        auto m = MasterWrite(b);
        expected.insert(expected.end(), m.begin(), m.end());
        expected.push_back("EPM_WRITE 1," + std::to_string(b));
    }
    expected.push_back("EPM_WRITE 1,15");
    EXPECT_EQ(rig.NewRequests(), expected);
    EXPECT_TRUE(log.Has("EPM_WRITE(7)"));
    EXPECT_TRUE(log.Has("EPM_WRITE(ALL)"));
    EXPECT_FALSE(rig.state.SysModeActive);
    EXPECT_FALSE(rig.image.SensorModified);
    EXPECT_TRUE(rig.host.SyncOn);
    EXPECT_EQ(rig.host.Events.back(), "message:Send Para.|Completed.");
    EXPECT_EQ(rig.SensorEeprom(), rig.SensorParams());
    EXPECT_EQ(rig.host.WaitDepth, 0);
}

TEST(WriteToEeprom, OldSensorWritesNoMasters) {
    SessionRig rig(SimVersion(0x53, 0x6D, 0x45));
    rig.Connect();
    rig.NewRequests();
    rig.session->WriteToEeprom(-1);
    const auto req = rig.NewRequests();
    EXPECT_TRUE(Filter(req, "MST_WRITE").empty());
    EXPECT_TRUE(Filter(req, "MEM_WRITE").empty());
    EXPECT_EQ(Filter(req, "EPM_WRITE").size(), 9u);
}

TEST(WriteToEeprom, OneBankReadsThatBankBackAndWritesItThenAll) {
    SessionRig rig;
    rig.Connect();
    MarkSensorBank(rig, 6, 0x1200);
    rig.image.ValidMask = 0;
    rig.NewRequests();
    rig.session->WriteToEeprom(6);
    std::vector<std::string> expected = {kd::Format("MEM_READ 0x%X 124", 0x420 + 124 * 6)};
    auto m = MasterWrite(6);
    expected.insert(expected.end(), m.begin(), m.end());
    expected.push_back("EPM_WRITE 1,6");
    expected.push_back("EPM_WRITE 1,15");
    EXPECT_EQ(rig.NewRequests(), expected);
    EXPECT_EQ(rig.image.ValidMask, 1u << 6);
    EXPECT_EQ(rig.image.Word(kd::BankStartWord(6) + 5), 0x1205);
    EXPECT_THROW(rig.session->WriteToEeprom(8), kd::EKestError);
    EXPECT_THROW(rig.session->WriteToEeprom(-2), kd::EKestError);
    EXPECT_TRUE(rig.NewRequests().empty());
}

TEST(WriteToEeprom, ConfirmationCancelSendsNothing) {
    SessionRig rig;
    rig.Connect();
    rig.NewRequests();
    rig.host.ConfirmAnswer = false;
    rig.session->SendAll();
    rig.session->SendBank();
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_TRUE(rig.host.Has("confirm:param_write_all"));
    EXPECT_TRUE(rig.host.Has("confirm:param_write_bank"));
    rig.host.ConfirmAnswer = true;
    rig.session->SendBank();
    EXPECT_EQ(Filter(rig.NewRequests(), "EPM_WRITE"),
              (std::vector<std::string>{"EPM_WRITE 1,0", "EPM_WRITE 1,15"}));
}

TEST(WriteToEeprom, BusySensorIsAskedAgainAndAGiveUpEndsTheWorkflow) {
    kdsim::SimOptions o;
    o.faults = "epm-exe=3";
    SessionRig rig(o);
    rig.Connect();
    rig.NewRequests();
    rig.session->WriteToEeprom(2);
    EXPECT_EQ(Filter(rig.NewRequests(), "EPM_WRITE"),
              (std::vector<std::string>{"EPM_WRITE 1,2", "EPM_WRITE 1,2", "EPM_WRITE 1,2",
                                        "EPM_WRITE 1,2", "EPM_WRITE 1,15"}));

    kdsim::SimOptions never;
    never.faults = "epm-exe=100";
    SessionRig stuck(never);
    stuck.Connect();
    stuck.image.SetSensorModified(true);
    try {
        stuck.session->WriteToEeprom(-1);
        FAIL() << "no error";
    } catch (const kd::EKestError& e) {
        EXPECT_STREQ(e.what(), "EPM_WRITE retey over");
    }
    EXPECT_TRUE(stuck.image.SensorModified);
    EXPECT_EQ(stuck.host.WaitDepth, 0);
}

TEST(BankCopy, FromBankTwoToAllWritesEveryBankAndUpdatesOnce) {
    SessionRig rig;
    rig.Connect();
    MarkSensorBank(rig, 2, 0x3000);
    const auto before = rig.SensorParams();
    rig.NewRequests();
    const int refreshes = rig.host.Refreshes;
    LogCapture log;
    rig.session->BankCopy(8, 2);

    std::vector<std::string> expected = {"MEM_READ 0x518 124", "GET_MST_ADDR 2"};
    for (int t = 0; t < 8; ++t) {
        expected.push_back(kd::Format("MEM_WRITE 0x%X 124", 0x420 + 124 * t));
        auto m = MasterWrite(t);
        expected.insert(expected.end(), m.begin(), m.end());
        expected.push_back("EPM_WRITE 1," + std::to_string(t));
        if (t == 0) expected.push_back("SYS_UPDATE");  // the selector's bank
    }
    EXPECT_EQ(rig.NewRequests(), expected);
    const auto after = rig.SensorParams();
    for (int t = 0; t < 8; ++t) EXPECT_TRUE(SameBank(after, t, before, 2)) << t;
    EXPECT_EQ(rig.host.Refreshes, refreshes + 1);
    EXPECT_TRUE(rig.image.SensorModified);
    EXPECT_TRUE(log.Has("BankCopy b2 to b8"));
    EXPECT_TRUE(log.Has("MemRead(0x00000518, 124)"));
    EXPECT_TRUE(log.Has("SYS_UPDATE"));
    for (int t = 0; t < 8; ++t) EXPECT_EQ(rig.image.Word(kd::BankStartWord(t) + 9), 0x3009) << t;

    // The banks as they were are kept in a backup file.
    ASSERT_EQ(rig.session->Backups.size(), 1u);
    kd::TKestParam saved;
    saved.LoadFromFile(rig.session->Backups[0]);
    for (int i = 0; i < kd::kBankWords; ++i)
        EXPECT_EQ(saved.Word(kd::BankStartWord(5) + i),
                  before[BankWord(5) + static_cast<size_t>(i)]);
}

TEST(BankCopy, OntoOneOtherBankLeavesTheSelectorBankAlone) {
    SessionRig rig;
    rig.Connect();
    MarkSensorBank(rig, 1, 0x4000);
    rig.NewRequests();
    const int refreshes = rig.host.Refreshes;
    rig.session->BankCopy(6, 1);
    std::vector<std::string> expected = {"MEM_READ 0x49C 124", "GET_MST_ADDR 1",
                                         kd::Format("MEM_WRITE 0x%X 124", 0x420 + 124 * 6)};
    auto m = MasterWrite(6);
    expected.insert(expected.end(), m.begin(), m.end());
    expected.push_back("EPM_WRITE 1,6");
    EXPECT_EQ(rig.NewRequests(), expected);
    EXPECT_EQ(rig.host.Refreshes, refreshes);
    EXPECT_TRUE(SameBank(rig.SensorParams(), 6, rig.SensorParams(), 1));
    EXPECT_EQ(rig.session->Backups.size(), 1u);
}

TEST(BankCopy, OntoItselfNeedsNoBackupAndOldSensorsCopyNoMasters) {
    SessionRig rig(SimVersion(0x53, 0x6D, 0x45));
    rig.Connect();
    rig.masters.MasterCount[3] = 2;
    rig.masters.MasterWords[3][2] = 2 << 5;
    rig.NewRequests();
    rig.session->BankCopy(3, 3);
    EXPECT_EQ(
        rig.NewRequests(),
        (std::vector<std::string>{"MEM_READ 0x594 124", "MEM_WRITE 0x594 124", "EPM_WRITE 1,3"}));
    EXPECT_TRUE(rig.session->Backups.empty());
    rig.session->BankCopy(4, 3);
    EXPECT_EQ(rig.masters.MasterCount[4], 2);
    EXPECT_EQ(rig.masters.MasterWords[4][2], 2 << 5);
    EXPECT_THROW(rig.session->BankCopy(9, 0), kd::EKestError);
    EXPECT_THROW(rig.session->BankCopy(0, 8), kd::EKestError);
}

TEST(BankCopy, NoBackupFolderMeansNothingIsOverwritten) {
    SessionRig rig;
    rig.Connect();
    std::ofstream(rig.dir + "/file") << "x";
    rig.session->BackupDir = rig.dir + "/file/backup";
    rig.NewRequests();
    EXPECT_THROW(rig.session->BankCopy(8, 1), kd::EKestError);
    EXPECT_TRUE(rig.NewRequests().empty());
}

TEST(BankCopy, SysUpdateFailureIsLoggedAndTheCopyGoesOn) {
    SessionRig rig;
    rig.Connect();
    rig.thread->Port().replyTimeout = kdtest::kShortTimeoutMs;
    rig.session->SysUpdateDelayMs = 5;
    // The sensor stops answering from the selector bank's EPM_WRITE until the
    // failed SYS_UPDATE has been logged.
    std::atomic<int> phase{0};
    uint64_t epmSeen = 0;
    std::thread blocker;
    std::vector<std::string> lines;
    kd::ScopedLogSink sink([&](int, const std::string& l) {
        lines.push_back(l);
        if (l == "EPM_WRITE(0)" && phase == 0) {
            epmSeen = rig.sensor->GetStats().requests;
            blocker = std::thread([&] {
                rig.WithModel([&](kdsim::SensorModel&) {
                    phase = 1;
                    while (phase == 1) kd::SleepMs(1);
                });
            });
            while (phase == 0) kd::SleepMs(1);
        } else if (l.rfind("SYS_UPDATE: ", 0) == 0 && phase == 1) {
            phase = 2;
            blocker.join();
            // The late replies to the SYS_UPDATE attempts leave before the next request.
            for (int i = 0; i < 2000; ++i) {
                const auto st = rig.sensor->GetStats();
                if (st.replies == st.requests && st.requests >= 3 + epmSeen) break;
                kd::SleepMs(1);
            }
        }
    });
    rig.session->BankCopy(8, 1);
    if (blocker.joinable()) blocker.join();
    EXPECT_EQ(phase.load(), 2);
    const bool ignored = std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("SYS_UPDATE: ", 0) == 0 && l.size() > 20 &&
               l.substr(l.size() - 8) == "; IGNORE";
    });
    EXPECT_TRUE(ignored);
    EXPECT_EQ(rig.session->SysUpdateFailures, 1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "EPM_WRITE(7)"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "BankCopy b1 to b8"), lines.end());
    const auto sensor = rig.SensorParams();
    for (int t = 0; t < 8; ++t) EXPECT_TRUE(SameBank(sensor, t, sensor, 1)) << t;
}

TEST(BankChange, InputSwitchedBanksAskFirstAndCancelSendsNothing) {
    SessionRig rig;
    rig.Connect();
    rig.image.SetSys(kd::pk::BankSwitch, 0);
    rig.image.SetSensorModified(false);
    rig.NewRequests();
    rig.host.ConfirmAnswer = false;
    rig.session->BankChange(3);
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_TRUE(rig.host.Has("confirm:bank changing is overrode"));
    EXPECT_EQ(rig.host.Selector, 0);
    EXPECT_EQ(rig.state.CurrentBank, 0);
    EXPECT_EQ(rig.image.GetSys(kd::pk::Bank), 0);

    rig.host.ConfirmAnswer = true;
    rig.image.SetSensorModified(true);
    LogCapture log;
    rig.session->BankChange(3);
    EXPECT_EQ(rig.NewRequests(),
              (std::vector<std::string>{"BCHG_MTH 1", "EPM_WRITE 1,0", "SET_BANK 3"}));
    EXPECT_EQ(rig.state.CurrentBank, 3);
    EXPECT_EQ(rig.host.Selector, 3);
    EXPECT_EQ(rig.image.GetSys(kd::pk::Bank), 3);
    EXPECT_EQ(rig.image.GetSys(kd::pk::BankSwitch), 1);
    EXPECT_FALSE(rig.image.SensorModified);
    EXPECT_TRUE(log.Has("SET_BANK(3)"));
    int bank = -1;
    rig.WithModel([&](kdsim::SensorModel& m) { bank = m.CurrentBank(); });
    EXPECT_EQ(bank, 3);

    // Banks switched by the program: no question, nothing to make permanent.
    rig.session->BankChange(5);
    EXPECT_EQ(rig.NewRequests(), (std::vector<std::string>{"SET_BANK 5"}));
    // The same bank again does nothing.
    rig.session->BankChange(5);
    EXPECT_TRUE(rig.NewRequests().empty());
}

TEST(BankChange, WithoutConnectionOnlyTheImageChanges) {
    SessionRig rig;
    rig.session->FileNew();
    rig.image.SetSys(kd::pk::BankSwitch, 0);
    rig.session->BankChange(2);
    EXPECT_EQ(rig.state.CurrentBank, 2);
    EXPECT_FALSE(rig.host.Has("confirm:bank changing is overrode"));
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_THROW(rig.session->BankChange(8), kd::EKestError);
}

TEST(FileNew, DefaultImageWithMeasureLimitTwelve) {
    SessionRig rig;
    rig.image.Image.fill(0x77);
    rig.image.SetFileModified(true);
    rig.image.FileName = "kept.kd";
    rig.session->FileNew();
    const int bank = rig.image.GetSys(kd::pk::Bank);
    EXPECT_EQ(rig.image.GetBank(bank, kd::pk::MeasureLimit), 12);
    EXPECT_FALSE(rig.image.FileModified);
    EXPECT_FALSE(rig.image.SensorModified);
    EXPECT_EQ(rig.image.ValidMask, kd::kValidAll);
    EXPECT_EQ(rig.image.FileName, "kept.kd");
    EXPECT_EQ(rig.image.Word(0), kd::DefaultImage()[0] | kd::DefaultImage()[1] << 8);
    EXPECT_EQ(rig.state.CurrentBank, bank);
}

TEST(FileOpen, NotInStepOnlyLoads) {
    SessionRig rig;
    rig.Connect();
    const std::string file = rig.dir + "/set.kd";
    rig.session->FileSaveAs(file);
    rig.host.SyncOn = false;
    rig.NewRequests();
    LogCapture log;
    rig.session->FileOpen(file);
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_TRUE(log.Has("load sensor settings '" + file + "'"));
    EXPECT_EQ(rig.host.FileName, file);
    EXPECT_TRUE(rig.session->Backups.empty());
}

TEST(FileOpen, InStepWritesTheFileToTheSensorAndMakesItPermanent) {
    SessionRig rig;
    rig.Connect();
    // A file whose banks differ from the sensor's.
    kd::TKestParam file;
    kd::TMasterStore fileMasters;
    file.Masters = &fileMasters;
    file.Image = rig.image.Image;
    for (int i = 0; i < kd::kBankWords; ++i)
        file.SetWord(kd::BankStartWord(4) + i, static_cast<uint16_t>(0x6000 + i));
    const std::string name = rig.dir + "/other.bin";
    file.ValidMask = kd::kValidAll;
    file.SaveToFile(name);
    const auto sensorBefore = rig.SensorParams();
    rig.NewRequests();
    LogCapture log;
    rig.session->FileOpen(name);

    std::vector<std::string> expected = {"MEM_WRITE 0x410 7", "MEM_WRITE 0x418 253",
                                         "MEM_WRITE 0x515 253", "MEM_WRITE 0x612 253",
                                         "MEM_WRITE 0x70F 241"};
    for (int b = 0; b < 8; ++b) {
        auto m = MasterWrite(b);
        expected.insert(expected.end(), m.begin(), m.end());
    }
    for (int b = 0; b < 8; ++b) expected.push_back("EPM_WRITE 1," + std::to_string(b));
    expected.push_back("EPM_WRITE 1,15");
    expected.push_back("SYS_UPDATE");
    EXPECT_EQ(rig.NewRequests(), expected);
    EXPECT_TRUE(log.Has("MemWrite(0x410, 1008words)"));

    const auto sensor = rig.SensorParams();
    for (int i = 0; i < kd::kBankWords; ++i)
        EXPECT_EQ(sensor[BankWord(4) + static_cast<size_t>(i)], 0x6000 + i);
    EXPECT_EQ(sensor[25], 1);                 // LastDisp
    EXPECT_EQ(sensor[23], sensorBefore[23]);  // left as the sensor had it
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(sensor[static_cast<size_t>(i)], sensorBefore[static_cast<size_t>(i)]);
    EXPECT_EQ(rig.SensorEeprom(), sensor);
    EXPECT_FALSE(rig.image.SensorModified);

    // The sensor's settings before the file replaced them are in the backup.
    ASSERT_EQ(rig.session->Backups.size(), 1u);
    kd::TKestParam saved;
    saved.LoadFromFile(rig.session->Backups[0]);
    for (int i = 0; i < kd::kBankWords; ++i)
        EXPECT_EQ(saved.Word(kd::BankStartWord(4) + i),
                  sensorBefore[BankWord(4) + static_cast<size_t>(i)]);
}

TEST(FileOpen, BadFileChangesNothingAnywhere) {
    SessionRig rig;
    rig.Connect();
    const auto image = rig.image.Image;
    const std::string name = rig.dir + "/bad.bin";
    std::ofstream(name) << "too short";
    rig.NewRequests();
    EXPECT_THROW(rig.session->FileOpen(name), kd::EKestError);
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_EQ(rig.image.Image, image);
}

// A file that lacks blocks would write zeros: in step it is refused before
// anything is sent; out of step it is shown, and the operator is told.
TEST(FileOpen, IncompleteFileIsNeverWrittenToTheSensor) {
    SessionRig rig;
    rig.Connect();
    const std::string name = rig.dir + "/h.kd";
    std::ofstream(name, std::ios::binary) << "#KD sensor parameters file FMT1\r\n";
    const auto image = rig.image.Image;
    const auto eeprom = rig.SensorEeprom();
    rig.NewRequests();
    try {
        rig.session->FileOpen(name);
        ADD_FAILURE() << "an incomplete file was opened in step";
    } catch (const kd::EKestError& e) {
        EXPECT_NE(std::string(e.what()).find("file has no Sys, Bank1, Bank2"), std::string::npos);
    }
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_EQ(rig.image.Image, image);
    EXPECT_EQ(rig.SensorEeprom(), eeprom);
    EXPECT_TRUE(rig.session->Backups.empty());

    rig.host.SyncOn = false;
    LogCapture log;
    rig.session->FileOpen(name);
    EXPECT_TRUE(rig.NewRequests().empty());
    const std::string told = "'" + name +
                             "': file has no Sys, Bank1, Bank2, Bank3, Bank4, Bank5, Bank6, Bank7, "
                             "Bank8 data; those settings are shown as zeros";
    EXPECT_TRUE(rig.host.Has("message:|" + told));
    EXPECT_TRUE(log.Has(told));
    EXPECT_EQ(rig.image.GetBank(3, kd::pk::MeasureLimit), 0);
}

TEST(FileSaveAs, RereadsWhenTheImageIsNotWholeAndInStep) {
    SessionRig rig;
    rig.Connect();
    rig.image.SetSys(kd::pk::GpioOnT, 1);  // clears the Sys valid bit
    ASSERT_NE(rig.image.ValidMask & kd::kValidSys, kd::kValidSys);
    rig.NewRequests();
    LogCapture log;
    const std::string name = rig.dir + "/a.kd";
    rig.session->FileSaveAs(name);
    EXPECT_EQ(rig.NewRequests(), WholeImageRead(true));
    EXPECT_EQ(rig.image.ValidMask, kd::kValidAll);
    EXPECT_TRUE(fs::exists(name));
    EXPECT_TRUE(log.Has("save sensor settings '" + name + "'"));
    EXPECT_EQ(rig.host.FileName, name);

    // Whole: no reading. Not in step: no reading either.
    rig.session->FileSaveAs(name);
    EXPECT_TRUE(rig.NewRequests().empty());
    rig.image.ValidMask = 0;
    rig.host.SyncOn = false;
    rig.session->FileSaveAs(rig.dir + "/b.kd");
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_THROW(rig.session->FileSaveAs(rig.dir + "/c.bin"),
                 kd::EKestError);  // raw needs a whole image
}

TEST(Backup, NamesAreTimeStampedAndNeverOverwritten) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(kd::BackupFileName("bankcopy", t), "bankcopy_20261207_090503.kd");
    EXPECT_EQ(kd::BackupFileName("../x y", t), "___x_y_20261207_090503.kd");
    EXPECT_EQ(kd::BackupFileName("", t), "backup_20261207_090503.kd");

    SessionRig rig;
    rig.session->FileNew();
    const std::string a = rig.session->BackupSettings("init");
    const std::string b = rig.session->BackupSettings("init");
    EXPECT_NE(a, b);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));
    kd::TKestParam back;
    back.LoadFromFile(b);
    for (int i = kd::kSysWord; i < kd::kImageWords; ++i)
        EXPECT_EQ(back.Word(i), rig.image.Word(i)) << i;
}

}  // namespace
}  // namespace sessiontest
