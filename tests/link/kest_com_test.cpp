// Serial port record, frame layout, receiver and transaction against a scripted
// peer on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "link/comm_error.h"
#include "link/kest_com.h"
#include "link/serial_os.h"
#include "link_test_util.h"

using namespace kd;
using namespace kdtest;

namespace {

class PortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        com.replyTimeout = kShortTimeoutMs;
        ASSERT_EQ(ComOpen(com, peer.Path(), 115200), 1);
        com.trace = [this](const FrameTraceEvent& e) {
            std::lock_guard<std::mutex> g(traceMutex);
            (e.sent ? sent : received).emplace_back(e.bytes.begin(), e.bytes.end());
        };
    }
    void TearDown() override { ComClose(com); }

    // Bytes the peer sends unasked, then a receive for `expected`.
    int ReceiveAfter(const Bytes& bytes, uint16_t expected) {
        com.expectedCommand = expected;
        peer.Send(bytes);
        return ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
    }
    Bytes LastSent() {
        std::lock_guard<std::mutex> g(traceMutex);
        return sent.empty() ? Bytes{} : sent.back();
    }

    PtyPeer peer;
    KestCom com;
    std::mutex traceMutex;
    std::vector<Bytes> sent, received;
};

}  // namespace

// ------------------------------------------------------------------ the record

TEST(KestComRecord, FreshRecordIsClosedAt2Mbit) {
    KestCom com;
    EXPECT_EQ(com.handle, -1);
    EXPECT_FALSE(ComIsOpen(com));
    EXPECT_EQ(ComGetBaud(com), 2000000);
    EXPECT_EQ(com.replyTimeout, 1000);
    EXPECT_EQ(com.receiveBuffer.size(), 2034u);
    EXPECT_EQ(com.sendBuffer.size(), 516u);
}

TEST(KestComRecord, BaudSetWhileClosedIsUsedByTheNextOpenWithoutRate) {
    PtyPeer peer;
    KestCom com;
    EXPECT_EQ(ComSetBaud(com, 115200), 1);
    EXPECT_EQ(ComGetBaud(com), 115200);
    ASSERT_EQ(ComOpen(com, peer.Path(), 0), 1);
    EXPECT_EQ(SerialReportedBaud(com.handle), 115200);
    ComClose(com);
    ASSERT_EQ(ComOpen(com, peer.Path(), -1), 1);
    EXPECT_EQ(SerialReportedBaud(com.handle), 115200);
    ComClose(com);
    EXPECT_EQ(ComGetBaud(com), 115200);  // kept while closed
}

TEST(KestComRecord, RatesWithoutAConstantAreSet) {
    PtyPeer peer;
    KestCom com;
    for (int rate : {9600, 250000, 2000000, 4000000}) {
        ASSERT_EQ(ComOpen(com, peer.Path(), rate), 1) << rate;
        EXPECT_EQ(SerialReportedBaud(com.handle), rate);
        ComClose(com);
    }
    EXPECT_EQ(ComSetBaud(com, 0), -1);
    EXPECT_EQ(ComSetBaud(com, -5), -1);
    EXPECT_EQ(ComGetBaud(com), 4000000);
}

TEST(KestComRecord, PortNames) {
    EXPECT_EQ(SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("pts/3"), "/dev/pts/3");
    EXPECT_EQ(SerialDevicePath("/tmp/a/very/long/port/name"), "/tmp/a/very/long/port/name");
    EXPECT_EQ(SerialDevicePath(""), "");

    PtyPeer peer;
    KestCom com;
    // "/dev/pts/N" opened by its name under /dev/
    ASSERT_EQ(peer.Path().rfind("/dev/", 0), 0u);
    ASSERT_EQ(ComOpen(com, peer.Path().substr(5), 9600), 1);
    EXPECT_EQ(com.devicePath, peer.Path());
    ComClose(com);
    EXPECT_EQ(ComOpen(com, "kd-no-such-port", 9600), -1);
    EXPECT_EQ(ComOpen(com, "", 9600), -1);
    EXPECT_FALSE(ComIsOpen(com));
}

