// The polling tick against the simulated sensor: the queries of each sensor
// version, the values it stores, the status bits and the bank that follows
// the sensor, the pauses, and LinkState under faults and recovery.
#include <thread>

#include "common/clock.h"
#include "session_fixture.h"

namespace sessiontest {
namespace {

std::vector<std::string> Queries(const std::string& name, int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i <= to; ++i) out.push_back(name + " " + std::to_string(i));
    return out;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PollTick, StatusPathQueriesInOrderAndStoresWhatTheSensorHolds) {
    SessionRig rig;  // 53:6D:50
    rig.Connect();
    rig.state.CurrentPage = kd::kPageOperation;
    rig.NewRequests();
    ASSERT_TRUE(rig.session->Tick());
    EXPECT_EQ(rig.NewRequests(), Join({Queries("GET_MEAS", 0, 5),
                                       Queries("GET_OUT_VAL", 0, 3),
                                       {"GET_ANA_VAL 3"},
                                       Queries("GET_AREA_STAT", 0, 3),
                                       {"GET_STATUS"},
                                       Queries("GET_ZERO_STATE", 0, 2)}));
    EXPECT_EQ(rig.state.LinkState, 2);

    std::array<int32_t, 6> ch{};
    uint16_t status = 0;
    rig.WithModel([&](kdsim::SensorModel& m) {
        for (int i = 0; i < 6; ++i) ch[static_cast<size_t>(i)] = m.ChannelValue(i);
        status = m.StatusWord();
    });
    for (size_t i = 0; i < 6; ++i) {
        const int32_t expect = ch[i];
        EXPECT_EQ(rig.live.Channels[i], expect) << i;
        EXPECT_EQ(rig.host.ChartRow[i], expect) << i;
    }
    EXPECT_EQ(rig.host.ChartSamples, 1);
    EXPECT_EQ(rig.host.OperationDraws, 1);
    EXPECT_EQ(rig.session->StatusWord, status);
    EXPECT_EQ(rig.host.StatusShown, kd::Format("%04X", status));
    EXPECT_EQ(rig.live.OutputBits, (status >> 4) & 7u);
    EXPECT_EQ(rig.live.LaserOn, ((status >> 7) & 1) != 0);
    EXPECT_EQ(rig.live.HoldOn, ((status >> 1) & 1) != 0);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(rig.host.Lamps[static_cast<size_t>(j)], ((status >> (4 + j)) & 1) != 0);
    EXPECT_NE(rig.live.AnalogCurrent, kd::kNoValue32);
    EXPECT_NE(rig.live.Outputs[3], kd::kNoValue32);
    // Soft 0x50 (below 0x4F? no: 80 >= 79): displayed states come from bits 12..14.
    EXPECT_EQ(rig.live.OutputDisplayBits, (status >> 12) & 7u);
}

TEST(PollTick, OldBiosUsesTheSeparateQueriesAndSkipsTheAnalogOutput) {
    SessionRig rig(SimVersion(0x53, 0x45, 0x45));
    rig.Connect();
    rig.live.AnalogCurrent = 1234;
    rig.NewRequests();
    ASSERT_TRUE(rig.session->Tick());
    EXPECT_EQ(rig.NewRequests(),
              Join({Queries("GET_MEAS", 0, 5),
                    Queries("GET_OUT_VAL", 0, 2),
                    Queries("GET_AREA_STAT", 0, 3),
                    {"GET_GPIO_OUT", "GET_LASER", "GET_HOLD_STATE", "GET_INT_TRIG"},
                    Queries("GET_ZERO_STATE", 0, 2)}));
    EXPECT_EQ(rig.state.LinkState, 2);
    EXPECT_EQ(rig.live.Outputs[3], kd::kNoValue32);
    EXPECT_EQ(rig.live.AnalogCurrent, 1234);
    EXPECT_TRUE(rig.live.LaserOn);  // the simulated laser is on
    EXPECT_EQ(rig.host.LaserChanges, 1);
    EXPECT_EQ(rig.session->StatusWord & 0x80, 0x80);
    // A second tick with the same state changes no indicator.
    rig.session->Tick();
    EXPECT_EQ(rig.host.LaserChanges, 1);
}

TEST(PollTick, DisplayBitsAreInvertedByOnTypeAndPolarityBeforeSoft79) {
    SessionRig rig(SimVersion(0x53, 0x6D, 0x4E));
    rig.Connect();
    // The sensor reports the terminals; inverting by its on-type and the
    // polarities gives the logical states the page shows.
    rig.WithModel([&](kdsim::SensorModel& m) {
        kdsim::SetRaw(m.MutableParams(), kdsim::Fld::OPolar, 0, 1, 1);
    });
    rig.image.SetBank(0, kd::pk::OutPolar(2), 1);
    rig.session->Tick();
    uint32_t logical = rig.live.OutputBits;
    rig.WithModel([&](kdsim::SensorModel& m) {
        if (kdsim::GetRaw(m.Params(), kdsim::Fld::GpioOnT, 0) != 0) logical ^= 7u;
        for (int o = 0; o < 3; ++o) {
            if (kdsim::GetRaw(m.Params(), kdsim::Fld::OPolar, 0, o) != 0) logical ^= 1u << o;
        }
    });
    EXPECT_EQ(rig.live.OutputDisplayBits, logical);

    const int onT = rig.image.GetSys(kd::pk::GpioOnT);
    rig.image.SetSys(kd::pk::GpioOnT, onT == 1 ? 0 : 1);
    rig.session->Tick();
    EXPECT_EQ(rig.live.OutputDisplayBits, logical ^ 7u);
    EXPECT_EQ(rig.live.OutputBits & ~7u, 0u);
}

TEST(PollTick, SelectorFollowsTheSensorsBankUnlessTheListIsOpen) {
    SessionRig rig;
    rig.Connect();
    auto switchSensor = [&](int bank) {
        rig.WithModel([&](kdsim::SensorModel& m) {
            kdsim::SetRaw(m.MutableParams(), kdsim::Fld::Bank, 0, bank);
        });
    };
    switchSensor(6);
    rig.host.Dropped = true;
    rig.session->Tick();
    EXPECT_EQ(rig.state.CurrentBank, 0);

    rig.host.Dropped = false;
    const int refreshes = rig.host.Refreshes;
    LogCapture log;
    rig.session->Tick();
    EXPECT_EQ(rig.state.CurrentBank, 6);
    EXPECT_EQ(rig.host.Selector, 6);
    EXPECT_EQ(rig.image.GetSys(kd::pk::Bank), 6);
    EXPECT_EQ(rig.host.Refreshes, refreshes + 1);
    EXPECT_TRUE(log.Has("bank changed; b6"));
    rig.session->Tick();
    EXPECT_EQ(rig.host.Refreshes, refreshes + 1);

    // Before BIOS 0x49 the bank is not followed.
    SessionRig old(SimVersion(0x53, 0x45, 0x45));
    old.Connect();
    old.WithModel(
        [&](kdsim::SensorModel& m) { kdsim::SetRaw(m.MutableParams(), kdsim::Fld::Bank, 0, 4); });
    old.session->Tick();
    EXPECT_EQ(old.state.CurrentBank, 0);
}

TEST(PollTick, PausesWithoutAFrame) {
    SessionRig rig;
    rig.Connect();
    rig.session->Tick();
    const auto values = rig.live.Channels;
    rig.NewRequests();

    rig.host.DisplOn = false;
    EXPECT_FALSE(rig.session->Tick());
    rig.host.DisplOn = true;
    rig.state.CameraLive = true;
    EXPECT_FALSE(rig.session->Tick());
    rig.state.CameraLive = false;
    rig.state.LinkState = 0;
    EXPECT_FALSE(rig.session->Tick());
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_EQ(rig.live.Channels, values);
    EXPECT_EQ(rig.host.ChartSamples, 1);

    rig.state.LinkState = 1;
    EXPECT_TRUE(rig.session->Tick());
    EXPECT_EQ(rig.state.LinkState, 2);
}

TEST(PollTick, ShortRepliesBecomeNoValueMarks) {
    // A sensor without a measurement alarm line: no laser line, channels without value.
    SessionRig rig;
    rig.Connect();
    std::vector<kdsim::ProfilePt> none;
    for (int x = -14900; x <= 14900; x += 100) none.push_back({x, kdsim::kMissing});
    rig.WithModel([&](kdsim::SensorModel& m) { m.InjectProfile(none); });
    rig.session->Tick();
    std::array<int32_t, 6> ch{};
    rig.WithModel([&](kdsim::SensorModel& m) {
        for (int i = 0; i < 6; ++i) ch[static_cast<size_t>(i)] = m.ChannelValue(i);
    });
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rig.live.Channels[i], ch[i]);
    EXPECT_EQ(rig.state.LinkState, 2);
}

