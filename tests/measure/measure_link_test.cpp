// The measurement page's worker side against a scripted sensor on a
// pseudo-terminal: profile delivery with its correction, zero set with its
// read-back and its data error, AREA_RECT.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "common/log.h"
#include "link/commands.h"
#include "link_test_util.h"
#include "measure/measure_model.h"
#include "tests/support/test_context.h"

using namespace kd;
using namespace kdtest;
using kd::test::TTestContext;

namespace {

constexpr uint32_t kProfileAt = 0x10000;

Bytes Be32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

class MeasureLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sensor.SetOther([this](PtyPeer& p, const Request& r) {
            if (refuse.load() == r.code) return p.Send(PtyPeer::ErrorFrame(0xE002));
            switch (r.code) {
                case cmd::GET_PROF_CORR:
                    return p.Send(PtyPeer::Frame(r.code, {0x00, 0x05, 0xFF, 0xFE, 0x12, 0x34}));
                case cmd::GET_PROF_ADDR:
                    return p.Send(PtyPeer::Frame(r.code, Be32(kProfileAt)));
                default:
                    return p.Send(PtyPeer::Frame(r.code, {}));
            }
        });
        peer.SetHandler([this](PtyPeer& p, const Request& r) { sensor.Handle(p, r); });
        th.PortName = peer.Path();
        th.Port().replyTimeout = kShortTimeoutMs;
        ASSERT_NO_THROW(th.Connect());
        // A profile of 100 points after its two head words.
        sensor.Put(kProfileAt, 100 << 5);
        sensor.Put(kProfileAt + 1, 0x1234);
        for (int i = 0; i < 100; ++i) {
            sensor.Put(kProfileAt + 2 + 2 * i, static_cast<uint16_t>(-5000 + i * 100));
            sensor.Put(kProfileAt + 3 + 2 * i, static_cast<uint16_t>(i == 50 ? 0x7FFF : 2000));
        }
    }
    void TearDown() override {
        th.AbortRequested = true;
        WaitFor([&] { return th.Task == kTaskIdle; });
    }

    std::atomic<uint16_t> refuse{0};
    MemorySensor sensor{size_t{1} << 20};
    PtyPeer peer;  // after the sensor: its thread ends before the sensor goes
    TKestThread th{DirectDispatcher()};
    TThreadWorker worker{th};
    TTestContext t{&worker};
    ProfileShared shared;
    TMeasureModel model{t.Ctx, shared};
    std::vector<std::string> log;
    std::mutex logMutex;
    ScopedLogSink sink{[this](int, const std::string& l) {
        std::lock_guard<std::mutex> g(logMutex);
        log.push_back(l);
    }};
    bool Logged(const std::string& line) {
        std::lock_guard<std::mutex> g(logMutex);
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

}  // namespace

TEST(MeasureLinkWords, PointsAndPayload) {
    const uint16_t words[6] = {100 << 5, 0x1234, 0xEC78, 2000, 0x7FFF, 0x0001};
    std::array<ProfilePoint, 4> pts{};
    ProfilePointsFromWords(words, pts);
    EXPECT_EQ(pts[0], (ProfilePoint{100 << 5, 0x1234}));
    EXPECT_EQ(pts[1], (ProfilePoint{-5000, 2000}));
    EXPECT_EQ(pts[2], (ProfilePoint{kMissing, 1}));
    EXPECT_EQ(pts[3], (ProfilePoint{}));  // beyond the words: untouched
    const uint16_t w[2] = {0x0001, 0xABCD};
    EXPECT_EQ(PayloadWords(w), (std::vector<uint8_t>{0x00, 0x01, 0xAB, 0xCD}));
}

TEST_F(MeasureLinkTest, OnceDeliversOneProfileWithItsCorrection) {
    std::atomic<int> changes{0};
    model.OnPlotChanged = [&] { ++changes; };
    model.RefOnce();
    ASSERT_TRUE(WaitFor([&] { return changes.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return th.Task == kTaskIdle; }));  // one profile only
    EXPECT_EQ(model.Plot.PointCount, 100);
    EXPECT_EQ(shared.ProfileBuffer[1], (ProfilePoint{-5000, 2000}));
    EXPECT_EQ(shared.ProfileBuffer[51], (ProfilePoint{0, kMissing}));
    // Entry 0 is the buffer's head: 100 entries copied hold points 1..99.
    EXPECT_EQ(shared.ProfileBuffer[0], (ProfilePoint{100 << 5, 0x1234}));
    EXPECT_EQ(shared.ProfileBuffer[99], (ProfilePoint{4800, 2000}));
    EXPECT_EQ(model.Plot.OffsetZ, 10);
    EXPECT_EQ(model.Plot.OffsetX, -4);
    EXPECT_EQ(model.Plot.CorrectionValue3, 0x1234);
    EXPECT_TRUE(Logged("PROFILE ONCE"));
}

TEST_F(MeasureLinkTest, ZeroSetReadBackAndDataError) {
    t.Set("O1.Ch", 2);
    const int index = t.Ctx.BankWordIndex("C3.ZAdj");
    sensor.Put(1024 + static_cast<uint32_t>(index), 0xFF38);  // -200
    model.ZeroSetToggle(0);
    EXPECT_TRUE(model.ZeroSetChecked[0]);
    EXPECT_EQ(t.Ctx.GetBank("C3.ZAdj"), -200);
    EXPECT_TRUE(Logged("OUT1: 0set"));
    refuse = cmd::ZERO_CLR;  // answered with a data error
    model.ZeroSetToggle(0);
    EXPECT_TRUE(model.ZeroSetChecked[0]);
    EXPECT_TRUE(Logged("OUT1: 0clr failed, NO DISPL"));
    // The command carried the output number as a word.
    std::vector<Request> reqs = peer.Requests();
    auto it = std::find_if(reqs.begin(), reqs.end(),
                           [](const Request& r) { return r.code == cmd::ZERO_SET; });
    ASSERT_NE(it, reqs.end());
    EXPECT_EQ(it->payload, (Bytes{0x00, 0x00}));
}

TEST_F(MeasureLinkTest, AreaRectIsClampedOrRefused) {
    const AreaRect sent = worker.SetAreaRect(1, 20000, 300, -20000, -300);
    EXPECT_EQ(sent, (AreaRect{-14998, -300, 14998, 300}));
    refuse = cmd::AREA_RECT;
    EXPECT_THROW(worker.SetAreaRect(1, 0, 0, 10, 10), ECommErrData);
    EXPECT_TRUE(worker.IsOpen());
}