TEST(KestComRecord, NotATerminalIsRefused) {
    KestCom com;
    EXPECT_EQ(ComOpen(com, "/dev/null", 9600), -1);
    EXPECT_FALSE(ComIsOpen(com));
}

TEST(KestComRecord, OpenIsExclusive) {
    PtyPeer peer;
    KestCom first, second;
    ASSERT_EQ(ComOpen(first, peer.Path(), 9600), 1);
    EXPECT_EQ(ComOpen(second, peer.Path(), 9600), -1);
    ComClose(first);
    EXPECT_EQ(ComOpen(second, peer.Path(), 9600), 1);
    ComClose(second);
}

TEST(KestComRecord, AWriteWaitingForRoomEndsOnceTheOwnerStops) {
    // A terminal whose far end reads nothing: its output queue fills up.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int fd = SerialOpen(ptsname(master));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SerialConfigure(fd, 115200));
    const std::vector<uint8_t> block(4096, 0x55);
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    std::atomic<bool> cancel{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancel = true;
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialWrite(fd, block.data(), block.size(), 10000, &cancel), -1);
    const auto waited = std::chrono::steady_clock::now() - t0;
    stopper.join();
    EXPECT_LT(waited, std::chrono::seconds(2));  // not the 10 s allowed for room
    SerialClose(fd);
    ::close(master);
}