TEST(PollTick, SensorThatStopsAnsweringDropsToOneAndRecovers) {
    SessionRig rig;
    rig.Connect();
    rig.thread->Port().replyTimeout = kdtest::kShortTimeoutMs;
    ASSERT_TRUE(rig.session->Tick());
    const auto values = rig.live.Channels;

    std::atomic<int> phase{0};
    std::thread blocker([&] {
        rig.WithModel([&](kdsim::SensorModel&) {
            phase = 1;
            while (phase == 1) kd::SleepMs(1);
        });
    });
    while (phase == 0) kd::SleepMs(1);
    EXPECT_TRUE(rig.session->Tick());
    EXPECT_EQ(rig.state.LinkState, 1);
    EXPECT_EQ(rig.live.Channels, values);  // the last values stay
    EXPECT_TRUE(rig.session->Tick());
    EXPECT_EQ(rig.state.LinkState, 1);
    const uint64_t asked = rig.sensor->GetStats().requests;
    phase = 2;
    blocker.join();
    // The sensor answers the six queued attempts late; then the next tick succeeds.
    for (int i = 0; i < 2000; ++i) {
        const auto st = rig.sensor->GetStats();
        if (st.requests >= asked + 6 && st.replies == st.requests) break;
        kd::SleepMs(1);
    }
    rig.session->Tick();
    EXPECT_EQ(rig.state.LinkState, 2);
    // The window heard of each change once: connected, failed, polling again.
    EXPECT_EQ(rig.host.LinkChanges, (std::vector<int>{2, 1, 2}));
    // After recovery every channel holds the sensor's value again.
    rig.session->Tick();
    std::array<int32_t, 6> ch{};
    rig.WithModel([&](kdsim::SensorModel& m) {
        for (int i = 0; i < 6; ++i) ch[static_cast<size_t>(i)] = m.ChannelValue(i);
    });
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rig.live.Channels[i], ch[i]) << i;
}

