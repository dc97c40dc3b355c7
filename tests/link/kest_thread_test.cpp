// The communication worker against a scripted sensor on a pseudo-terminal.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

#include "common/log.h"
#include "link/kest_thread.h"
#include "link_test_util.h"

using namespace kd;
using namespace kdtest;

namespace {

constexpr uint32_t kProfileAt = 0x10000;
constexpr uint32_t kImageBase = 0x100000;

Bytes Be32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}
uint32_t Be32(const Bytes& b) {
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}
uint8_t PixelOf(uint32_t image, size_t i) {
    return static_cast<uint8_t>(i * 7 + i / 61 + image * 31);
}

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sensor.SetOther([this](PtyPeer& p, const Request& r) { Answer(p, r); });
        peer.SetHandler([this](PtyPeer& p, const Request& r) {
            if (replyDelayMs > 0 && (r.code == 0x0002 || r.code == 0x001A))
                std::this_thread::sleep_for(std::chrono::milliseconds(replyDelayMs.load()));
            if (auto f = onRequest.Get()) f(r);
            sensor.Handle(p, r);
        });
        th.PortName = peer.Path();
        th.Port().replyTimeout = kShortTimeoutMs;
        th.ImageTimeLimit = th.ImagePairTimeLimit = th.LiveViewTimeLimit = 20000;
        ASSERT_NO_THROW(th.Connect());
        PutProfile(kProfileAt, 100, 50);
    }
    void TearDown() override {
        th.AbortRequested = true;
        WaitFor([&] { return th.Task == kTaskIdle; });
    }

    // Scripted answers of the non-memory commands.
    void Answer(PtyPeer& p, const Request& r) {
        switch (r.code) {
            case cmd::GET_IMG_NO:
                if (imgNoError != 0) return p.Send(PtyPeer::ErrorFrame(imgNoError));
                return p.Send(PtyPeer::Frame(r.code, Be32(imageNumber)));
            case cmd::GET_PROF_ADDR: {
                int n = profAddrCalls++;
                if (auto f = profAddrFail.Get(); f && f(n))
                    return p.Send(PtyPeer::ErrorFrame(0xE002));
                return p.Send(PtyPeer::Frame(r.code, Be32(profileAddress)));
            }
            case cmd::GET_IMG_ADDR:
                return p.Send(PtyPeer::Frame(r.code, Be32(kImageBase + Be32(r.payload) * 0x40000)));
            case cmd::EPM_WRITE:
                if (epmRefusals > 0) {
                    --epmRefusals;
                    return p.Send(PtyPeer::ErrorFrame(0xE008));
                }
                return p.Send(PtyPeer::Frame(r.code, {}));
            case cmd::GET_CAM_RECT:
                return p.Send(PtyPeer::Frame(r.code, {0, 2, 0, 20, 0, 12, 0, 100}));
            case 0xC003:
                return p.Send(PtyPeer::Frame(r.code, {0x01, 0x02, 0x03, 0x04}));
            case 0x2003:
                return p.Send(PtyPeer::Frame(r.code, {0xAB, 0xCD}));
            case 0x6002:
                if (areaError) return p.Send(PtyPeer::ErrorFrame(0xE002));
                return p.Send(PtyPeer::Frame(r.code, {}));
            case 0x7777:
                return;  // silence
            default:
                return p.Send(PtyPeer::Frame(r.code, {}));
        }
    }

    void PutProfile(uint32_t at, int count, int secondCount, uint16_t rawSecond = 0) {
        sensor.Put(at, static_cast<uint16_t>(count << 5));
        sensor.Put(at + 1, 0x1234);
        for (int i = 0; i < count; ++i) {
            sensor.Put(at + 2 + 2 * i, static_cast<uint16_t>(i + 1));
            sensor.Put(at + 3 + 2 * i, static_cast<uint16_t>(1000 + i));
        }
        uint32_t second = at + 2 * count + 2;
        sensor.Put(second, rawSecond ? rawSecond : static_cast<uint16_t>(secondCount << 5));
        for (int i = 0; i < 2 * secondCount; ++i) sensor.Put(second + 2 + i, 0x0BAD);
    }
    void PutImage(uint32_t number, int pixels) {
        uint32_t at = kImageBase + number * 0x40000;
        for (int k = 0; k < pixels / 2; ++k)
            sensor.Put(at + k, static_cast<uint16_t>(PixelOf(number, 2 * k) << 8 |
                                                     PixelOf(number, 2 * k + 1)));
    }
    std::vector<std::string> Logged() {
        std::lock_guard<std::mutex> g(logMutex);
        return log;
    }
    bool LoggedLine(const std::string& line) {
        auto l = Logged();
        return std::find(l.begin(), l.end(), line) != l.end();
    }
    int CountLogged(const std::string& line) {
        auto l = Logged();
        return static_cast<int>(std::count(l.begin(), l.end(), line));
    }

    std::mutex logMutex;
    std::vector<std::string> log;
    std::vector<int> logAttr;
    ScopedLogSink sink{[this](int a, const std::string& l) {
        std::lock_guard<std::mutex> g(logMutex);
        log.push_back(l);
        logAttr.push_back(a);
    }};
    MemorySensor sensor{size_t{1} << 22};
    std::atomic<int> replyDelayMs{0};
    SharedFn<void(const Request&)> onRequest;
    std::atomic<uint32_t> imageNumber{7};
    std::atomic<uint16_t> imgNoError{0};
    std::atomic<uint32_t> profileAddress{kProfileAt};
    std::atomic<int> profAddrCalls{0};
    SharedFn<bool(int)> profAddrFail;
    std::atomic<int> epmRefusals{0};
    std::atomic<bool> areaError{false};
    // Torn down first the worker, then the peer's thread, then what it uses.
    PtyPeer peer;
    TKestThread th{DirectDispatcher()};
};

}  // namespace