TEST(KestComRecord, ClosedRecordRefusesEverything) {
    KestCom com;
    uint8_t buf[8];
    EXPECT_EQ(ComReceive(com, buf, sizeof buf), -1);
    EXPECT_EQ(ComTransact(com, 0x0009, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(ComPurge(com), -1);
    EXPECT_EQ(ComWrite(com, buf, 6), -1);
}

TEST_F(PortTest, OpeningAnOpenRecordPurgesAndReturnsZero) {
    peer.Send({1, 2, 3, 4, 5});
    ASSERT_TRUE(WaitFor([&] { return SerialInQueue(com.handle) == 5; }));
    EXPECT_EQ(ComOpen(com, peer.Path(), 9600), 0);
    EXPECT_EQ(SerialInQueue(com.handle), 0);
    EXPECT_EQ(ComGetBaud(com), 115200);  // not reconfigured
}

TEST_F(PortTest, PurgeDropsWaitingInput) {
    peer.Send({9, 9, 9});
    ASSERT_TRUE(WaitFor([&] { return SerialInQueue(com.handle) == 3; }));
    EXPECT_EQ(ComPurge(com), 1);
    EXPECT_EQ(SerialInQueue(com.handle), 0);
}

TEST_F(PortTest, PseudoTerminalReportsNoLineErrors) {
    peer.Send(PtyPeer::Frame(0x0009, {0, 1}));
    EXPECT_EQ(ReceiveAfter({}, 0x0009), 8);
    EXPECT_EQ(com.lineErrors, 0u);
    EXPECT_FALSE(com.lineCounters.supported);
}

TEST(LineErrors, CounterGrowthBecomesTheMask) {
    LineCounters c;
    // counts standing before the port was ours are no errors of this attempt
    EXPECT_EQ(LineErrorMask(c, 5, 1, 2, 3, 4), 0u);
    EXPECT_EQ(LineErrorMask(c, 5, 1, 2, 3, 4), 0u);
    EXPECT_EQ(LineErrorMask(c, 6, 1, 2, 3, 4), kLineFrame);
    EXPECT_EQ(LineErrorMask(c, 6, 2, 2, 4, 5), kLineOverrun | kLineBreak | kLineRxOver);
    const uint32_t parityOnly = LineErrorMask(c, 6, 2, 3, 4, 5);
    EXPECT_EQ(parityOnly, kLineParity);
    EXPECT_EQ(parityOnly & kLineFatalMask, 0u);  // a parity error alone spoils nothing
    EXPECT_EQ(kLineFatalMask, 0x1Bu);
}

// ---------------------------------------------------------------- frame layout

TEST(FrameBcc, XorOfTheRange) {
    const uint8_t b[] = {0x02, 0xC0, 0x00, 0x00, 0x03, 0x00, 0x01};
    EXPECT_EQ(ComBcc(b, 0), 0);
    EXPECT_EQ(ComBcc(b, 7), 0xC0);
}

TEST_F(PortTest, RequestFramesHaveTheExactBytes) {
    peer.SetHandler(EchoEmpty);
    ASSERT_EQ(ComTransact(com, 0x2006, nullptr, 0, nullptr, 0), 6);
    EXPECT_EQ(LastSent(), (Bytes{0x02, 0x00, 0x20, 0x06, 0x03, 0x26}));
    EXPECT_EQ(com.sentLength, 6);
    EXPECT_EQ(com.expectedCommand, 0x2006);

    const uint8_t payload[] = {0x00, 0x03, 0x00, 0x01};
    ASSERT_EQ(ComTransact(com, 0xC000, payload, 4, nullptr, 0), 6);
    EXPECT_EQ(LastSent(), (Bytes{0x02, 0x02, 0xC0, 0x00, 0x00, 0x03, 0x00, 0x01, 0x03, 0xC0}));
    EXPECT_EQ(com.sentLength, 10);
}

TEST_F(PortTest, OddPayloadIsPaddedWithZeroNotCallerMemory) {
    peer.SetHandler(EchoEmpty);
    const uint8_t payload[4] = {0xAA, 0xBB, 0xCC, 0xEE};  // only 3 are given
    ASSERT_EQ(ComTransact(com, 0x0005, payload, 3, nullptr, 0), 6);
    Bytes f = LastSent();
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(f[1], 2);
    EXPECT_EQ(f[7], 0x00);
    EXPECT_EQ(f[9], ComBcc(f.data() + 1, 7));
}

TEST_F(PortTest, PayloadStandingInTheSendBufferIsSent) {
    peer.SetHandler(EchoEmpty);
    com.sendBuffer[4] = 0x12;
    com.sendBuffer[5] = 0x34;
    ASSERT_EQ(ComTransact(com, 0xC003, nullptr, 2, nullptr, 0), 6);
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].payload, (Bytes{0x12, 0x34}));
}

TEST_F(PortTest, OversizedPayloadIsRefusedUnsent) {
    std::vector<uint8_t> big(511, 1);
    EXPECT_EQ(ComTransact(com, 0x0001, big.data(), 511, nullptr, 0), kRecvNoBuff);
    EXPECT_EQ(ComTransact(com, 0x0001, big.data(), -1, nullptr, 0), kRecvNoBuff);
    EXPECT_TRUE(LastSent().empty());
    peer.SetHandler(EchoEmpty);
    EXPECT_EQ(ComTransact(com, 0x0001, big.data(), 510, nullptr, 0), 6);
    EXPECT_EQ(LastSent().size(), 516u);
}

// -------------------------------------------------------------------- receiver

TEST_F(PortTest, CompleteReplyGivesItsLength) {
    uint32_t before = com.stxTime;
    EXPECT_EQ(ReceiveAfter(PtyPeer::Frame(0x2003, {0x01, 0x02}), 0x2003), 8);
    EXPECT_EQ(com.receivedLength, 8);
    EXPECT_NE(com.stxTime, before - 1);
    EXPECT_EQ(com.receiveBuffer[4], 0x01);
    EXPECT_EQ(com.receiveBuffer[5], 0x02);
}

