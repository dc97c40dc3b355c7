#include "link/comm_error.h"

#include "common/log.h"

namespace kd {

std::string ResultText(int result) {
    switch (result) {
        case -91:
            return "RECV_OVERFLOW";
        case -92:
            return "RECV_PORT_ERR";
        case -93:
            return "RECV_MISSMATCHED";
        case -94:
            return "RECV_NAK";
        case -95:
            return "RECV_NO_ACK";
        case -96:
            return "SUM_ERROR";
        case -97:
            return "RECV_NO_STX";
        case -98:
            return "RECV_NO_STX";
        case -99:
            return "RECV_NO_BUFF";
        case -100:
            return "RECV_TIMEOUT";
        default:
            return {};
    }
}

bool IsSensorErrorReply(int result) {
    if (result >= 0 || result < -32768) return false;
    uint16_t field = static_cast<uint16_t>(result);
    return (field >> 8) == 0xE0 || (field >> 8) == 0xD0;
}

void RaiseCommResult(uint16_t command, int result) {
    const unsigned bits = static_cast<unsigned>(result);
    if (((bits >> 8) & 0xFF) == 0xE0) {
        std::string cmd = Format("%04X", command);
        switch (bits & 0xFFFF) {
            case 0xE001:
                throw ECommErrCmd("ERR_CMD");
            case 0xE002:
                throw ECommErrData("ERR_DATA");
            case 0xE003:
                throw ECommErrShort("ERR_EXE");
            case 0xE004:
                throw ECommError(cmd + ":" + "ERR_BCC", result);
            case 0xE005:
                throw ECommError(cmd + ":" + "ERR_FRM", result);
            case 0xE006:
                throw ECommError(cmd + ":" + "ERR_FVR", result);
            case 0xE007:
                throw ECommError(cmd + ":" + "ERR_COL", result);
            case 0xE008:
                throw ECommErrExe("ERR_EXE");
            case 0xE009:
                throw ECommError(cmd + ":" + "ERR_MOD", result);
            default:
                throw ECommError(cmd + ":" + "KEST ret " + Format("%04X", bits), result);
        }
    }
    if (result >= 0) return;
    if (result == kSumError) throw ECommSumError("SUM_ERROR");
    if (result == kRecvMissmatched) throw ECommErrMissmatched("RECV_MISSMATCHED");
    std::string text = ResultText(result);
    if (!text.empty()) throw ECommError(text, result);
    throw ECommError("unknown err" + std::to_string(result), result);
}

}  // namespace kd