// ------------------------------------------------------------------ connection

TEST(WorkerConnection, CountingOpensOnceAndClosesAtZero) {
    std::vector<std::string> log;
    std::mutex m;
    ScopedLogSink sink([&](int, const std::string& l) {
        std::lock_guard<std::mutex> g(m);
        log.push_back(l);
    });
    PtyPeer peer;
    TKestThread th;
    int changes = 0;
    th.OnConnectChange = [&] { ++changes; };
    th.PortName = peer.Path();
    th.SetBaud(115200);
    th.Connect();
    th.Connect();
    EXPECT_EQ(th.ConnectCount, 2);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(th.IsOpen());
    th.Disconnect();
    EXPECT_TRUE(th.IsOpen());
    EXPECT_EQ(changes, 2);
    th.Disconnect();
    EXPECT_FALSE(th.IsOpen());
    EXPECT_EQ(changes, 3);
    th.Disconnect();  // at zero already
    EXPECT_EQ(th.ConnectCount, 0);
    std::lock_guard<std::mutex> g(m);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CONNECTED '" + peer.Path() + "', 115200bps"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "DISCONNECTED"), 2);
}

TEST(WorkerConnection, ForceDisconnectAndOpenFailure) {
    PtyPeer peer;
    TKestThread th;
    th.PortName = peer.Path();
    th.Connect();
    th.Connect();
    th.Connect();
    th.ForceDisconnect();
    EXPECT_EQ(th.ConnectCount, 0);
    EXPECT_FALSE(th.IsOpen());
    th.PortName = "kd-missing-port";
    try {
        th.Connect();
        FAIL() << "connected to nothing";
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "serial port cannot open 'kd-missing-port'; no such port");
    }
    EXPECT_EQ(th.ConnectCount, 0);
}

// Connects a new worker to path; the message of the failure, or "connected".
std::string ConnectMessage(const std::string& path) {
    TKestThread th;
    th.PortName = path;
    try {
        th.Connect();
    } catch (const EKestError& e) {
        return e.what();
    }
    return "connected";
}

TEST(WorkerConnection, OpenFailuresSayHowToMendThem) {
    PtyPeer peer;
    const std::string prefix = "serial port cannot open '" + peer.Path() + "'; ";
    TKestThread holder;
    holder.PortName = peer.Path();
    holder.Connect();
    EXPECT_EQ(ConnectMessage(peer.Path()),
              prefix + "the port is busy: another program is using it");
    holder.ForceDisconnect();
    if (::geteuid() != 0) {  // the superuser may open anything (see the kdctl test)
        ::chmod(peer.Path().c_str(), 0);
        EXPECT_EQ(ConnectMessage(peer.Path()),
                  prefix + "permission denied: add your user to the dialout group");
        ::chmod(peer.Path().c_str(), 0620);
    }
    EXPECT_EQ(ConnectMessage(peer.Path()), "connected");
}

