// Frame codec, request scanner, fault plans and option parsing of kdsim.
#include <gtest/gtest.h>

#include "common/kest_error.h"
#include "sim/sim_codec.h"
#include "sim/sim_faults.h"
#include "sim/sim_options.h"
#include "sim_client.h"

using namespace kdsim;

namespace {

std::vector<ScanEvent> ScanAll(const std::vector<uint8_t>& bytes) {
    RequestScanner s;
    s.Feed(bytes);
    std::vector<ScanEvent> out;
    ScanEvent ev;
    while (s.Next(ev)) out.push_back(ev);
    return out;
}

}  // namespace

TEST(SimCodec, ReplyFramesMatchKnownVectors) {
    // No payload: 02 00 hi lo 03 and hi^lo.
    EXPECT_EQ(BuildReply(0x2006, {}), (std::vector<uint8_t>{0x02, 0x00, 0x20, 0x06, 0x03, 0x26}));
    const std::vector<uint8_t> p = {0x00, 0x03, 0x00, 0x01};
    EXPECT_EQ(BuildReply(0xC000, p),
              (std::vector<uint8_t>{0x02, 0x02, 0xC0, 0x00, 0x00, 0x03, 0x00, 0x01, 0x03, 0xC0}));
    EXPECT_EQ(BuildErrorReply(kErrData),
              (std::vector<uint8_t>{0x02, 0x00, 0xE0, 0x02, 0x03, 0xE2}));
    // The test's own builder agrees with the codec.
    EXPECT_EQ(simtest::Request(0xC000, p), BuildReply(0xC000, p));
}

TEST(SimCodec, WideReplyLengthCountsEightByteUnits) {
    std::vector<uint8_t> twelve(12, 0xAB);
    auto f = BuildWideReply(kCmdMemReadWide, twelve);
    ASSERT_EQ(f.size(), 18u);
    EXPECT_EQ(f[1], 3);  // 8*3-12 = 12
    EXPECT_EQ(BuildWideReply(kCmdMemReadWide, {})[1], 0);
    std::vector<uint8_t> largest(2028, 1);
    auto big = BuildWideReply(kCmdMemReadWide, largest);
    EXPECT_EQ(big[1], 255);
    EXPECT_EQ(big.size(), 2034u);
    std::vector<uint8_t> odd(14, 0);  // 14+12 is not a multiple of 8
    EXPECT_THROW(BuildWideReply(kCmdMemReadWide, odd), std::invalid_argument);
    std::vector<uint8_t> tooBig(2036, 0);
    EXPECT_THROW(BuildWideReply(kCmdMemReadWide, tooBig), std::invalid_argument);
}

TEST(SimCodec, NormalReplyRejectsOddOrOversizedPayload) {
    std::vector<uint8_t> odd(3, 0);
    EXPECT_THROW(BuildReply(1, odd), std::invalid_argument);
    std::vector<uint8_t> big(512, 0);
    EXPECT_THROW(BuildReply(1, big), std::invalid_argument);
    std::vector<uint8_t> max(510, 0);
    EXPECT_EQ(BuildReply(1, max)[1], 255);
}

TEST(SimCodec, ScannerFindsRequestsBetweenJunk) {
    auto a = simtest::Request(0x0009, {});
    auto b = simtest::Request(0xC000, {0x00, 0x03, 0x00, 0x01});
    std::vector<uint8_t> stream = {0xFF, 0x11};
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.end());
    auto ev = ScanAll(stream);
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].kind, ScanEvent::Kind::Junk);
    EXPECT_EQ(ev[0].raw.size(), 2u);
    EXPECT_EQ(ev[1].kind, ScanEvent::Kind::Request);
    EXPECT_EQ(ev[1].command, 0x0009);
    EXPECT_EQ(ev[2].command, 0xC000);
    EXPECT_EQ(ev[2].payload, (std::vector<uint8_t>{0x00, 0x03, 0x00, 0x01}));
}

