#pragma once
// The parameter keys: named bit fields of the header, the Sys block and a bank
// of the parameter image, with their scales and limits. Three constant tables
// (HeaderKeys, SysKeys, BankKeys), each ended by an entry with Key = -1, in the
// order in which the settings are listed (which is not the order of the ids).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kd {

struct TParamKey {
    int16_t Key;     // id, unique across the three tables; negative ends a table
    uint8_t Msb;     // highest bit of the field (0..15), 31 for a field over two words
    uint8_t Lsb;     // lowest bit of the field
    int32_t Offset;  // word offset of the field inside its block
    const char* Name;
    double Scale;  // value = raw * Scale
    double Min;    // lower limit of the value; negative marks a two's-complement field
    double Max;    // Min and Max both 0: no limits

    bool IsWide() const { return Msb > 15; }
    bool IsSigned() const { return Min < 0; }
    bool HasLimits() const { return Min != 0 || Max != 0; }
    // Number of bits of the field (32 for the field over two words).
    int Width() const { return IsWide() ? 32 : Msb - Lsb + 1; }
};

enum class TKeyBlock { Header, Sys, Bank };

// Number of keys in each table, terminator not counted.
constexpr int kHeaderKeyCount = 2;
constexpr int kSysKeyCount = 21;
constexpr int kBankKeyCount = 118;

extern const std::array<TParamKey, kHeaderKeyCount + 1> HeaderKeys;
extern const std::array<TParamKey, kSysKeyCount + 1> SysKeys;
extern const std::array<TParamKey, kBankKeyCount + 1> BankKeys;

// The keys of a table without the terminator, in table order.
std::span<const TParamKey> KeysOf(TKeyBlock block);

// Walks the table until its terminator and returns the first entry with this id,
// or nullptr. Logs nothing (TKestParam's operations log unknown keys).
const TParamKey* FindKeyIn(TKeyBlock block, int key);

struct TKeyRef {
    TKeyBlock Block;
    const TParamKey* Entry;
};

// Looks a key up by id in all three tables.
std::optional<TKeyRef> FindKeyById(int key);
// Looks a key up by its name (exact, case-sensitive) in the header, Sys and bank
// tables in that order; the first match wins ("StrRpt" gives key 20; the
// three-state form is reached by id 21).
std::optional<TKeyRef> FindKeyByName(std::string_view name);

// Key ids by name. Dots of the table names are left out (A1.Func -> A1Func).
namespace pk {
// header
constexpr int HeadRowOffset = 1;
constexpr int HeadColOffset = 2;
// Sys
constexpr int INPUT1 = 3;
constexpr int INPUT2 = 4;
constexpr int INPUT3 = 5;
constexpr int INPUT4 = 6;
constexpr int InputFilter = 7;
constexpr int InputsPolar = 8;
constexpr int ZeroTarget = 9;
constexpr int Bank = 10;
constexpr int BankSwitch = 11;
constexpr int AxisDir = 12;
constexpr int GpioOnT = 13;
constexpr int LastDisp = 14;
constexpr int StrStl = 15;
constexpr int StrBuf = 16;
constexpr int StrStc = 17;
constexpr int StrStt = 18;
constexpr int StrTgt = 19;
constexpr int StrRpt = 20;   // two-state form (software version 1..4B)
constexpr int StrRpt3 = 21;  // three-state form, also named "StrRpt"
constexpr int StrSmp = 22;
constexpr int StrThd = 23;
// bank, once per bank
constexpr int TrigAction = 24;
constexpr int TrigCount = 25;
constexpr int TrigDelay = 26;
constexpr int CamLeft = 27;
constexpr int CamTop = 28;
constexpr int CamWidth = 29;
constexpr int CamHeight = 30;
constexpr int CamMode = 31;
constexpr int CamModeNR = 32;
constexpr int CamNR = 33;
constexpr int Gain = 34;
constexpr int Shutter = 35;
constexpr int HDRShutter = 36;
constexpr int MeasureLimit = 37;
constexpr int LowIntensity = 38;
constexpr int CamMask = 39;
constexpr int CorrectMethod = 40;
constexpr int TiltCorrect = 41;
constexpr int VCorrect = 42;
constexpr int HCorrect = 43;
constexpr int TiltCorPos = 44;
constexpr int Extract = 45;
constexpr int AlarmLimit = 46;
constexpr int Smoothing = 47;
// areas, i = 1..4
constexpr int AreaFunc(int i) {
    return 47 + i;
}
constexpr int AreaLeft(int i) {
    return 51 + i;
}
constexpr int AreaTop(int i) {
    return 55 + i;
}
constexpr int AreaRight(int i) {
    return 59 + i;
}
constexpr int AreaBottom(int i) {
    return 63 + i;
}
constexpr int AreaInfl(int i) {
    return 67 + i;
}
constexpr int AreaCmp(int i) {
    return 71 + i;
}
constexpr int AreaDir(int i) {
    return 75 + i;
}
constexpr int AreaSDR(int i) {
    return 79 + i;
}
// channels: Ave and Hold of areas 1..4, Span/Offset/ZAdj of channels j = 1..6
constexpr int AreaAve(int i) {
    return 83 + i;
}
constexpr int AreaHold(int i) {
    return 87 + i;
}
constexpr int Op1Hold = 92;
constexpr int Op2Hold = 93;
constexpr int ChOffset(int j) {
    return 93 + j;
}
constexpr int ChSpan(int j) {
    return 99 + j;
}
constexpr int ChZAdj(int j) {
    return 105 + j;
}
constexpr int Op1A = 112;
constexpr int Op2A = 113;
constexpr int Op1B = 114;
constexpr int Op2B = 115;
constexpr int Op1Op = 116;
constexpr int Op2Op = 117;
// outputs k = 1..3, 4 = analog (Ch, ULimit, LLimit); Action/Polar/Time/Hys k = 1..3
constexpr int OutCh(int k) {
    return 117 + k;
}
constexpr int OutAction(int k) {
    return 121 + k;
}
constexpr int OutPolar(int k) {
    return 124 + k;
}
constexpr int OutTime(int k) {
    return 127 + k;
}
constexpr int OutHys(int k) {
    return 130 + k;
}
constexpr int OutULimit(int k) {
    return 133 + k;
}
constexpr int OutLLimit(int k) {
    return 137 + k;
}
constexpr int AnaCh = 121;
constexpr int AnaULimit = 137;
constexpr int AnaLLimit = 141;
}  // namespace pk

}  // namespace kd