TEST(WorkerConnection, BaudRate) {
    PtyPeer peer;
    TKestThread th;
    th.PortName = peer.Path();
    th.SetBaud(57600);
    th.Connect();
    EXPECT_EQ(SerialReportedBaud(th.Port().handle), 57600);
    th.SetBaud(921600);
    EXPECT_EQ(SerialReportedBaud(th.Port().handle), 921600);
    try {
        th.SetBaud(0);
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "err: SetCommState");
    }
}

// -------------------------------------------------------------------- commands

TEST_F(WorkerTest, CommandsReturnAndRaise) {
    uint8_t reply[2] = {};
    EXPECT_EQ(th.Command(0x2003, nullptr, 0, reply, 2), 8);
    EXPECT_EQ(reply[0], 0xAB);
    EXPECT_EQ(th.CommandReply(0x2003), (Bytes{0xAB, 0xCD}));
    EXPECT_NO_THROW(th.CommandValue(cmd::MASK_WRITE));
    EXPECT_EQ(th.CommandWord(0xC003, 0x1234), 0x01020304);
    EXPECT_EQ(peer.Requests().back().payload, (Bytes{0x12, 0x34}));
    areaError = true;
    EXPECT_THROW(th.Command(cmd::AREA_RECT, PayloadW(0)), ECommErrData);
    try {
        th.Command(0x7777);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "unknown err-101");
        EXPECT_EQ(e.Code, -101);
    }
}

TEST_F(WorkerTest, AreaAndCameraRectangles) {
    AreaRect r = th.SetAreaRect(1, 20000, 300, -20000, -300);
    EXPECT_EQ(r, (AreaRect{-14998, -300, 14998, 300}));
    EXPECT_EQ(peer.Requests().back().payload, AreaRectPayload(1, r));
    EXPECT_TRUE(LoggedLine("AREA_RECT(ch1, x0=-14998, y0=-300, x1=14998, y1=300)"));
    areaError = true;
    EXPECT_THROW(th.SetAreaRect(0, 0, 0, 10, 10), ECommErrData);

    th.VerifyCamRect = true;
    th.SetCamRect(CamRect{0, 0, 480, 640});
    auto reqs = peer.Requests();
    ASSERT_GE(reqs.size(), 2u);
    EXPECT_EQ(reqs[reqs.size() - 2].payload, (Bytes{0, 0, 0, 0, 0, 60, 0, 80}));
    EXPECT_EQ(reqs.back().code, cmd::GET_CAM_RECT);
    EXPECT_TRUE(LoggedLine("send(0,0, 480,640)"));
    EXPECT_TRUE(LoggedLine("verify(16,160, 96,800)"));
    EXPECT_EQ(th.GetCamRect(), (CamRect{160, 16, 96, 800}));
}

TEST_F(WorkerTest, EpmWriteRepeatsOnErrExe) {
    epmRefusals = 3;
    th.EpmWrite(15);
    EXPECT_EQ(peer.CountOf(cmd::EPM_WRITE), 4);
    EXPECT_EQ(peer.Requests().back().payload, (Bytes{0x01, 0x0F}));
    EXPECT_EQ(CountLogged("ERR_EXE"), 3);
    epmRefusals = 100;
    try {
        th.EpmWrite(2);
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "EPM_WRITE retey over");
    }
    EXPECT_EQ(peer.CountOf(cmd::EPM_WRITE), 14);
    EXPECT_THROW(th.EpmWrite(-1), EKestError);
}

// ----------------------------------------------------------------- memory

TEST_F(WorkerTest, MemReadNormalBlocks) {
    for (uint32_t i = 0; i < 600; ++i) sensor.Put(0x1000 + i, static_cast<uint16_t>(0xA000 + i));
    std::vector<uint16_t> words(600);
    th.MemRead(words.data(), 0x1000, kModeWords, 600);
    for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(words[i], 0xA000 + i);
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].payload, (Bytes{0, 0, 0x10, 0x00, 253, 0x11}));
    EXPECT_EQ(reqs[1].payload, (Bytes{0, 0, 0x10, 0xFD, 253, 0x11}));
    EXPECT_EQ(reqs[2].payload, (Bytes{0, 0, 0x11, 0xFA, 94, 0x11}));
}

