// The connection when the port goes away and comes back: noticed at once,
// reported once, nothing written to a dead port, reconnected under the same
// path or as the same USB adapter under a new name, with unsaved changes kept
// in a backup and never sent back.
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/clock.h"
#include "link/port_identity.h"
#include "session_fixture.h"

namespace sessiontest {
namespace {

namespace fs = std::filesystem;

int CountPrefix(const std::vector<std::string>& events, const std::string& prefix) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const std::string& e) {
        return e.rfind(prefix, 0) == 0;
    }));
}

// A fake device tree: dev/<name> links to a pseudo-terminal, and the kernel's
// class/tty/<name>/device leads to a USB device with a serial number.
struct FakeDevices {
    explicit FakeDevices(const std::string& dir) {
        roots.Dev = dir + "/dev";
        roots.Sys = dir + "/sys";
        fs::create_directories(roots.Dev);
        fs::create_directories(roots.Sys + "/class/tty");
    }
    void Plug(const std::string& name, const std::string& pty, const std::string& serial) {
        const std::string usb = roots.Sys + "/devices/usb1/1-" + name;
        fs::create_directories(usb + "/1-1:1.0/" + name);
        std::ofstream(usb + "/idVendor") << "0403\n";
        std::ofstream(usb + "/serial") << serial << "\n";
        fs::create_directories(roots.Sys + "/class/tty/" + name);
        fs::create_directory_symlink(usb + "/1-1:1.0/" + name,
                                     roots.Sys + "/class/tty/" + name + "/device");
        fs::create_symlink(pty, roots.Dev + "/" + name);
    }
    void Unplug(const std::string& name) {
        fs::remove(roots.Dev + "/" + name);
        fs::remove_all(roots.Sys + "/class/tty/" + name);
    }
    kd::TDeviceRoots roots;
};

TEST(LostPort, MidTickAndMidTransferEndTheConnectionWithOneMessage) {
    for (bool midTransfer : {false, true}) {
        SCOPED_TRACE(midTransfer ? "mid-transfer" : "mid-tick");
        SessionRig rig;
        rig.Connect();
        rig.host.SyncOn = true;
        int writesAfterLoss = 0;
        std::atomic<bool> lost{false};
        rig.thread->SetTrace([&](const kd::FrameTraceEvent& e) {
            if (e.sent && lost) ++writesAfterLoss;
        });
        // The far end goes away while the program is in the middle of things.
        std::thread pull([&] {
            kd::SleepMs(30);
            rig.sensor->Stop();
            lost = true;
        });
        const uint32_t t0 = kd::TickMs();
        if (midTransfer) {
            while (!rig.thread->PortLost() && kd::TickMs() - t0 < 3000) {
                try {
                    rig.session->ReceiveAll();
                } catch (const kd::EKestError&) {
                }
            }
        }
        while (rig.state.LinkState != 0 && kd::TickMs() - t0 < 3000) rig.session->Tick();
        pull.join();
        EXPECT_EQ(rig.state.LinkState, 0);
        EXPECT_FALSE(rig.host.SyncOn);
        EXPECT_FALSE(rig.host.Connected);
        EXPECT_FALSE(rig.thread->IsOpen());
        EXPECT_EQ(rig.live.Channels[0], kd::kNoValue32);
        EXPECT_EQ(CountPrefix(rig.host.Events, "message:|Connection lost: "), 1);
        EXPECT_TRUE(rig.host.Has("message:|Connection lost: " + rig.session->LostPort.Path));
        // Nothing more is written to the dead port, and the tick stops.
        for (int i = 0; i < 50; ++i) EXPECT_FALSE(rig.session->Tick());
        EXPECT_LE(writesAfterLoss, 3);
    }
}

