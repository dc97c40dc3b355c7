#pragma once
// Result codes of the frame receiver and the transaction, the communication
// exceptions, and the mapping of a result code to an exception.
#include <cstdint>
#include <string>

#include "common/kest_error.h"

namespace kd {

// Result codes (a positive result is the byte count of the reply frame).
constexpr int kRecvNothing = 0;  // silence or a line error during the attempt
constexpr int kRecvOsError = -1;
constexpr int kRecvOverflow = -91;
constexpr int kRecvPortErr = -92;
constexpr int kRecvMissmatched = -93;
constexpr int kRecvNak = -94;
constexpr int kRecvNoAck = -95;
constexpr int kSumError = -96;
constexpr int kRecvNoEtx = -97;  // reported with the text "RECV_NO_STX"
constexpr int kRecvNoStx = -98;
constexpr int kRecvNoBuff = -99;
constexpr int kRecvTimeout = -100;
constexpr int kRetryOut = -101;

// Text of a result code from -100 to -91; empty for any other number.
std::string ResultText(int result);
// True for a sensor error reply (0xE0xx or 0xD0xx read as a signed 16-bit number).
bool IsSensorErrorReply(int result);

class ECommError : public EKestError {
  public:
    explicit ECommError(const std::string& message, int code = 0)
        : EKestError(message), Code(static_cast<int16_t>(code)) {}
    int16_t Code;
};

// The subclasses add nothing and are always made with Code 0.
#define KD_COMM_SUBCLASS(Name)                                                \
    class Name : public ECommError {                                          \
      public:                                                                 \
        explicit Name(const std::string& message) : ECommError(message, 0) {} \
    }
KD_COMM_SUBCLASS(ECommErrCmd);
KD_COMM_SUBCLASS(ECommErrData);
KD_COMM_SUBCLASS(ECommErrShort);
KD_COMM_SUBCLASS(ECommErrExe);
KD_COMM_SUBCLASS(ECommSumError);
KD_COMM_SUBCLASS(ECommErrMissmatched);
KD_COMM_SUBCLASS(ECommNoReply);
#undef KD_COMM_SUBCLASS

// The port has gone (adapter pulled, far end closed): nothing more can be
// sent until it is opened again.
class ECommPortLost : public ECommError {
  public:
    explicit ECommPortLost(const std::string& message) : ECommError(message, -1) {}
};

// A live query that could not have the port soon enough because a long
// transfer holds it; the query is skipped, nothing failed.
class ELinkBusy : public EKestError {
  public:
    using EKestError::EKestError;
};

class ETaskTimeout : public EKestError {
  public:
    using EKestError::EKestError;
};

class EUserAbort : public EKestError {
  public:
    using EKestError::EKestError;
};

// Raises the exception for a result that is not accepted (see comm_error.cpp);
// returns for a result of 0 or more.
void RaiseCommResult(uint16_t command, int result);

}  // namespace kd