TEST_F(WorkerTest, MemReadWideBlocks) {
    for (uint32_t i = 0; i < 4000; ++i) sensor.Put(0x8000 + i, static_cast<uint16_t>(i * 3));
    th.WideTransfers = true;
    std::vector<uint16_t> words(3100);
    th.MemRead(words.data(), 0x8000, kModeWords, 3100);
    for (uint32_t i = 0; i < 3100; ++i) ASSERT_EQ(words[i], static_cast<uint16_t>(i * 3));
    // 1012, 1012, 1012, then 64 words (below 253) with a normal read
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].code, cmd::MEM_READ_WIDE);
    EXPECT_EQ(reqs[0].payload[4], 253);
    EXPECT_EQ(reqs[2].code, cmd::MEM_READ_WIDE);
    EXPECT_EQ(reqs[3].code, cmd::MEM_READ);
    EXPECT_EQ(reqs[3].payload[4], 64);

    peer.ResetCounters();
    th.MemRead(words.data(), 0x8000, kModeWords, 1400);  // 1012 wide, then 388 -> 388 wide
    reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[1].code, cmd::MEM_READ_WIDE);
    EXPECT_EQ(reqs[1].payload[4], 97);
    peer.ResetCounters();
    th.MemRead(words.data(), 0x8000, kModeWords, 1402);  // 1012, then 388 wide, then 2 normal
    EXPECT_EQ(peer.Requests().size(), 3u);
    for (uint32_t i = 0; i < 1402; ++i) ASSERT_EQ(words[i], static_cast<uint16_t>(i * 3));
}

TEST_F(WorkerTest, FailedWideReadFallsBackForGood) {
    sensor.refuseWide = true;
    th.WideTransfers = true;
    std::vector<uint16_t> words(2000);
    try {
        th.MemRead(words.data(), 0, kModeWords, 2000);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "MemRead error;-8191");
    }
    EXPECT_FALSE(th.WideTransfers);
    EXPECT_NO_THROW(th.MemRead(words.data(), 0, kModeWords, 2000));
    EXPECT_EQ(peer.CountOf(cmd::MEM_READ_WIDE), 1);
    EXPECT_EQ(peer.CountOf(cmd::MEM_READ), 8);
}

TEST_F(WorkerTest, MemReadByteOrderAndBadCounts) {
    sensor.Put(0x40, 0x1234);
    uint8_t raw[2] = {};
    th.MemRead(raw, 0x40, 0x011, 1);  // no swap: wire order
    EXPECT_EQ(raw[0], 0x12);
    th.MemRead(raw, 0x40, 0x111, 1);
    EXPECT_EQ(raw[0], 0x34);
    uint16_t odd[3];
    EXPECT_THROW(th.MemRead(odd, 0, kModeMaster, 3), EKestError);
}

TEST_F(WorkerTest, MemReadFailureNamesTheCode) {
    onRequest = [](const Request&) {};
    std::vector<uint16_t> words(10);
    peer.SetHandler([](PtyPeer&, const Request&) {});  // silent
    try {
        th.MemRead(words.data(), 0, kModeWords, 10);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "MemRead error;-101");
        EXPECT_EQ(e.Code, -101);
    }
    try {
        th.MemWrite(words.data(), 0, kModeWrite, 10);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "MemWrite error;-101");
    }
}

TEST_F(WorkerTest, MemReadRejectsAShortReply) {
    peer.SetHandler([](PtyPeer& p, const Request& r) {
        p.Send(PtyPeer::Frame(r.code, {0, 0, 0, 0, 1, 2}));  // one word of ten
    });
    std::vector<uint16_t> words(10, 0xEEEE);
    EXPECT_THROW(th.MemRead(words.data(), 0, kModeWords, 10), ECommError);
    EXPECT_EQ(words[9], 0xEEEE);
}

TEST_F(WorkerTest, MemWriteBlocks) {
    std::vector<uint16_t> words(300);
    for (int i = 0; i < 300; ++i) words[static_cast<size_t>(i)] = static_cast<uint16_t>(0x5000 + i);
    th.MemWrite(words.data(), 0x2000, kModeWrite, 300);
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].payload.size(), 4u + 506u);
    EXPECT_EQ(reqs[1].payload.size(), 4u + 94u);
    EXPECT_EQ(Bytes(reqs[1].payload.begin(), reqs[1].payload.begin() + 4), Be32(0x2000 + 253));
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(sensor.At(0x2000 + static_cast<uint32_t>(i)), 0x5000 + i);
}