TEST_F(PortTest, ReplyInPiecesIsAssembled) {
    Bytes frame = PtyPeer::Frame(0x0009, {0, 0x53, 0, 0x6D, 0, 0x50});
    com.expectedCommand = 0x0009;
    std::thread t([&] { peer.SendPieces(frame, 3, 5); });
    int r = ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
    t.join();
    EXPECT_EQ(r, 12);
    EXPECT_EQ(Bytes(com.receiveBuffer.begin(), com.receiveBuffer.begin() + 12), frame);
}

TEST_F(PortTest, UpToTenNoiseBytesBeforeStxAreSkipped) {
    Bytes noise(10, 0x55);
    EXPECT_EQ(ReceiveAfter(Concat(noise, PtyPeer::Frame(0x0009, {})), 0x0009), 6);
    EXPECT_EQ(com.receiveBuffer[0], 0x02);
}

TEST_F(PortTest, NoiseArrivingInSmallRunsIsDropped) {
    com.expectedCommand = 0x0009;
    std::thread t([&] {
        peer.Send(Bytes(6, 0x55));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        peer.Send(Bytes(6, 0x66));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        peer.Send(PtyPeer::Frame(0x0009, {}));
    });
    int r = ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
    t.join();
    EXPECT_EQ(r, 6);
}

TEST_F(PortTest, ElevenBytesWithoutStxEndTheAttempt) {
    EXPECT_EQ(ReceiveAfter(Bytes(11, 0x55), 0x0009), kRecvNoStx);
}

TEST_F(PortTest, WrongEtxIsReportedEvenWithAGoodBcc) {
    Bytes f = PtyPeer::Frame(0x2003, {0x01, 0x02});
    f[6] = 0x04;  // ETX position; BCC does not cover it
    EXPECT_EQ(ReceiveAfter(f, 0x2003), kRecvNoEtx);
    EXPECT_EQ(com.receivedLength, 8);
}

TEST_F(PortTest, WrongBccIsSumError) {
    Bytes f = PtyPeer::Frame(0x2003, {0x01, 0x02});
    f.back() ^= 0x40;
    EXPECT_EQ(ReceiveAfter(f, 0x2003), kSumError);
}

TEST_F(PortTest, StatusReplyIsRecognisedFromFourBytes) {
    EXPECT_EQ(ReceiveAfter({0x02, 0x00, 0xFE, 0x15}, 0x2006), -235);
    EXPECT_EQ(ReceiveAfter({0x02, 0x07, 0xFE, 0xA4}, 0x2006), -92);
    EXPECT_EQ(ReceiveAfter({0x02, 0x00, 0xFE, 0x9D}, 0x2006), -99);
}

TEST_F(PortTest, SilenceMidReplyAndTotalSilence) {
    Bytes f = PtyPeer::Frame(0x2003, {0x01, 0x02});
    f.resize(5);
    EXPECT_EQ(ReceiveAfter(f, 0x2003), kRecvTimeout);
    EXPECT_EQ(ReceiveAfter({}, 0x2003), 0);
}

TEST_F(PortTest, SilenceIsMeasuredFromTheLastByte) {
    // Pieces 25 ms apart: longer in all than the 40 ms time-out, each gap shorter.
    Bytes frame = PtyPeer::Frame(0x0009, {0, 1, 0, 2});
    com.expectedCommand = 0x0009;
    std::thread t([&] { peer.SendPieces(frame, 2, 25); });
    int r = ComReceive(com, com.receiveBuffer.data(), com.receiveBuffer.size());
    t.join();
    EXPECT_EQ(r, 10);
}

TEST_F(PortTest, WideReadLengthRule) {
    Bytes payload(12, 0xAB);
    Bytes f = PtyPeer::WideFrame(payload);
    ASSERT_EQ(f[1], 3);
    EXPECT_EQ(ReceiveAfter(f, 0x001A), 18);
    Bytes empty = PtyPeer::Frame(0x001A, {});
    EXPECT_EQ(ReceiveAfter(empty, 0x001A), 6);
    // the same length byte read as words for any other command
    Bytes normal = PtyPeer::Frame(0x0002, Bytes(6, 1));
    EXPECT_EQ(ReceiveAfter(normal, 0x0002), 12);
}

