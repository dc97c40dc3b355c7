// Mapping of result codes to the communication exceptions.
#include <gtest/gtest.h>

#include "link/comm_error.h"

using namespace kd;

namespace {

template <typename E>
E Caught(uint16_t command, int result) {
    try {
        RaiseCommResult(command, result);
    } catch (const E& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception type: " << e.what();
    }
    ADD_FAILURE() << "nothing raised for " << result;
    return E("");
}

int SensorCode(uint16_t field) {
    return static_cast<int16_t>(field);
}

}  // namespace

TEST(RaiseCommResult, AcceptedResultsRaiseNothing) {
    EXPECT_NO_THROW(RaiseCommResult(0x2006, 0));
    EXPECT_NO_THROW(RaiseCommResult(0x2006, 6));
    EXPECT_NO_THROW(RaiseCommResult(0x2006, 2034));
}

TEST(RaiseCommResult, SensorErrorRepliesMapToTheirClasses) {
    auto cmdErr = Caught<ECommErrCmd>(0x2006, SensorCode(0xE001));
    EXPECT_STREQ(cmdErr.what(), "ERR_CMD");
    EXPECT_EQ(cmdErr.Code, 0);
    EXPECT_STREQ(Caught<ECommErrData>(0x2006, SensorCode(0xE002)).what(), "ERR_DATA");
    EXPECT_STREQ(Caught<ECommErrShort>(0x2006, SensorCode(0xE003)).what(), "ERR_EXE");
    auto exe = Caught<ECommErrExe>(0x0005, SensorCode(0xE008));
    EXPECT_STREQ(exe.what(), "ERR_EXE");
    EXPECT_EQ(exe.Code, 0);
}

TEST(RaiseCommResult, OtherSensorErrorsCarryTheCommandAndTheCode) {
    const struct {
        uint16_t field;
        const char* message;
    } rows[] = {{0xE004, "2006:ERR_BCC"},          {0xE005, "2006:ERR_FRM"},
                {0xE006, "2006:ERR_FVR"},          {0xE007, "2006:ERR_COL"},
                {0xE009, "2006:ERR_MOD"},          {0xE00A, "2006:KEST ret FFFFE00A"},
                {0xE0FF, "2006:KEST ret FFFFE0FF"}};
    for (auto& row : rows) {
        auto e = Caught<ECommError>(0x2006, SensorCode(row.field));
        EXPECT_STREQ(e.what(), row.message);
        EXPECT_EQ(e.Code, SensorCode(row.field));
        EXPECT_EQ(typeid(e), typeid(ECommError));
    }
    EXPECT_STREQ(Caught<ECommError>(0x000A, SensorCode(0xE004)).what(), "000A:ERR_BCC");
}

TEST(RaiseCommResult, ReceiverCodesUseTheirTexts) {
    EXPECT_STREQ(Caught<ECommSumError>(1, -96).what(), "SUM_ERROR");
    EXPECT_EQ(Caught<ECommSumError>(1, -96).Code, 0);
    EXPECT_STREQ(Caught<ECommErrMissmatched>(1, -93).what(), "RECV_MISSMATCHED");
    const struct {
        int code;
        const char* text;
    } rows[] = {{-91, "RECV_OVERFLOW"}, {-92, "RECV_PORT_ERR"}, {-94, "RECV_NAK"},
                {-95, "RECV_NO_ACK"},   {-97, "RECV_NO_STX"},   {-98, "RECV_NO_STX"},
                {-99, "RECV_NO_BUFF"},  {-100, "RECV_TIMEOUT"}};
    for (auto& row : rows) {
        auto e = Caught<ECommError>(0x2006, row.code);
        EXPECT_STREQ(e.what(), row.text);
        EXPECT_EQ(e.Code, row.code);
    }
}

TEST(RaiseCommResult, UnknownNegativesAreNumbered) {
    auto e = Caught<ECommError>(0x2006, -101);
    EXPECT_STREQ(e.what(), "unknown err-101");
    EXPECT_EQ(e.Code, -101);
    EXPECT_STREQ(Caught<ECommError>(0x2006, -1).what(), "unknown err-1");
    EXPECT_STREQ(Caught<ECommError>(0x2006, -235).what(), "unknown err-235");  // status reply
    // the second error family has no table of its own
    EXPECT_STREQ(Caught<ECommError>(0x2006, SensorCode(0xD001)).what(), "unknown err-12287");
}

TEST(CommErrors, ClassTree) {
    ECommNoReply noReply("Command no reply");
    const ECommError& asComm = noReply;
    const EKestError& asBase = noReply;
    EXPECT_EQ(asComm.Code, 0);
    EXPECT_EQ(asBase.Message(), "Command no reply");
    ETaskTimeout timeout("t");
    EUserAbort abort("");
    EXPECT_EQ(dynamic_cast<const ECommError*>(static_cast<const EKestError*>(&timeout)), nullptr);
    EXPECT_EQ(dynamic_cast<const ECommError*>(static_cast<const EKestError*>(&abort)), nullptr);
}

TEST(CommErrors, SensorErrorReplyRecognition) {
    EXPECT_TRUE(IsSensorErrorReply(SensorCode(0xE000)));
    EXPECT_TRUE(IsSensorErrorReply(SensorCode(0xE0FF)));
    EXPECT_TRUE(IsSensorErrorReply(SensorCode(0xD001)));
    EXPECT_FALSE(IsSensorErrorReply(SensorCode(0xE100)));
    EXPECT_FALSE(IsSensorErrorReply(-93));
    EXPECT_FALSE(IsSensorErrorReply(-235));
    EXPECT_FALSE(IsSensorErrorReply(0));
    EXPECT_FALSE(IsSensorErrorReply(8));
}