TEST(SimCodec, ScannerReportsBadCheckByteAndBadEtx) {
    auto f = simtest::Request(0x2006, {0x00, 0x01});
    f.back() ^= 1;
    auto ev = ScanAll(f);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, ScanEvent::Kind::BadBcc);
    EXPECT_EQ(ev[0].command, 0x2006);

    // A frame whose ETX place holds another byte: the STX is dropped and the
    // scan resumes, so a good frame right behind is still found.
    auto g = simtest::Request(0x2006, {0x00, 0x01});
    g[6] = 0x04;
    auto good = simtest::Request(0x0009, {});
    g.insert(g.end(), good.begin(), good.end());
    auto ev2 = ScanAll(g);
    ASSERT_GE(ev2.size(), 2u);
    EXPECT_EQ(ev2[0].kind, ScanEvent::Kind::BadFrame);
    EXPECT_EQ(ev2.back().kind, ScanEvent::Kind::Request);
    EXPECT_EQ(ev2.back().command, 0x0009);
}

TEST(SimCodec, ScannerWaitsForPartialFramesAndFlushesThem) {
    RequestScanner s;
    auto f = simtest::Request(0x0002, simtest::ReadReq(0x400, 4, 0x11));
    s.Feed(std::span<const uint8_t>(f.data(), 5));
    ScanEvent ev;
    EXPECT_FALSE(s.Next(ev));
    s.Feed(std::span<const uint8_t>(f.data() + 5, f.size() - 5));
    ASSERT_TRUE(s.Next(ev));
    EXPECT_EQ(ev.kind, ScanEvent::Kind::Request);
    s.Feed(std::span<const uint8_t>(f.data(), 3));
    EXPECT_FALSE(s.Next(ev));
    ASSERT_TRUE(s.FlushPartial(ev));
    EXPECT_EQ(ev.kind, ScanEvent::Kind::Junk);
    EXPECT_EQ(s.Held(), 0u);
}

TEST(SimFaults, ParsesTheFullSpecAndRejectsBadItems) {
    auto f = ParseFaults("noise=0.01,corrupt=0.02,drop=0.005,cut=0.004,late=0.002:1500,epm-exe=3");
    EXPECT_DOUBLE_EQ(f.noise, 0.01);
    EXPECT_DOUBLE_EQ(f.corrupt, 0.02);
    EXPECT_DOUBLE_EQ(f.drop, 0.005);
    EXPECT_DOUBLE_EQ(f.cut, 0.004);
    EXPECT_DOUBLE_EQ(f.late, 0.002);
    EXPECT_EQ(f.lateMs, 1500u);
    EXPECT_EQ(f.epmExe, 3);
    EXPECT_FALSE(f.noStorage);
    EXPECT_TRUE(ParseFaults("nostorage").noStorage);
    EXPECT_FALSE(ParseFaults("").Any());
    EXPECT_THROW(ParseFaults("noise=2"), kd::EKestError);
    EXPECT_THROW(ParseFaults("noise=x"), kd::EKestError);
    EXPECT_THROW(ParseFaults("late=0.1:abc"), kd::EKestError);
    EXPECT_THROW(ParseFaults("gremlins=0.1"), kd::EKestError);
    EXPECT_THROW(ParseFaults("epm-exe=-1"), kd::EKestError);
}

TEST(SimFaults, PlansRepeatForTheSameSeed) {
    FaultConfig config = ParseFaults("noise=0.3,corrupt=0.3,drop=0.1,cut=0.2,late=0.1:10");
    FaultRng a(42), b(42), c(43);
    int differ = 0, faults = 0;
    for (int i = 0; i < 500; ++i) {
        auto pa = PlanFaults(config, a, 20), pb = PlanFaults(config, b, 20),
             pc = PlanFaults(config, c, 20);
        EXPECT_EQ(pa.noise, pb.noise);
        EXPECT_EQ(pa.corrupt, pb.corrupt);
        EXPECT_EQ(pa.drop, pb.drop);
        EXPECT_EQ(pa.cutAt, pb.cutAt);
        EXPECT_EQ(pa.lateMs, pb.lateMs);
        if (pa.drop != pc.drop || pa.corrupt != pc.corrupt || pa.noise != pc.noise) ++differ;
        if (pa.drop || pa.corrupt || !pa.noise.empty() || pa.cutAt) ++faults;
        for (uint8_t n : pa.noise) EXPECT_NE(n, 0x02);
        EXPECT_LE(pa.noise.size(), 8u);
        EXPECT_LT(pa.cutAt, 20u);
    }
    EXPECT_GT(differ, 0);
    EXPECT_GT(faults, 100);
}