TEST_F(PortTest, LargestWideReplyFillsTheBuffer) {
    Bytes payload(2028, 0x5A);
    Bytes f = PtyPeer::WideFrame(payload);
    ASSERT_EQ(f.size(), 2034u);
    ASSERT_EQ(f[1], 255);
    EXPECT_EQ(ReceiveAfter(f, 0x001A), 2034);
}

TEST_F(PortTest, SensorErrorRepliesGiveTheirCode) {
    EXPECT_EQ(ReceiveAfter(PtyPeer::ErrorFrame(0xE001), 0x2006), static_cast<int16_t>(0xE001));
    EXPECT_EQ(ReceiveAfter(PtyPeer::ErrorFrame(0xD003), 0x2006), static_cast<int16_t>(0xD003));
}

TEST_F(PortTest, ReplyToAnotherCommandIsMismatched) {
    EXPECT_EQ(ReceiveAfter(PtyPeer::Frame(0x2007, {}), 0x2006), kRecvMissmatched);
}

TEST_F(PortTest, BytesBeyondTheAnnouncedFrameAreNotPartOfIt) {
    Bytes f = Concat(PtyPeer::Frame(0x2003, {0x01, 0x02}), {0x77, 0x88, 0x99});
    EXPECT_EQ(ReceiveAfter(f, 0x2003), 8);
    EXPECT_EQ(com.receivedLength, 8);
}

TEST_F(PortTest, FrameLargerThanTheBufferIsAnOverflowNotAHang) {
    std::array<uint8_t, 10> small{};
    com.expectedCommand = 0x2003;
    peer.Send(PtyPeer::Frame(0x2003, Bytes(8, 1)));  // 14 bytes
    EXPECT_EQ(ComReceive(com, small.data(), small.size()), kRecvOverflow);
    std::array<uint8_t, 3> tiny{};
    ComPurge(com);
    peer.Send(PtyPeer::Frame(0x2003, {}));
    EXPECT_EQ(ComReceive(com, tiny.data(), tiny.size()), kRecvOverflow);
    EXPECT_EQ(ComReceive(com, nullptr, 0), kRecvNoBuff);
}

TEST_F(PortTest, ReceivedBytesAreTraced) {
    ReceiveAfter(PtyPeer::Frame(0x2003, {0x01, 0x02}), 0x2003);
    std::lock_guard<std::mutex> g(traceMutex);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], PtyPeer::Frame(0x2003, {0x01, 0x02}));
}

// ----------------------------------------------------------------- transaction

TEST_F(PortTest, TransactCopiesTheReplyPayload) {
    peer.SetHandler([](PtyPeer& p, const Request& r) {
        p.Send(PtyPeer::Frame(r.code, {0x00, 0x53, 0x00, 0x6D, 0x00, 0x50}));
    });
    uint8_t reply[6] = {};
    EXPECT_EQ(ComTransact(com, 0x0009, nullptr, 0, reply, 6), 12);
    EXPECT_EQ(reply[1], 0x53);
    EXPECT_EQ(reply[5], 0x50);
}

TEST_F(PortTest, ReplyLargerThanTheCallersBufferIsAnOverflow) {
    peer.SetHandler([](PtyPeer& p, const Request& r) {
        p.Send(PtyPeer::Frame(r.code, {0xAB, 0xCD}));
    });
    uint8_t reply[2] = {0, 0xEE};
    EXPECT_EQ(ComTransact(com, 0x2003, nullptr, 0, reply, 1), kRecvOverflow);
    EXPECT_EQ(reply[0], 0xAB);
    EXPECT_EQ(reply[1], 0xEE);  // nothing past the capacity
}