TEST(LostPort, ReturnsUnderItsPathAndKeepsUnsavedChangesInABackup) {
    SessionRig rig;
    const std::string link = rig.dir + "/kd-port";
    kdsim::SimOptions o;
    o.frameUs = 1;
    o.link = link;
    auto first = std::make_unique<kdsim::SimSensor>(o);
    first->Start();
    rig.thread->PortName = link;
    rig.Connect();
    // A change the operator made that is not yet permanent.
    const int bank = rig.image.GetSys(kd::pk::Bank);
    rig.image.SetBank(bank, kd::pk::Shutter, 640);
    ASSERT_TRUE(rig.image.SensorModified);
    first->Stop();
    while (rig.state.LinkState != 0) rig.session->Tick();
    EXPECT_EQ(rig.session->LostPort.Path, link);
    EXPECT_FALSE(rig.session->WatchLostPort());  // not back yet
    {
        // The port is back before its sensor answers: probed every time, but
        // without opening the connection, and logged once.
        kdsim::SimOptions mute = o;
        mute.faults = "drop=1";
        kdsim::SimSensor silent(mute);
        silent.Start();
        LogCapture log;
        int opened = 0;
        rig.thread->OnConnectChange = [&] { ++opened; };
        for (int i = 0; i < 3; ++i) EXPECT_FALSE(rig.session->WatchLostPort());
        rig.thread->OnConnectChange = nullptr;
        EXPECT_EQ(silent.GetStats().requests, 3u);
        EXPECT_EQ(opened, 0);
        EXPECT_EQ(log.lines, std::vector<std::string>{
                                 "port " + link + " is there; waiting for the sensor to answer"});
    }

    o.trace = rig.dir + "/second.txt";
    kdsim::SimSensor second(o);
    second.Start();
    ASSERT_TRUE(rig.session->WatchLostPort());
    EXPECT_EQ(rig.state.LinkState, 2);
    EXPECT_TRUE(rig.session->LostPort.Path.empty());
    ASSERT_FALSE(rig.session->ReconnectBackup.empty());
    EXPECT_TRUE(rig.host.Has("message:|The changes not yet written to the sensor are kept in " +
                             rig.session->ReconnectBackup));
    kd::TKestParam kept;
    kept.LoadFromFile(rig.session->ReconnectBackup);
    EXPECT_EQ(kept.GetBank(bank, kd::pk::Shutter), 640);
    // The image now holds what the sensor holds; the old image was not sent.
    EXPECT_NE(rig.image.GetBank(bank, kd::pk::Shutter), 640);
    second.Stop();
    const auto requests = ReadRequests(o.trace);
    EXPECT_FALSE(requests.empty());
    EXPECT_EQ(CountPrefix(requests, "MEM_WRITE"), 0);
}

TEST(LostPort, TheSameUsbAdapterUnderANewNameIsFoundAgain) {
    SessionRig rig;
    FakeDevices devices(rig.dir);
    kdsim::SimOptions o;
    o.frameUs = 1;
    auto first = std::make_unique<kdsim::SimSensor>(o);
    devices.Plug("ttyUSB0", first->Start(), "FT4XK2");
    rig.session->DeviceRoots = devices.roots;
    rig.thread->PortName = devices.roots.Dev + "/ttyUSB0";
    rig.Connect();
    EXPECT_EQ(kd::IdentifyPort(rig.thread->PortName, devices.roots).UsbSerial, "FT4XK2");
    first->Stop();
    devices.Unplug("ttyUSB0");
    while (rig.state.LinkState != 0) rig.session->Tick();
    EXPECT_FALSE(rig.session->WatchLostPort());

    // Another adapter appears first; then ours, under another name.
    kdsim::SimSensor other(o), second(o);
    devices.Plug("ttyUSB1", other.Start(), "OTHER9");
    EXPECT_FALSE(rig.session->WatchLostPort());
    devices.Plug("ttyUSB2", second.Start(), "FT4XK2");
    ASSERT_TRUE(rig.session->WatchLostPort());
    EXPECT_EQ(rig.thread->PortName, devices.roots.Dev + "/ttyUSB2");
    EXPECT_EQ(rig.state.LinkState, 2);
    EXPECT_TRUE(rig.session->ReconnectBackup.empty());  // nothing was unsaved
    second.Stop();
    other.Stop();
}

TEST(LostPort, OperatorsDisconnectIsNotWatched) {
    SessionRig rig;
    rig.Connect();
    rig.session->Disconnect();
    EXPECT_TRUE(rig.session->LostPort.Path.empty());
    EXPECT_FALSE(rig.session->WatchLostPort());
}

}  // namespace
}  // namespace sessiontest
