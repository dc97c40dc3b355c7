// Connecting and receiving against the simulated sensor: the frames in their
// order for each sensor version, the version text, the image afterwards, and
// a connection that fails.
#include <sys/wait.h>
#include <unistd.h>

#include "session_fixture.h"

namespace sessiontest {
namespace {

using kd::TSensorVersion;

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::string> MasterQueriesPerBank() {
    std::vector<std::string> out;
    for (int b = 0; b < 8; ++b) out.push_back("GET_MST_ADDR " + std::to_string(b));
    return out;
}

struct VersionCase {
    uint16_t soft;
    bool wide;
    bool perBank;
    bool tooNew;
};

class ConnectByVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ConnectByVersion, SendsTheFramesOfItsVersionAndFillsTheImage) {
    const VersionCase c = GetParam();
    SessionRig rig(SimVersion(0x53, 0x6D, c.soft));
    LogCapture log;
    rig.state.StoragePoll = false;  // a sensor before had no storage
    rig.Connect();

    const std::vector<std::string> masters =
        c.perBank ? MasterQueriesPerBank() : std::vector<std::string>{"GET_MST_ADDR"};
    EXPECT_EQ(rig.NewRequests(),
              Concat({{"NULL_CMD", "GET_VERSION", "SET_SYS_MODE 0", "GET_SMP_RATE"},
                      WholeImageRead(c.wide),
                      masters}));
    EXPECT_EQ(rig.thread->WideTransfers.load(), c.wide);
    EXPECT_EQ(rig.state.SensorVersion.Soft, c.soft);
    EXPECT_EQ(rig.state.LinkState, 2);
    EXPECT_TRUE(rig.host.SyncOn);
    EXPECT_TRUE(rig.host.Connected);
    EXPECT_TRUE(rig.session->NewConnection);
    EXPECT_TRUE(rig.state.NewConnection);
    EXPECT_TRUE(rig.state.StoragePoll);  // this one is asked anew
    EXPECT_TRUE(rig.host.Has("save-registry"));

    const std::string text = kd::Format("target ver53:6D:%02X(fpga:bios:soft)", c.soft) +
                             (c.tooNew ? "; TOO NEWER" : "");
    EXPECT_EQ(rig.host.Label, text);
    EXPECT_EQ(rig.host.LabelColor, c.tooNew ? kd::kColorRed : kd::kColorBlack);
    EXPECT_TRUE(log.Has(kd::Format("KEST version; fpga53, bios6D, soft%02X", c.soft)));
    EXPECT_TRUE(log.Has("SET_SYS_MODE(0)"));