TEST(PollTick, InjectedFaultsToggleTheLinkStateAndNeverCorruptValues) {
    kdsim::SimOptions o;
    o.faults = "drop=0.08,corrupt=0.05,cut=0.05,noise=0.05";
    o.seed = 7;
    SessionRig rig(o);
    rig.thread->Port().replyTimeout = kdtest::kShortTimeoutMs;
    // Connecting may need a few tries on such a line.
    bool connected = false;
    for (int i = 0; i < 5 && !connected; ++i) connected = rig.session->TryConnect();
    ASSERT_TRUE(connected);
    std::array<int32_t, 6> ch{};
    rig.WithModel([&](kdsim::SensorModel& m) {
        for (int i = 0; i < 6; ++i) ch[static_cast<size_t>(i)] = m.ChannelValue(i);
    });
    rig.session->ProbeIntervalMs = 5;
    int failed = 0, good = 0, recovered = 0, last = 2;
    for (int i = 0; i < 60; ++i) {
        kd::SleepMs(rig.session->NextProbeInMs());
        ASSERT_TRUE(rig.session->Tick());
        if (rig.state.LinkState == 1) ++failed;
        if (rig.state.LinkState == 2) {
            ++good;
            if (last == 1) ++recovered;
        }
        last = rig.state.LinkState;
        // Damaged replies never show as values: every value is one the sensor
        // holds (a reply late beyond the time limit may still answer the next
        // query of the same command) or the no-value mark.
        for (size_t c = 0; c < 6; ++c) {
            const int32_t v = rig.live.Channels[c];
            const bool known =
                v == kd::kNoValue32 || std::find(ch.begin(), ch.end(), v) != ch.end();
            ASSERT_TRUE(known) << "channel " << c << " holds " << v;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(good, 0);
    EXPECT_GT(recovered, 0);
    EXPECT_GT(CountNotes(rig.trace, "drop reply"), 0);
}

TEST(PollTick, NoTickInsideAWorkflowsDialog) {
    struct Host : TRecordingHost {
        kd::TKestSession* session = nullptr;
        int ran = -1;
        bool Confirm(const std::string& text) override {
            ran = session->Tick();  // the timer firing while the dialog is open
            return TRecordingHost::Confirm(text);
        }
    };
    SessionRig rig;
    rig.Connect();
    Host host;
    host.SyncOn = true;
    kd::TKestSession s({*rig.thread, rig.image, rig.masters, rig.state, rig.live, host});
    host.session = &s;
    host.ConfirmAnswer = false;
    rig.NewRequests();
    s.SendAll();
    EXPECT_EQ(host.ran, 0);
    EXPECT_TRUE(rig.NewRequests().empty());
    EXPECT_TRUE(s.Tick());  // afterwards the tick runs again
}

TEST(PollTick, ClosedPortSkipsTheTick) {
    SessionRig rig;
    rig.Connect();
    rig.thread->ForceDisconnect();
    rig.NewRequests();
    EXPECT_FALSE(rig.session->Tick());
    EXPECT_TRUE(rig.NewRequests().empty());
}

TEST(Version, RulesByNumber) {
    using kd::TSensorVersion;
    EXPECT_FALSE(kd::WideTransfersFor({0x53, 0x6D, 72}));
    EXPECT_TRUE(kd::WideTransfersFor({0x53, 0x6D, 73}));
    EXPECT_FALSE(kd::WideTransfersFor({0x53, 0x6D, 74}));
    EXPECT_TRUE(kd::WideTransfersFor({0x53, 0x6D, 75}));
    EXPECT_FALSE(kd::MastersPerBank({0, 0, 69}));
    EXPECT_TRUE(kd::MastersPerBank({0, 0, 70}));
    EXPECT_FALSE(kd::StatusWordPath({0, 72, 0}));
    EXPECT_TRUE(kd::StatusWordPath({0, 73, 0}));
    EXPECT_FALSE(kd::ReadsAnalogValue({0, 0, 75}));
    EXPECT_TRUE(kd::ReadsAnalogValue({0, 0, 76}));
    EXPECT_FALSE(kd::StatusDisplayBits({0, 0, 78}));
    EXPECT_TRUE(kd::StatusDisplayBits({0, 0, 79}));
    // Unsigned comparison: a large number is newer, not older.
    EXPECT_TRUE(kd::WideTransfersFor({0, 0, 0xFFFF}));
    bool tooNew = false;
    EXPECT_EQ(kd::TargetVersionText({0x53, 0x6D, 0x50}, &tooNew),
              "target ver53:6D:50(fpga:bios:soft)");
    EXPECT_FALSE(tooNew);
    EXPECT_EQ(kd::TargetVersionText({0x54, 0x6D, 0x50}, &tooNew),
              "target ver54:6D:50(fpga:bios:soft); TOO NEWER");
    EXPECT_TRUE(tooNew);
    EXPECT_EQ(kd::TargetVersionText({0x53, 0x6E, 0x40}),
              "target ver53:6E:40(fpga:bios:soft); TOO NEWER");
    EXPECT_EQ(kd::TargetVersionText({0x100, 0x6D, 0x50}),
              "target ver100:6D:50(fpga:bios:soft); TOO NEWER");
}

}  // namespace
}  // namespace sessiontest