TEST_F(PortTest, DamagedRepliesAreAskedAgain) {
    std::atomic<int> n{0};
    peer.SetHandler([&](PtyPeer& p, const Request& r) {
        Bytes f = PtyPeer::Frame(r.code, {0x00, 0x07});
        if (n++ == 0)
            f.back() ^= 1;  // BCC
        else if (n == 2)
            f[f.size() - 2] = 0;  // ETX
        p.Send(f);
    });
    uint8_t reply[2] = {};
    EXPECT_EQ(ComTransact(com, 0x2003, nullptr, 0, reply, 2), 8);
    EXPECT_EQ(reply[1], 0x07);
    EXPECT_EQ(peer.CountOf(0x2003), 3);
}

TEST_F(PortTest, TotalSilenceIsRetryOutAfterThreeAttempts) {
    EXPECT_EQ(ComTransact(com, 0x2003, nullptr, 0, nullptr, 0), kRetryOut);
    EXPECT_TRUE(WaitFor([&] { return peer.CountOf(0x2003) == 3; }));
}

TEST_F(PortTest, SensorErrorReplyEndsTheRepetitionsAtOnce) {
    peer.SetHandler([](PtyPeer& p, const Request&) { p.Send(PtyPeer::ErrorFrame(0xE008)); });
    EXPECT_EQ(ComTransact(com, 0x0005, nullptr, 0, nullptr, 0), static_cast<int16_t>(0xE008));
    EXPECT_EQ(peer.CountOf(0x0005), 1);
    peer.SetHandler([](PtyPeer& p, const Request&) { p.Send(PtyPeer::ErrorFrame(0xD010)); });
    EXPECT_EQ(ComTransact(com, 0x0006, nullptr, 0, nullptr, 0), static_cast<int16_t>(0xD010));
    EXPECT_EQ(peer.CountOf(0x0006), 1);
}

TEST_F(PortTest, MismatchedRepliesAreRepeatedAndReportedAsMismatched) {
    peer.SetHandler([](PtyPeer& p, const Request&) { p.Send(PtyPeer::Frame(0x1234, {})); });
    EXPECT_EQ(ComTransact(com, 0x0008, nullptr, 0, nullptr, 0), kRecvMissmatched);
    EXPECT_EQ(peer.CountOf(0x0008), 3);
}

TEST_F(PortTest, RetryOutWhenTheLastAttemptWasNotAMismatch) {
    std::atomic<int> n{0};
    peer.SetHandler([&](PtyPeer& p, const Request&) {
        if (n++ < 2) p.Send(PtyPeer::Frame(0x1234, {}));  // third attempt: silence
    });
    EXPECT_EQ(ComTransact(com, 0x0008, nullptr, 0, nullptr, 0), kRetryOut);
    EXPECT_EQ(peer.CountOf(0x0008), 3);
}

TEST_F(PortTest, StatusRepliesAreRepeated) {
    peer.SetHandler([](PtyPeer& p, const Request&) { p.Send({0x02, 0x00, 0xFE, 0xA1}); });
    EXPECT_EQ(ComTransact(com, 0x2006, nullptr, 0, nullptr, 0), kRetryOut);
    EXPECT_EQ(peer.CountOf(0x2006), 3);
}

TEST_F(PortTest, StaleBytesOfAnEarlierReplyAreNotTakenAsTheAnswer) {
    peer.Send(PtyPeer::Frame(0x2003, {0xDE, 0xAD}));  // nobody asked
    ASSERT_TRUE(WaitFor([&] { return SerialInQueue(com.handle) == 8; }));
    peer.SetHandler([](PtyPeer& p, const Request& r) {
        p.Send(PtyPeer::Frame(r.code, {0x00, 0x01}));
    });
    uint8_t reply[2] = {};
    EXPECT_EQ(ComTransact(com, 0x2003, nullptr, 0, reply, 2), 8);
    EXPECT_EQ(reply[1], 0x01);
    EXPECT_EQ(peer.CountOf(0x2003), 1);
}