// -------------------------------------------------------------- profiles

TEST_F(WorkerTest, MasterProfileBlocksCountAndTrailingZeros) {
    const uint32_t at = 0x30000;
    sensor.Put(at, 0x0001);
    sensor.Put(at + 2, static_cast<uint16_t>(300 << 5));
    for (int i = 0; i < 295; ++i) {
        sensor.Put(at + 4 + 2 * i, static_cast<uint16_t>(i + 1));
        sensor.Put(at + 5 + 2 * i, 7);
    }
    std::vector<uint16_t> buf(2052);
    EXPECT_EQ(th.FetchMasterProfile(at, buf), 295);  // 5 all-zero points dropped
    EXPECT_EQ(buf[4 + 2 * 294], 295);
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 3u);  // 604 words: 252 + 252 + 100
    EXPECT_EQ(reqs[0].payload[4], 126);
    EXPECT_EQ(reqs[0].payload[5], 0x21);
    EXPECT_EQ(reqs[2].payload[4], 50);
}

TEST_F(WorkerTest, MasterProfileAbsentOrIllegal) {
    sensor.Put(0x31000, 0xFFFF);
    std::vector<uint16_t> buf(2052);
    EXPECT_EQ(th.FetchMasterProfile(0x31000, buf), 0);
    EXPECT_EQ(peer.Requests().size(), 1u);
    sensor.Put(0x32000, 0);
    sensor.Put(0x32002, static_cast<uint16_t>(1025 << 5));
    try {
        th.FetchMasterProfile(0x32000, buf);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "illegal profile size");
        EXPECT_EQ(e.Code, 0);
    }
    sensor.Put(0x32002, static_cast<uint16_t>(1024 << 5));
    EXPECT_EQ(th.FetchMasterProfile(0x32000, buf), 0);  // all points zero
    std::vector<uint16_t> small(100);
    EXPECT_THROW(th.FetchMasterProfile(0x32000, small), ECommError);  // would not fit
}

TEST_F(WorkerTest, FetchProfileLimitsAndDecimation) {
    PutProfile(0x40000, 1023, 0);
    EXPECT_EQ(th.FetchProfile(0x40000, th.ProfileBuffer, 1), 1023);
    PutProfile(0x48000, 1025, 0);
    EXPECT_THROW(th.FetchProfile(0x48000, th.ProfileBuffer, 1), ECommError);
    PutProfile(0x50000, 100, 0);
    peer.ResetCounters();
    EXPECT_EQ(th.FetchProfile(0x50000, th.ProfileBuffer, 2), 50);
    EXPECT_EQ(peer.Requests()[0].payload[5], 0x22);
    EXPECT_THROW(th.FetchProfile(0x50000, th.ProfileBuffer, 0), EKestError);
}

TEST_F(WorkerTest, FetchProfileUsesWideBlocksAfterTheFirst) {
    PutProfile(0x40000, 1000, 0);
    th.WideTransfers = true;
    EXPECT_EQ(th.FetchProfile(0x40000, th.ProfileBuffer, 1), 1000);
    // 2002 words: 252 normal, 1012 wide, then 738 -> 736 wide, then 2 normal
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].code, cmd::MEM_READ);
    EXPECT_EQ(reqs[1].code, cmd::MEM_READ_WIDE);
    EXPECT_EQ(reqs[1].payload[5], 0x11);
    EXPECT_EQ(reqs[2].code, cmd::MEM_READ_WIDE);
    EXPECT_EQ(reqs[3].code, cmd::MEM_READ);
    EXPECT_EQ(th.ProfileBuffer[2 + 2 * 999], 1000);
    EXPECT_EQ(th.ProfileBuffer[3 + 2 * 999], 1999);
}

// --------------------------------------------------------------------- tasks

