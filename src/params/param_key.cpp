#include "params/param_key.h"

namespace kd {

// Rows: Key, Msb, Lsb, Offset, Name, Scale, Min, Max.
const std::array<TParamKey, kHeaderKeyCount + 1> HeaderKeys = {{
    {1, 15, 0, 2, "HeadRowOffset", 1, 0, 0},
    {2, 15, 0, 3, "HeadColOffset", 1, 0, 0},
    {-1, 0, 0, 0, "", 1, 0, 0},
}};

const std::array<TParamKey, kSysKeyCount + 1> SysKeys = {{
    {10, 2, 0, 8, "Bank", 1, 0, 0},
    {14, 15, 0, 9, "LastDisp", 1, 0, 0},
    {11, 3, 3, 8, "BankSwitch", 1, 0, 0},
    {3, 3, 3, 4, "INPUT1", 1, 0, 0},
    {4, 5, 5, 4, "INPUT2", 1, 0, 0},
    {5, 7, 7, 4, "INPUT3", 1, 0, 0},
    {6, 1, 1, 4, "INPUT4", 1, 0, 0},
    {7, 7, 0, 5, "InputFilter", 5, 5, 1275},
    {8, 7, 0, 4, "InputsPolar", 1, 0, 0},
    {9, 12, 10, 5, "ZeroTarget", 1, 0, 0},
    {12, 2, 2, 1, "AxisDir", 1, 0, 0},
    {13, 3, 3, 1, "GpioOnT", 1, 0, 0},
    {15, 15, 0, 10, "StrStl", 1, -10000, 10000},
    {16, 15, 0, 11, "StrBuf", 1, 1, 65535},
    {17, 2, 0, 12, "StrStc", 1, 0, 5},
    {18, 5, 3, 12, "StrStt", 1, 0, 5},
    {19, 1, 0, 13, "StrTgt", 1, 0, 2},
    {20, 2, 2, 13, "StrRpt", 1, 0, 1},
    {21, 7, 6, 12, "StrRpt", 1, 0, 2},
    {22, 15, 3, 13, "StrSmp", 1, 1, 8191},
    {23, 31, 0, 14, "StrThd", 1, -999999, 999999},
    {-1, 0, 0, 0, "", 1, 0, 0},
}};

// Area i (1..4) starts at word 30 + 9 (i - 1); channel j (1..6) at 76 + 5 (j - 1).
const std::array<TParamKey, kBankKeyCount + 1> BankKeys = {{
    {24, 3, 2, 5, "TrigAction", 1, 0, 0},
    {25, 11, 0, 9, "TrigCount", 1, 1, 4095},
    {26, 11, 0, 10, "TrigDelay", 5, 5, 20475},
    {27, 15, 0, 1, "CamLeft", 8, 0, 0},
    {28, 15, 0, 0, "CamTop", 8, 0, 0},
    {29, 15, 0, 3, "CamWidth", 8, 0, 0},
    {30, 15, 0, 2, "CamHeight", 8, 0, 0},
    {31, 5, 4, 5, "CamMode", 1, 0, 0},
    {33, 8, 8, 5, "CamNR", 1, 0, 0},
    {32, 8, 4, 5, "CamModeNR", 1, 0, 0},
    {34, 15, 0, 4, "Gain", 1, 0, 0},
    {35, 10, 0, 7, "Shutter", 5, 5, 10235},
    {36, 10, 0, 8, "HDRShutter", 5, 5, 10235},
    {37, 7, 0, 18, "MeasureLimit", 1, 0, 255},
    {38, 6, 0, 19, "LowIntensity", 1, 0, 127},
    {39, 15, 15, 19, "CamMask", 1, 0, 0},
    {45, 6, 5, 16, "Extract", 1, 0, 0},
    {46, 15, 12, 16, "AlarmLimit", 1, 0, 0},
    {47, 10, 8, 16, "Smoothing", 1, 0, 0},
    {40, 2, 0, 20, "CorrectMethod", 1, 0, 0},
    {41, 3, 3, 20, "TiltCorrect", 1, 0, 0},
    {42, 15, 0, 21, "VCorrect", 2, -7500, 7500},
    {43, 15, 0, 22, "HCorrect", 2, -14000, 14000},
    {44, 15, 0, 23, "TiltCorPos", 2, -7500, 7500},
    // area 1, b = 30
    {48, 4, 0, 30, "A1.Func", 1, 0, 0},
    {52, 15, 0, 32, "A1.Left", 2, -14998, 14934},
    {56, 15, 0, 31, "A1.Top", 2, -27998, 27934},
    {60, 15, 0, 34, "A1.Right", 2, -14934, 14998},
    {64, 15, 0, 33, "A1.Bottom", 2, -27934, 27998},
    {68, 15, 0, 35, "A1.Infl", 1, -255, 255},
    {76, 3, 3, 36, "A1.Dir", 1, 0, 0},
    {80, 2, 2, 36, "A1.SDR", 1, 0, 0},
    {72, 5, 5, 30, "A1.Cmp", 1, 0, 0},
    // area 2, b = 39
    {49, 4, 0, 39, "A2.Func", 1, 0, 0},
    {53, 15, 0, 41, "A2.Left", 2, -14998, 14934},
    {57, 15, 0, 40, "A2.Top", 2, -27998, 27934},
    {61, 15, 0, 43, "A2.Right", 2, -14934, 14998},
    {65, 15, 0, 42, "A2.Bottom", 2, -27934, 27998},
    {69, 15, 0, 44, "A2.Infl", 1, -255, 255},
    {77, 3, 3, 45, "A2.Dir", 1, 0, 0},
    {81, 2, 2, 45, "A2.SDR", 1, 0, 0},
    {73, 5, 5, 39, "A2.Cmp", 1, 0, 0},
    // area 3, b = 48
    {50, 4, 0, 48, "A3.Func", 1, 0, 0},
    {54, 15, 0, 50, "A3.Left", 2, -14998, 14934},
    {58, 15, 0, 49, "A3.Top", 2, -27998, 27934},
    {62, 15, 0, 52, "A3.Right", 2, -14934, 14998},
    {66, 15, 0, 51, "A3.Bottom", 2, -27934, 27998},
    {70, 15, 0, 53, "A3.Infl", 1, -255, 255},
    {78, 3, 3, 54, "A3.Dir", 1, 0, 0},
    {82, 2, 2, 54, "A3.SDR", 1, 0, 0},
    {74, 5, 5, 48, "A3.Cmp", 1, 0, 0},
    // area 4, b = 57: Cmp comes before Dir and SDR
    {51, 4, 0, 57, "A4.Func", 1, 0, 0},
    {55, 15, 0, 59, "A4.Left", 2, -14998, 14934},
    {59, 15, 0, 58, "A4.Top", 2, -27998, 27934},
    {63, 15, 0, 61, "A4.Right", 2, -14934, 14998},
    {67, 15, 0, 60, "A4.Bottom", 2, -27934, 27998},
    {71, 15, 0, 62, "A4.Infl", 1, -255, 255},
    {75, 5, 5, 57, "A4.Cmp", 1, 0, 0},
    {79, 3, 3, 63, "A4.Dir", 1, 0, 0},
    {83, 2, 2, 63, "A4.SDR", 1, 0, 0},
    // channel 1, c = 76
    {84, 15, 6, 76, "A1.Ave", 1, 1, 1023},
    {88, 1, 0, 76, "A1.Hold", 1, 0, 0},
    {100, 15, 0, 79, "C1.Span", 1, 1, 1999},
    {94, 15, 0, 78, "C1.Offset", 10, -32767, 32767},
    {106, 15, 0, 80, "C1.ZAdj", 1, -32767, 32767},
    // channel 2, c = 81
    {85, 15, 6, 81, "A2.Ave", 1, 1, 1023},
    {89, 1, 0, 81, "A2.Hold", 1, 0, 0},
    {101, 15, 0, 84, "C2.Span", 1, 1, 1999},
    {95, 15, 0, 83, "C2.Offset", 10, -32767, 32767},
    {107, 15, 0, 85, "C2.ZAdj", 1, -32767, 32767},
    // channel 3, c = 86
    {86, 15, 6, 86, "A3.Ave", 1, 1, 1023},
    {90, 1, 0, 86, "A3.Hold", 1, 0, 0},
    {102, 15, 0, 89, "C3.Span", 1, 1, 1999},
    {96, 15, 0, 88, "C3.Offset", 10, -32767, 32767},
    {108, 15, 0, 90, "C3.ZAdj", 1, -32767, 32767},
    // channel 4, c = 91
    {87, 15, 6, 91, "A4.Ave", 1, 1, 1023},
    {91, 1, 0, 91, "A4.Hold", 1, 0, 0},
    {103, 15, 0, 94, "C4.Span", 1, 1, 1999},
    {97, 15, 0, 93, "C4.Offset", 10, -32767, 32767},
    {109, 15, 0, 95, "C4.ZAdj", 1, -32767, 32767},
    // channel 5 (calculation 1), c = 96
    {92, 1, 0, 96, "Op1.Hold", 1, 0, 0},
    {104, 15, 0, 99, "C5.Span", 1, 1, 1999},
    {98, 15, 0, 98, "C5.Offset", 10, -32767, 32767},
    {110, 15, 0, 100, "C5.ZAdj", 1, -32767, 32767},
    // channel 6 (calculation 2), c = 101
    {93, 1, 0, 101, "Op2.Hold", 1, 0, 0},
    {105, 15, 0, 104, "C6.Span", 1, 1, 1999},
    {99, 15, 0, 103, "C6.Offset", 10, -32767, 32767},
    {111, 15, 0, 105, "C6.ZAdj", 1, -32767, 32767},
    // calculations
    {112, 3, 2, 96, "Op1.A", 1, 0, 0},
    {116, 11, 8, 96, "Op1.Op", 1, 0, 0},
    {114, 5, 4, 96, "Op1.B", 1, 0, 0},
    {113, 3, 2, 101, "Op2.A", 1, 0, 0},
    {117, 11, 8, 101, "Op2.Op", 1, 0, 0},
    {115, 5, 4, 101, "Op2.B", 1, 0, 0},
    // output 1
    {118, 3, 0, 108, "O1.Ch", 1, 0, 0},
    {134, 15, 0, 110, "O1.ULimit", 1, -32767, 32767},
    {138, 15, 0, 111, "O1.LLimit", 1, -32767, 32767},
    {131, 15, 12, 112, "O1.Hys", 1, 0, 15},
    {122, 3, 1, 109, "O1.Action", 1, 0, 0},
    {128, 11, 0, 112, "O1.Time", 1, 0.1, 204.7},
    {125, 0, 0, 109, "O1.Polar", 1, 0, 0},
    // output 2
    {119, 7, 4, 108, "O2.Ch", 1, 0, 0},
    {135, 15, 0, 113, "O2.ULimit", 1, -32767, 32767},
    {139, 15, 0, 114, "O2.LLimit", 1, -32767, 32767},
    {132, 15, 12, 115, "O2.Hys", 1, 0, 15},
    {123, 7, 5, 109, "O2.Action", 1, 0, 0},
    {129, 11, 0, 115, "O2.Time", 1, 0.1, 204.7},
    {126, 4, 4, 109, "O2.Polar", 1, 0, 0},
    // output 3
    {120, 11, 8, 108, "O3.Ch", 1, 0, 0},
    {136, 15, 0, 116, "O3.ULimit", 1, -32767, 32767},
    {140, 15, 0, 117, "O3.LLimit", 1, -32767, 32767},
    {133, 15, 12, 118, "O3.Hys", 1, 0, 15},
    {124, 11, 9, 109, "O3.Action", 1, 0, 0},
    {130, 11, 0, 118, "O3.Time", 1, 0.1, 204.7},
    {127, 8, 8, 109, "O3.Polar", 1, 0, 0},
    // analog output
    {121, 15, 12, 108, "Ana.Ch", 1, 0, 0},
    {137, 15, 0, 119, "Ana.ULimit", 1, -32767, 32767},
    {141, 15, 0, 120, "Ana.LLimit", 1, -32767, 32767},
    {-1, 0, 0, 0, "", 1, 0, 0},
}};

std::span<const TParamKey> KeysOf(TKeyBlock block) {
    switch (block) {
        case TKeyBlock::Header:
            return {HeaderKeys.data(), kHeaderKeyCount};
        case TKeyBlock::Sys:
            return {SysKeys.data(), kSysKeyCount};
        case TKeyBlock::Bank:
            break;
    }
    return {BankKeys.data(), kBankKeyCount};
}

namespace {
const TParamKey* TableStart(TKeyBlock block) {
    switch (block) {
        case TKeyBlock::Header:
            return HeaderKeys.data();
        case TKeyBlock::Sys:
            return SysKeys.data();
        case TKeyBlock::Bank:
            break;
    }
    return BankKeys.data();
}
}  // namespace

const TParamKey* FindKeyIn(TKeyBlock block, int key) {
    for (const TParamKey* p = TableStart(block); p->Key >= 0; ++p)
        if (p->Key == key) return p;
    return nullptr;
}

std::optional<TKeyRef> FindKeyById(int key) {
    for (TKeyBlock b : {TKeyBlock::Header, TKeyBlock::Sys, TKeyBlock::Bank})
        if (const TParamKey* p = FindKeyIn(b, key)) return TKeyRef{b, p};
    return std::nullopt;
}

std::optional<TKeyRef> FindKeyByName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    for (TKeyBlock b : {TKeyBlock::Header, TKeyBlock::Sys, TKeyBlock::Bank})
        for (const TParamKey& k : KeysOf(b))
            if (name == k.Name) return TKeyRef{b, &k};
    return std::nullopt;
}

}  // namespace kd