    // The image now holds the sensor's parameter memory word for word.
    const auto sensor = rig.SensorParams();
    for (int i = 0; i < kd::kImageWords; ++i)
        ASSERT_EQ(rig.image.Word(i), sensor[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(rig.image.ValidMask, kd::kValidAll);
    EXPECT_FALSE(rig.image.NotLoaded);
    EXPECT_FALSE(rig.image.SensorModified);
    EXPECT_TRUE(rig.image.FileModified);
    EXPECT_EQ(rig.session->SamplingPeriod, [&] {
        uint32_t p = 0;
        rig.WithModel([&](kdsim::SensorModel& m) { p = m.SamplingPeriodUnits(); });
        return static_cast<uint16_t>(p);
    }());
    EXPECT_EQ(rig.host.WaitDepth, 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, ConnectByVersion,
                         ::testing::Values(VersionCase{0x45, false, false, false},
                                           VersionCase{0x49, true, true, false},
                                           VersionCase{0x4B, true, true, false},
                                           VersionCase{0x50, true, true, false},
                                           VersionCase{0x51, true, true, true}),
                         [](const auto& info) { return kd::Format("soft%02X", info.param.soft); });

TEST(Connect, SystemModeFollowsThePageAndReceiveSetsSysModeOnSettingsPages) {
    SessionRig rig;
    rig.state.CurrentPage = kd::kPageProfile;
    rig.Connect();
    auto req = rig.NewRequests();
    ASSERT_GE(req.size(), 3u);
    EXPECT_EQ(req[2], "SET_SYS_MODE 1");
    EXPECT_TRUE(rig.state.SysModeActive);

    SessionRig other;
    other.state.CurrentPage = kd::kPageOutput;
    other.Connect();
    EXPECT_EQ(other.NewRequests()[2], "SET_SYS_MODE 0");
    EXPECT_FALSE(other.state.SysModeActive);
}

TEST(Connect, MastersOfTheSensorArriveInTheMasterStore) {
    SessionRig rig;
    rig.Connect();
    // Register a master for bank 3 through the program's own master write.
    const int count = 40;
    auto& rec = rig.masters.MasterWords[3];
    rec.fill(0);
    rec[0] = 1;
    rec[2] = static_cast<uint16_t>(count << 5);
    for (int i = 0; i < count; ++i) {
        rec[static_cast<size_t>(4 + 2 * i)] = static_cast<uint16_t>(-5000 + 100 * i);
        rec[static_cast<size_t>(5 + 2 * i)] = static_cast<uint16_t>(1000 + i);
    }
    rig.masters.MasterCount[3] = count;
    rig.NewRequests();
    rig.session->WriteMaster(3);
    EXPECT_EQ(rig.NewRequests(), (std::vector<std::string>{"MEM_WRITE 0xD000 84", "MST_WRITE 3"}));

    const auto saved = rec;
    rec.fill(0xAAAA);
    rig.masters.MasterCount[3] = 0;
    LogCapture log;
    rig.session->ReceiveAll();
    EXPECT_EQ(rig.masters.MasterCount[3], count);
    for (int i = 0; i < 4 + 2 * count; ++i)
        EXPECT_EQ(rec[static_cast<size_t>(i)], saved[static_cast<size_t>(i)]) << i;
    EXPECT_TRUE(log.Has("bank3: master address 0x00023000"));
    EXPECT_TRUE(log.Has("bank2: no master"));
    auto req = rig.NewRequests();
    auto it = std::find(req.begin(), req.end(), "GET_MST_ADDR 3");
    ASSERT_NE(it, req.end());
    ASSERT_NE(it + 1, req.end());
    EXPECT_EQ(it[1].rfind("MEM_READ 0x23000", 0), 0u) << it[1];
}

TEST(Connect, OldSensorReadsOnlyTheSelectorBanksMaster) {
    SessionRig rig(SimVersion(0x53, 0x6D, 0x45));
    rig.state.CurrentBank = 5;
    rig.masters.MasterCount[5] = 7;  // stale: the sensor has none
    rig.Connect();
    auto req = rig.NewRequests();
    EXPECT_EQ(std::count_if(req.begin(), req.end(),
                            [](const std::string& r) { return r.rfind("GET_MST_ADDR", 0) == 0; }),
              1);
    EXPECT_EQ(rig.masters.MasterCount[5], 0);
}

TEST(Connect, FailureReleasesThePortShowsTheSetupPageAndTellsTheOperator) {
    SessionRig rig;
    rig.thread->PortName = rig.dir + "/no-such-port";
    EXPECT_FALSE(rig.session->TryConnect());
    EXPECT_NE(rig.session->LastConnectError.find("serial port cannot open"), std::string::npos);
    EXPECT_EQ(rig.state.LinkState, 0);
    EXPECT_FALSE(rig.thread->IsOpen());
    EXPECT_TRUE(rig.host.Has("page:90"));
    // The message says why the port did not open.
    EXPECT_TRUE(
        rig.host.Has("message:|Connection Failed.\n" + rig.dir + "/no-such-port: no such port"));
    EXPECT_FALSE(rig.host.SyncOn);
    EXPECT_TRUE(rig.session->NewConnection);
}

TEST(Connect, APortThatIsBusyOrNotPermittedSaysSoAndNamesTheFix) {
    SessionRig rig;
    const std::string failed = "message:|Connection Failed.\n";
    // Busy: another program has the port.
    const std::string path = rig.thread->PortName;
    kd::KestCom other;
    ASSERT_EQ(kd::ComOpen(other, path, 0), 1);
    EXPECT_FALSE(rig.session->TryConnect());
    EXPECT_TRUE(rig.host.Has(failed + path + ": the port is busy: another program is using it"));
    kd::ComClose(other);

    // Not permitted: a port without access for this user. The superuser passes
    // every permission check, so the attempt runs in a child without it.
    const std::string denied = rig.dir + "/ttyDenied";
    std::ofstream(denied) << "";
    std::filesystem::permissions(denied, std::filesystem::perms::none);
    rig.thread->PortName = denied;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        rig.session->TryConnect();
        const std::string said = rig.host.Events.empty() ? "" : rig.host.Events.back();
        ::_exit(::write(fds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0
                                                                                               : 3);
    }
    ::close(fds[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(said, failed + denied + ": permission denied: add your user to the dialout group");
}

TEST(Connect, SilentSensorFailsTheConnection) {
    kdsim::SimOptions o;
    o.faults = "drop=1";
    SessionRig rig(o);
    rig.thread->Port().replyTimeout = kdtest::kShortTimeoutMs;
    EXPECT_FALSE(rig.session->TryConnect());
    EXPECT_EQ(rig.state.LinkState, 0);
    EXPECT_FALSE(rig.thread->IsOpen());
    EXPECT_TRUE(rig.host.Has("message:|Connection Failed."));
    // NULL_CMD's silence is forgiven; GET_VERSION's is not.
    auto req = rig.NewRequests();
    ASSERT_FALSE(req.empty());
    EXPECT_EQ(req.front(), "NULL_CMD");
    EXPECT_EQ(req.back(), "GET_VERSION");
}

TEST(Connect, TranslatedFailureTextNamesTheSensor) {
    struct Host : TRecordingHost {
        std::string Translate(const std::string& name, const std::string& def) override {
            return name == "connect_failed" ? "Failed to connect to %s sensor unit." : def;
        }
    };
    SessionRig rig;
    Host host;
    kd::TKestSession s({*rig.thread, rig.image, rig.masters, rig.state, rig.live, host});
    rig.thread->PortName = rig.dir + "/none";
    EXPECT_FALSE(s.TryConnect());
    EXPECT_TRUE(host.Has("message:|Failed to connect to KD sensor unit.\n" + rig.dir +
                         "/none: no such port"));
}

TEST(Connect, FailureAfterTheReceiveLeavesNothingHalfConnected) {
    struct Host : TRecordingHost {
        void SaveRegistry() override { throw kd::EKestError("settings could not be saved"); }
    };
    SessionRig rig;
    Host host;
    kd::TKestSession s({*rig.thread, rig.image, rig.masters, rig.state, rig.live, host});
    EXPECT_FALSE(s.TryConnect());
    EXPECT_EQ(s.LastConnectError, "settings could not be saved");
    EXPECT_EQ(rig.state.LinkState, 0);
    EXPECT_FALSE(host.SyncOn);
    EXPECT_FALSE(host.Connected);
    EXPECT_FALSE(rig.thread->IsOpen());
    EXPECT_EQ(rig.image.ValidMask, kd::kValidAll);  // what was received stays
    EXPECT_FALSE(s.Tick());
}

TEST(Connect, PortResolverOpensTheDeviceAndKeepsTheChosenName) {
    SessionRig rig;
    const std::string device = rig.thread->PortName;
    rig.thread->PortName = "SIM";
    std::vector<std::string> asked;
    rig.session->PortResolver = [&](const std::string& name) {
        asked.push_back(name);
        return device;
    };
    rig.Connect();
    EXPECT_EQ(asked, std::vector<std::string>{"SIM"});
    EXPECT_EQ(rig.thread->PortName, "SIM");
    EXPECT_TRUE(rig.thread->IsOpen());
    rig.session->Disconnect();

    rig.session->PortResolver = [](const std::string&) -> std::string {
        throw kd::EKestError("the simulated sensor did not start");
    };
    EXPECT_FALSE(rig.session->TryConnect());
    EXPECT_EQ(rig.session->LastConnectError, "the simulated sensor did not start");
    EXPECT_EQ(rig.thread->PortName, "SIM");
    EXPECT_FALSE(rig.thread->IsOpen());
}

TEST(Disconnect, ClearsSyncAndTheLiveValuesButKeepsTheAnalogCurrent) {
    SessionRig rig;
    rig.Connect();
    ASSERT_TRUE(rig.session->Tick());
    ASSERT_NE(rig.live.AnalogCurrent, kd::kNoValue32);
    const int32_t analog = rig.live.AnalogCurrent;
    rig.session->Disconnect();
    EXPECT_EQ(rig.state.LinkState, 0);
    EXPECT_FALSE(rig.host.SyncOn);
    EXPECT_FALSE(rig.host.Connected);
    EXPECT_FALSE(rig.thread->IsOpen());
    EXPECT_EQ(rig.thread->ConnectCount, 0);
    EXPECT_TRUE(rig.host.Has("stop-repeats"));
    EXPECT_EQ(rig.host.LinkChanges, (std::vector<int>{2, 0}));
    for (int32_t v : rig.live.Channels) EXPECT_EQ(v, kd::kNoValue32);
    for (int32_t v : rig.live.Outputs) EXPECT_EQ(v, kd::kNoValue32);
    for (int16_t v : rig.live.AreaResults) EXPECT_EQ(v, kd::kNoValue16);
    EXPECT_EQ(rig.live.AnalogCurrent, analog);
    // Nothing is polled any more.
    rig.NewRequests();
    EXPECT_FALSE(rig.session->Tick());
    EXPECT_TRUE(rig.NewRequests().empty());
}

TEST(Receive, ReloadCurrentBankMarksOnlyThatBankValid) {
    SessionRig rig;
    rig.Connect();
    rig.image.ValidMask = 0;
    rig.image.SetSensorModified(true);
    rig.state.CurrentBank = 4;
    rig.image.SetSys(kd::pk::Bank, 4);
    rig.NewRequests();
    LogCapture log;
    rig.session->ReloadCurrentBank();
    EXPECT_EQ(rig.NewRequests(), Concat({WholeImageRead(true), {"GET_MST_ADDR 4"}}));
    // The sensor's bank (0) comes back with the image; the bit is the selector's.
    EXPECT_EQ(rig.image.ValidMask, 1u << 4);
    EXPECT_TRUE(rig.image.SensorModified);
    EXPECT_TRUE(rig.host.SyncOn);
    EXPECT_FALSE(log.Has("bank4: no master"));
    EXPECT_EQ(rig.state.CurrentBank, 0);
}

TEST(Receive, SensorGoneEndsTheWorkflowAndRestoresTheCursor) {
    SessionRig rig;
    rig.Connect();
    rig.image.Image.fill(0x5A);
    rig.thread->Port().replyTimeout = kdtest::kShortTimeoutMs;
    rig.host.SyncOn = false;
    rig.host.WaitCount = 0;
    rig.sensor->Stop();
    EXPECT_THROW(rig.session->ReceiveAll(), kd::EKestError);
    EXPECT_EQ(rig.host.WaitDepth, 0);
    EXPECT_EQ(rig.host.WaitCount, 1);
    EXPECT_FALSE(rig.host.SyncOn);
    EXPECT_EQ(rig.image.Image[0], 0x5A);  // nothing arrived, nothing was made up
}

}  // namespace
}  // namespace sessiontest