TEST_F(WorkerTest, ImageTaskFetchesProfileAndPicture) {
    PutImage(7, 64 * 32);
    std::atomic<int> done{0}, progress{0};
    th.OnProgress = [&] { ++progress; };
    th.RequestImage(32, 64, [&] { ++done; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(done, 1);
    EXPECT_GE(progress, 1);
    EXPECT_EQ(th.Progress, 100);
    EXPECT_EQ(th.ImageNumber, 7);
    EXPECT_EQ(th.ImageAddress, static_cast<int>(kImageBase + 7 * 0x40000));
    EXPECT_EQ(th.ProfileCount, 100);
    EXPECT_EQ(th.SecondCount, 50);
    EXPECT_EQ(th.ProfileBuffer[2], 1);
    EXPECT_EQ(th.ProfileBuffer[3], 1000);
    ASSERT_EQ(th.Image.pixels.size(), 64u * 32u);
    for (size_t i = 0; i < th.Image.pixels.size(); ++i)
        ASSERT_EQ(th.Image.pixels[i], PixelOf(7, i));
}

TEST_F(WorkerTest, ImagePairFillsChannelsByMask) {
    imageNumber = 8;  // pair 6, 7 (8 - 1 rounded down to even is 6)
    PutImage(6, 16 * 16);
    PutImage(7, 16 * 16);
    std::atomic<int> done{0};
    th.RequestImagePair(16, 16, [&] { ++done; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    ASSERT_EQ(done, 1);
    std::vector<uint32_t> asked;
    for (auto& r : peer.Requests())
        if (r.code == cmd::GET_IMG_ADDR) asked.push_back(Be32(r.payload));
    EXPECT_EQ(asked, (std::vector<uint32_t>{8, 7, 6}));
    ASSERT_EQ(th.Image.bytesPerPixel, 3);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(th.Image.pixels[3 * i], PixelOf(7, i));
        ASSERT_EQ(th.Image.pixels[3 * i + 1], PixelOf(6, i));
        ASSERT_EQ(th.Image.pixels[3 * i + 2], PixelOf(6, i));
    }
}

TEST_F(WorkerTest, BusyRefusalLeavesTheRunningTaskAlone) {
    std::atomic<int> views{0};
    th.RequestLiveView(
        32, 32, [&] { ++views; }, nullptr);
    ASSERT_TRUE(WaitFor([&] { return views >= 1; }));
    try {
        th.RequestImage(32, 32, nullptr);
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "KEST_thread busy");
    }
    EXPECT_THROW(th.RequestImagePair(32, 32, nullptr), EKestError);
    EXPECT_THROW(th.RequestProfiles(nullptr), EKestError);
    int before = views;
    ASSERT_TRUE(WaitFor([&] { return views > before + 1; }));
    EXPECT_EQ(th.Task, kTaskLiveView);
    th.AbortRequested = true;
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_FALSE(th.AbortRequested);
}

TEST_F(WorkerTest, AbortDuringAnImageEndsAtTheNextBlock) {
    std::atomic<int> reads{0};
    onRequest = [&](const Request& r) {
        if (r.code == cmd::MEM_READ && ++reads == 6) th.AbortRequested = true;
    };
    std::atomic<int> done{0};
    th.RequestImage(480, 640, [&] { ++done; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(done, 0);
    EXPECT_FALSE(th.AbortRequested);
    EXPECT_EQ(th.LastError, "USER ABORT");
    EXPECT_TRUE(LoggedLine("KESTthread: USER ABORT"));
    // the profile pair takes 2 reads, the picture stops right after the 6th read
    EXPECT_EQ(reads, 6);
}

TEST_F(WorkerTest, TaskTimeLimitEndsTheTask) {
    th.ImageTimeLimit = 30;
    replyDelayMs = 4;
    th.RequestImage(480, 640, nullptr);
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }, 5000));
    EXPECT_EQ(th.LastError, "TASK TIMEOUT");
    EXPECT_TRUE(LoggedLine("KESTthread: TASK TIMEOUT"));
    EXPECT_EQ(peer.CountOf(cmd::GET_IMG_NO), 1);  // not repeated like a link failure
}

TEST_F(WorkerTest, FiveConsecutiveFailuresDropTheTask) {
    imgNoError = 0xE002;
    th.RequestImage(32, 32, nullptr);
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(peer.CountOf(cmd::GET_IMG_NO), 5);
    EXPECT_EQ(CountLogged("KESTthread: Send failed; E002"), 5);
    EXPECT_EQ(th.ConsecutiveFailures(), 0);
}

TEST_F(WorkerTest, ASuccessResetsTheFailureCount) {
    // polling: 4 failures, one success, then failures until the task is dropped
    profAddrFail = [](int n) { return n != 4; };
    th.RequestProfiles(nullptr);
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    // Failed passes, counted by their log lines (a slow build may repeat a
    // request within a pass): 4 + 5, not 4 + 1.
    EXPECT_EQ(CountLogged("KESTthread: Send failed; E002"), 9);
}

TEST_F(WorkerTest, IllegalProfileSizeInTheImageTask) {
    PutProfile(kProfileAt, 1023, 0);
    th.RequestImage(16, 16, nullptr);
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(CountLogged("KESTthread: illegal profile size"), 5);
    PutProfile(kProfileAt, 0, 0);
    peer.ResetCounters();
    th.RequestImage(16, 16, nullptr);
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(CountLogged("KESTthread: illegal profile size"), 10);
}

TEST_F(WorkerTest, OversizedSecondArrayFallsBackToTheImageWidth) {
    PutProfile(kProfileAt, 10, 0, static_cast<uint16_t>(1023 << 5));
    PutImage(7, 48 * 16);
    std::atomic<int> done{0};
    th.RequestImage(16, 48, [&] { ++done; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(th.SecondCount, 48);
    EXPECT_TRUE(LoggedLine("illegal profile size; 1023(7FE0)"));
}

TEST_F(WorkerTest, ProfilePollingDeliversOnlyNewProfiles) {
    // The results are read where the consumer reads them: inside OnDone.
    std::atomic<int> done{0}, count{0};
    std::atomic<int64_t> address{0};
    th.RequestProfiles([&] {
        count = th.ProfileCount;
        address = th.LastProfileAddress;
        ++done;
    });
    ASSERT_TRUE(WaitFor([&] { return done == 1; }));
    ASSERT_TRUE(WaitFor([&] { return peer.CountOf(cmd::GET_PROF_ADDR) > 5; }));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(count, 100);
    PutProfile(0x20000, 40, 0);
    profileAddress = 0x20000;
    ASSERT_TRUE(WaitFor([&] { return done == 2; }));
    EXPECT_EQ(count, 40);
    EXPECT_EQ(address, 0x20000);
    th.AbortRequested = true;
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(th.LastError, "");  // polling ends quietly
}

TEST_F(WorkerTest, StartProfilesConnectsAndANewConsumerTakesOver) {
    std::atomic<int> first{0}, second{0};
    th.StartProfiles([&] { ++first; });
    EXPECT_EQ(th.ConnectCount, 2);
    ASSERT_TRUE(WaitFor([&] { return first == 1; }));
    th.RequestProfiles([&] { ++second; });              // restart while polling
    ASSERT_TRUE(WaitFor([&] { return second == 1; }));  // the same profile, delivered anew
    EXPECT_EQ(first, 1);
}

TEST_F(WorkerTest, CommandIsServedBetweenTwoBlocksOfATask) {
    replyDelayMs = 2;
    th.RequestImage(480, 640, nullptr);
    ASSERT_TRUE(WaitFor([&] { return sensor.normalReads >= 4; }));
    th.Command(cmd::SET_TMD, PayloadB(2));
    const int after = sensor.normalReads;
    ASSERT_TRUE(WaitFor([&] { return sensor.normalReads > after + 1; }))
        << th.LastError << " task " << int(th.Task) << " reads " << sensor.normalReads << " after "
        << after;  // the task goes on
    th.AbortRequested = true;
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    auto reqs = peer.Requests();
    auto tmd =
        std::find_if(reqs.begin(), reqs.end(), [](auto& r) { return r.code == cmd::SET_TMD; });
    ASSERT_NE(tmd, reqs.end());
    EXPECT_TRUE(std::any_of(reqs.begin(), tmd, [](auto& r) { return r.code == cmd::MEM_READ; }));
    EXPECT_TRUE(std::any_of(tmd + 1, reqs.end(), [](auto& r) { return r.code == cmd::MEM_READ; }));
}

// ----------------------------------------------------------- adaptive image

TEST(AdaptiveThresholdTest, Edges) {
    std::vector<uint8_t> thumb(100, 0);
    EXPECT_EQ(AdaptiveThreshold(thumb), 10);  // nothing above the floor
    std::fill(thumb.begin(), thumb.end(), 255);
    EXPECT_EQ(AdaptiveThreshold(thumb), 200);  // saturated
    std::fill(thumb.begin(), thumb.end(), 0);
    thumb[0] = thumb[1] = 150;  // 2 of 100: the limit is reached at 150
    EXPECT_EQ(AdaptiveThreshold(thumb), 150);
    thumb[1] = 120;  // one at 150 is below 2 %; the second brings it to the limit
    EXPECT_EQ(AdaptiveThreshold(thumb), 120);
    std::fill(thumb.begin(), thumb.end(), 5);
    EXPECT_EQ(AdaptiveThreshold(thumb), 10);
}

TEST_F(WorkerTest, LiveViewReadsFullResolutionOnlyAroundBrightBlocks) {
    // 64 x 64 picture: thumbnail 4 x 4; one bright spot in band 2, block 3
    const int w = 64, h = 64;
    const uint32_t at = kImageBase + 7 * 0x40000;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 2) {
            uint8_t a = static_cast<uint8_t>(1 + (x + y) % 5), b = a;
            if (y / 16 == 2 && x / 16 == 3) a = b = 240;
            sensor.Put(at + static_cast<uint32_t>((y * w + x) / 2),
                       static_cast<uint16_t>(a << 8 | b));
        }
    std::atomic<int> done{0}, bands{0}, errors{0};
    th.OnBandDone = [&] { ++bands; };
    th.RequestLiveView(
        h, w,
        [&] {
            ++done;
            th.AbortRequested = true;
        },
        [&] { ++errors; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(bands, 4);
    // thumbnail: 4 reads of 4 words with mode 0x18 (every 8th word)
    // (by address: a slow build may repeat a request)
    std::set<uint32_t> thumbReads, fullReads;
    for (auto& r : peer.Requests()) {
        if (r.code != cmd::MEM_READ) continue;
        if (r.payload[5] == 0x18) thumbReads.insert(Be32(r.payload));
        if (r.payload[5] == 0x11 && Be32(r.payload) >= at) fullReads.insert(Be32(r.payload));
    }
    EXPECT_EQ(thumbReads.size(), 4u);
    // bands 1..3 are next to the bright block: 48 rows, one run each
    EXPECT_EQ(fullReads.size(), 48u);
    // the bright block itself is exact; far blocks carry their thumbnail value
    for (int y = 32; y < 48; ++y)
        for (int x = 48; x < 64; ++x)
            ASSERT_EQ(th.Image.pixels[static_cast<size_t>(y * w + x)], 240);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(th.Image.pixels[static_cast<size_t>(y * w + x)], 1) << x << "," << y;
    // a dark block that closes a run (band 2, block 1) is read at full resolution
    EXPECT_EQ(th.Image.pixels[static_cast<size_t>(33 * w + 17)], 1 + (16 + 33) % 5);
    EXPECT_EQ(th.Image.pixels[static_cast<size_t>(33 * w + 18)], 1 + (18 + 33) % 5);
}

TEST_F(WorkerTest, LiveViewErrorIsReportedThenRetried) {
    imgNoError = 0xE002;
    std::atomic<int> errors{0};
    th.RequestLiveView(16, 16, nullptr, [&] { ++errors; });
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));
    EXPECT_EQ(errors, 5);
}

TEST_F(WorkerTest, BadImageSizesAreRefused) {
    EXPECT_THROW(th.RequestImage(0, 640, nullptr), EKestError);
    EXPECT_THROW(th.RequestImage(480, 5000, nullptr), EKestError);
    EXPECT_EQ(th.Task, kTaskIdle);
}

TEST_F(WorkerTest, WorkerLogLinesGoThroughTheDispatcher) {
    // A dispatcher that counts what it carries.
    std::atomic<int> carried{0};
    PtyPeer quiet;
    TKestThread other([&](const std::function<void()>& f) {
        ++carried;
        f();
    });
    other.PortName = quiet.Path();
    other.Port().replyTimeout = kShortTimeoutMs;
    other.Connect();
    quiet.SetHandler([](PtyPeer& p, const Request&) { p.Send(PtyPeer::ErrorFrame(0xE002)); });
    other.RequestImage(16, 16, nullptr);
    ASSERT_TRUE(WaitFor([&] { return other.Task == kTaskIdle; }));
    EXPECT_GE(carried, 5);  // progress reports and the five error lines
    EXPECT_EQ(CountLogged("KESTthread: Send failed; E002"), 5);
}
