#pragma once
// Parameter memory of the simulated sensor: 1024 words at sensor addresses
// 0x400..0x7FF (a header, the Sys block, eight banks of 124 words), the
// named fields the sensor itself acts on, and the factory image.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kdsim {

constexpr uint32_t kParamBase = 0x400;
constexpr int kParamWords = 1024;
constexpr int kSysWord = 16;
constexpr int kBankWord = 32;
constexpr int kBankWords = 124;
constexpr int kBanks = 8;

using ParamWords = std::array<uint16_t, kParamWords>;

// The fields the sensor reads and writes. Names are the key names of the
// parameter layout; per-area, per-channel and per-output fields take an index.
enum class Fld {
    // Sys block
    Bank,
    BankSwitch,
    Input,
    InputFilter,
    InputsPolar,
    ZeroTarget,
    AxisDir,
    GpioOnT,
    StrStl,
    StrBuf,
    StrStc,
    StrStt,
    StrTgt,
    StrRpt2,
    StrRpt3,
    StrSmp,
    StrThd,
    // bank, once
    TrigAction,
    TrigCount,
    TrigDelay,
    CamLeft,
    CamTop,
    CamWidth,
    CamHeight,
    CamMode,
    CamNR,
    Gain,
    Shutter,
    HDRShutter,
    MeasureLimit,
    LowIntensity,
    CamMask,
    Extract,
    AlarmLimit,
    Smoothing,
    CorrectMethod,
    TiltCorrect,
    VCorrect,
    HCorrect,
    TiltCorPos,
    // bank, per area 0..3
    AFunc,
    ACmp,
    ATop,
    ALeft,
    ABottom,
    ARight,
    AInfl,
    ASDR,
    ADir,
    // bank, per channel 0..5 (Ave only 0..3, Hold 0..5)
    Ave,
    Hold,
    Offset,
    Span,
    ZAdj,
    // bank, per calculation 0..1
    OpA,
    OpB,
    OpOp,
    // bank, per output 0..2 (Ch, ULimit, LLimit also 3 = analog)
    OCh,
    OAction,
    OPolar,
    OTime,
    OHys,
    OULimit,
    OLLimit,
    // header
    HeadRowOffset,
    HeadColOffset,
};

struct FieldLoc {
    int word;  // image word index (0..1023)
    int msb;   // 31 for the 32-bit field over two words
    int lsb;
    bool isSigned;
};

// Where a field lies; bank and index as the field needs them. Index values
// outside the field's range give nullopt.
std::optional<FieldLoc> Locate(Fld f, int bank, int index = 0);
// The key name of a field, for messages and for matching the key tables.
std::string_view FieldName(Fld f);

// Reads a field as the raw value (sign-extended for signed fields).
int32_t GetRaw(const ParamWords& mem, Fld f, int bank, int index = 0);
// Inserts a raw value; bits beyond the field are dropped.
void SetRaw(ParamWords& mem, Fld f, int bank, int32_t raw, int index = 0);
// The raw limits of a field that has them (values of the key table divided
// by the key's scale); nullopt when the table gives none.
struct RawLimits {
    int32_t min;
    int32_t max;
};
std::optional<RawLimits> Limits(Fld f);

// The built-in factory image (2048 bytes in the sensor's word layout).
const ParamWords& FactoryImage();

}  // namespace kdsim