TEST(SimFaults, ApplyDamagesTheReplyAsPlanned) {
    const auto reply = BuildReply(0x0009, simtest::Words({0x53, 0x6D, 0x50}));
    FaultPlan corrupt;
    corrupt.corrupt = true;
    auto out = ApplyFaults(corrupt, reply);
    ASSERT_EQ(out.size(), reply.size());
    EXPECT_NE(out.back(), reply.back());
    FaultPlan cut;
    cut.cutAt = 5;
    EXPECT_EQ(ApplyFaults(cut, reply).size(), 5u);
    FaultPlan noise;
    noise.noise = {0x11, 0x22};
    auto n = ApplyFaults(noise, reply);
    ASSERT_EQ(n.size(), reply.size() + 2);
    EXPECT_EQ(n[2], 0x02);
    FaultPlan drop;
    drop.drop = true;
    EXPECT_TRUE(ApplyFaults(drop, reply).empty());
}

TEST(SimOptions, ParsesEveryOptionAndRejectsBadOnes) {
    auto o = ParseSimArgs({"--link", "/tmp/x", "--version", "53:48:45", "--eeprom", "e.bin",
                           "--pace", "--baud", "115200", "--latency-us", "250", "--faults",
                           "drop=0.1", "--seed", "7", "--trace", "t.txt", "--frame-us", "100"});
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.version, (std::array<uint16_t, 3>{0x53, 0x48, 0x45}));
    EXPECT_EQ(o.eeprom, "e.bin");
    EXPECT_TRUE(o.pace);
    EXPECT_EQ(o.baud, 115200u);
    EXPECT_EQ(o.latencyUs, 250u);
    EXPECT_EQ(o.seed, 7u);
    EXPECT_EQ(o.trace, "t.txt");
    EXPECT_EQ(o.frameUs, 100u);
    EXPECT_THROW(ParseSimArgs({"--version", "53:6D"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--version", "53:6D:5G"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--version", "53:6D:50:1"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--baud"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--baud", "-5"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--baud", "12x"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--faults", "drop=5"}), kd::EKestError);
    EXPECT_THROW(ParseSimArgs({"--bogus"}), kd::EKestError);
    EXPECT_EQ(SplitArgs("  --pace   --seed 3 "),
              (std::vector<std::string>{"--pace", "--seed", "3"}));
}

TEST(SimOptions, TheDemoIsPacedLikeASensorUnlessToldOtherwise) {
    const SimOptions demo = DemoSimOptions(nullptr);
    EXPECT_TRUE(demo.pace);
    EXPECT_EQ(demo.latencyUs, 100u);
    EXPECT_EQ(demo.baud, 0u);  // the rate the program sets on the port
    EXPECT_EQ(demo.spinUs, 0u);
    EXPECT_EQ(demo.usbFrameUs, 1000u);  // behind a USB adapter's 1 ms frames
    EXPECT_EQ(DemoSimOptions("--usb-frame-us 0").usbFrameUs, 0u);
    EXPECT_EQ(ParseSimArgs({}).usbFrameUs, 0u);
    EXPECT_THROW(ParseSimArgs({"--usb-frame-us", "100001"}), kd::EKestError);
    EXPECT_TRUE(demo.demoStorage);  // a Start gives a recording that ends
    EXPECT_FALSE(DemoSimOptions("--no-pace --seed 4").pace);
    EXPECT_EQ(DemoSimOptions("--latency-us 0").latencyUs, 0u);
    EXPECT_FALSE(ParseSimArgs({}).pace);  // kdsim itself is unpaced unless asked
    EXPECT_THROW(DemoSimOptions("--spin-us 5000"), kd::EKestError);
}
