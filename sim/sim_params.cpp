#include "sim/sim_params.h"

namespace kdsim {

namespace {

struct FieldDef {
    Fld f;
    const char* name;
    int block;   // 0 header, 1 Sys, 2 bank
    int offset;  // word within the block (index 0)
    int msb;
    int lsb;
    bool isSigned;
    int count;       // how many indexed instances
    int wordStep;    // words between instances (0: same word)
    int bitStep;     // bits between instances (for fields sharing a word)
    bool hasLimits;
    int32_t min;     // raw
    int32_t max;
};

// Word offsets, bits and raw limits of the parameter layout.
constexpr FieldDef kFields[] = {
    {Fld::Bank, "Bank", 1, 8, 2, 0, false, 1, 0, 0, true, 0, 7},
    {Fld::BankSwitch, "BankSwitch", 1, 8, 3, 3, false, 1, 0, 0, false, 0, 0},
    {Fld::Input, "INPUT", 1, 4, 3, 3, false, 4, 0, 0, false, 0, 0},  // bits 3,5,7,1
    {Fld::InputFilter, "InputFilter", 1, 5, 7, 0, false, 1, 0, 0, true, 1, 255},
    {Fld::InputsPolar, "InputsPolar", 1, 4, 7, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::ZeroTarget, "ZeroTarget", 1, 5, 12, 10, false, 1, 0, 0, true, 0, 4},
    {Fld::AxisDir, "AxisDir", 1, 1, 2, 2, false, 1, 0, 0, false, 0, 0},
    {Fld::GpioOnT, "GpioOnT", 1, 1, 3, 3, false, 1, 0, 0, false, 0, 0},
    {Fld::StrStl, "StrStl", 1, 10, 15, 0, true, 1, 0, 0, true, -10000, 10000},
    {Fld::StrBuf, "StrBuf", 1, 11, 15, 0, false, 1, 0, 0, true, 1, 65535},
    {Fld::StrStc, "StrStc", 1, 12, 2, 0, false, 1, 0, 0, true, 0, 5},
    {Fld::StrStt, "StrStt", 1, 12, 5, 3, false, 1, 0, 0, true, 0, 5},
    {Fld::StrTgt, "StrTgt", 1, 13, 1, 0, false, 1, 0, 0, true, 0, 2},
    {Fld::StrRpt2, "StrRpt", 1, 13, 2, 2, false, 1, 0, 0, true, 0, 1},
    {Fld::StrRpt3, "StrRpt", 1, 12, 7, 6, false, 1, 0, 0, true, 0, 2},
    {Fld::StrSmp, "StrSmp", 1, 13, 15, 3, false, 1, 0, 0, true, 0, 8191},
    {Fld::StrThd, "StrThd", 1, 14, 31, 0, true, 1, 0, 0, true, -999999, 999999},
    {Fld::TrigAction, "TrigAction", 2, 5, 3, 2, false, 1, 0, 0, false, 0, 0},
    {Fld::TrigCount, "TrigCount", 2, 9, 11, 0, false, 1, 0, 0, true, 1, 4095},
    {Fld::TrigDelay, "TrigDelay", 2, 10, 11, 0, false, 1, 0, 0, true, 1, 4095},
    {Fld::CamLeft, "CamLeft", 2, 1, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::CamTop, "CamTop", 2, 0, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::CamWidth, "CamWidth", 2, 3, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::CamHeight, "CamHeight", 2, 2, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::CamMode, "CamMode", 2, 5, 5, 4, false, 1, 0, 0, false, 0, 0},
    {Fld::CamNR, "CamNR", 2, 5, 8, 8, false, 1, 0, 0, false, 0, 0},
    {Fld::Gain, "Gain", 2, 4, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::Shutter, "Shutter", 2, 7, 10, 0, false, 1, 0, 0, true, 1, 2047},
    {Fld::HDRShutter, "HDRShutter", 2, 8, 10, 0, false, 1, 0, 0, true, 1, 2047},
    {Fld::MeasureLimit, "MeasureLimit", 2, 18, 7, 0, false, 1, 0, 0, true, 0, 255},
    {Fld::LowIntensity, "LowIntensity", 2, 19, 6, 0, false, 1, 0, 0, true, 0, 127},
    {Fld::CamMask, "CamMask", 2, 19, 15, 15, false, 1, 0, 0, false, 0, 0},
    {Fld::Extract, "Extract", 2, 16, 6, 5, false, 1, 0, 0, false, 0, 0},
    {Fld::AlarmLimit, "AlarmLimit", 2, 16, 15, 12, false, 1, 0, 0, false, 0, 0},
    {Fld::Smoothing, "Smoothing", 2, 16, 10, 8, false, 1, 0, 0, false, 0, 0},
    {Fld::CorrectMethod, "CorrectMethod", 2, 20, 2, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::TiltCorrect, "TiltCorrect", 2, 20, 3, 3, false, 1, 0, 0, false, 0, 0},
    {Fld::VCorrect, "VCorrect", 2, 21, 15, 0, true, 1, 0, 0, true, -3750, 3750},
    {Fld::HCorrect, "HCorrect", 2, 22, 15, 0, true, 1, 0, 0, true, -7000, 7000},
    {Fld::TiltCorPos, "TiltCorPos", 2, 23, 15, 0, true, 1, 0, 0, true, -3750, 3750},
    {Fld::AFunc, "A.Func", 2, 30, 4, 0, false, 4, 9, 0, true, 0, 12},
    {Fld::ACmp, "A.Cmp", 2, 30, 5, 5, false, 4, 9, 0, false, 0, 0},
    {Fld::ATop, "A.Top", 2, 31, 15, 0, true, 4, 9, 0, true, -13999, 13967},
    {Fld::ALeft, "A.Left", 2, 32, 15, 0, true, 4, 9, 0, true, -7499, 7467},
    {Fld::ABottom, "A.Bottom", 2, 33, 15, 0, true, 4, 9, 0, true, -13967, 13999},
    {Fld::ARight, "A.Right", 2, 34, 15, 0, true, 4, 9, 0, true, -7467, 7499},
    {Fld::AInfl, "A.Infl", 2, 35, 15, 0, true, 4, 9, 0, true, -255, 255},
    {Fld::ASDR, "A.SDR", 2, 36, 2, 2, false, 4, 9, 0, false, 0, 0},
    {Fld::ADir, "A.Dir", 2, 36, 3, 3, false, 4, 9, 0, false, 0, 0},
    {Fld::Ave, "A.Ave", 2, 76, 15, 6, false, 4, 5, 0, true, 1, 1023},
    {Fld::Hold, "A.Hold", 2, 76, 1, 0, false, 6, 5, 0, false, 0, 0},
    {Fld::Offset, "C.Offset", 2, 78, 15, 0, true, 6, 5, 0, true, -32767, 32767},
    {Fld::Span, "C.Span", 2, 79, 15, 0, false, 6, 5, 0, true, 1, 1999},
    {Fld::ZAdj, "C.ZAdj", 2, 80, 15, 0, true, 6, 5, 0, true, -32767, 32767},
    {Fld::OpA, "Op.A", 2, 96, 3, 2, false, 2, 5, 0, false, 0, 0},
    {Fld::OpB, "Op.B", 2, 96, 5, 4, false, 2, 5, 0, false, 0, 0},
    {Fld::OpOp, "Op.Op", 2, 96, 11, 8, false, 2, 5, 0, false, 0, 0},
    {Fld::OCh, "O.Ch", 2, 108, 3, 0, false, 4, 0, 4, false, 0, 0},
    {Fld::OAction, "O.Action", 2, 109, 3, 1, false, 3, 0, 4, false, 0, 0},
    {Fld::OPolar, "O.Polar", 2, 109, 0, 0, false, 3, 0, 4, false, 0, 0},
    {Fld::OTime, "O.Time", 2, 112, 11, 0, false, 3, 3, 0, true, 1, 2047},
    {Fld::OHys, "O.Hys", 2, 112, 15, 12, false, 3, 3, 0, true, 0, 15},
    {Fld::OULimit, "O.ULimit", 2, 110, 15, 0, true, 4, 3, 0, true, -32767, 32767},
    {Fld::OLLimit, "O.LLimit", 2, 111, 15, 0, true, 4, 3, 0, true, -32767, 32767},
    {Fld::HeadRowOffset, "HeadRowOffset", 0, 2, 15, 0, false, 1, 0, 0, false, 0, 0},
    {Fld::HeadColOffset, "HeadColOffset", 0, 3, 15, 0, false, 1, 0, 0, false, 0, 0},
};

const FieldDef* Def(Fld f) {
    for (const auto& d : kFields) {
        if (d.f == f) return &d;
    }
    return nullptr;
}

constexpr std::array<int, 4> kInputBits = {3, 5, 7, 1};

}  // namespace

std::optional<FieldLoc> Locate(Fld f, int bank, int index) {
    const FieldDef* d = Def(f);
    if (!d || index < 0 || index >= d->count) return std::nullopt;
    if (d->block == 2 && (bank < 0 || bank >= kBanks)) return std::nullopt;
    int base = d->block == 0 ? 0 : d->block == 1 ? kSysWord : kBankWord + kBankWords * bank;
    FieldLoc loc{base + d->offset + d->wordStep * index, d->msb + d->bitStep * index,
                 d->lsb + d->bitStep * index, d->isSigned};
    if (f == Fld::Input) loc.msb = loc.lsb = kInputBits[static_cast<size_t>(index)];
    return loc;
}

std::string_view FieldName(Fld f) {
    const FieldDef* d = Def(f);
    return d ? d->name : "?";
}

int32_t GetRaw(const ParamWords& mem, Fld f, int bank, int index) {
    auto loc = Locate(f, bank, index);
    if (!loc) return 0;
    if (loc->msb > 15) {
        uint32_t v = mem[static_cast<size_t>(loc->word)] |
                     (uint32_t{mem[static_cast<size_t>(loc->word + 1)]} << 16);
        return static_cast<int32_t>(v);
    }
    const int width = loc->msb - loc->lsb + 1;
    uint32_t raw = (uint32_t{mem[static_cast<size_t>(loc->word)]} >> loc->lsb) & ((1u << width) - 1);
    if (loc->isSigned && (raw & (1u << (width - 1)))) {
        return static_cast<int32_t>(raw) - (1 << width);
    }
    return static_cast<int32_t>(raw);
}

void SetRaw(ParamWords& mem, Fld f, int bank, int32_t raw, int index) {
    auto loc = Locate(f, bank, index);
    if (!loc) return;
    auto& w = mem[static_cast<size_t>(loc->word)];
    if (loc->msb > 15) {
        const auto v = static_cast<uint32_t>(raw);
        w = static_cast<uint16_t>(v & 0xFFFF);
        mem[static_cast<size_t>(loc->word + 1)] = static_cast<uint16_t>(v >> 16);
        return;
    }
    const int width = loc->msb - loc->lsb + 1;
    const uint32_t mask = ((1u << width) - 1) << loc->lsb;
    w = static_cast<uint16_t>((w & ~mask) | ((static_cast<uint32_t>(raw) << loc->lsb) & mask));
}

std::optional<RawLimits> Limits(Fld f) {
    const FieldDef* d = Def(f);
    if (!d || !d->hasLimits) return std::nullopt;
    return RawLimits{d->min, d->max};
}

const ParamWords& FactoryImage() {
    static const ParamWords image = [] {
        ParamWords w{};
        constexpr std::array<uint16_t, 16> kHeader = {0x53AC, 0x0002, 0x000A, 0x0002, 0x0024, 0xBBDC,
                                                      0x8830, 0xEA2D, 0xF89D, 0x2F8B, 0xFFE2, 0x2DB0,
                                                      0xF34D, 0x000C, 0xFFCB, 0x0000};
        constexpr std::array<uint16_t, 16> kSys = {0x00F0, 0x0004, 0x0000, 0x0008, 0x0100, 0x0001,
                                                   0x0000, 0x0042, 0x0000, 0x0001, 0x0000, 0x0001,
                                                   0x0000, 0x03E8, 0x0000, 0x0000};
        constexpr std::array<uint16_t, kBankWords> kBank0 = {
            0x0000, 0x0000, 0x0064, 0x0064, 0x0000, 0x0000, 0x02C5, 0x0064, 0x00C8, 0x0001, 0x0001,
            0x0000, 0x0000, 0x0000, 0x0000, 0xFFFF, 0x6300, 0x0000, 0x0020, 0x0010, 0x0005, 0xF34E,
            0x0000, 0x0CB2, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xFFFF, 0x0000, 0xC951, 0xF254,
            0x36AF, 0xFC18, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xC951, 0x03E8, 0x36AF, 0x0DAC,
            0x0000, 0x0000, 0x0000, 0x0000, 0x0026, 0xFE0C, 0xED72, 0x03E8, 0xF15A, 0x0000, 0x0000,
            0x0000, 0x0000, 0x0026, 0xFE0C, 0x0EA6, 0x03E8, 0x128E, 0x0000, 0x0000, 0x0000, 0x0000,
            0x0000, 0x0000, 0x0000, 0x0000, 0x0001, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0800,
            0x0000, 0x0000, 0x03E8, 0x0000, 0x0800, 0x0000, 0x0000, 0x03E8, 0x0000, 0x0800, 0x0000,
            0x0000, 0x03E8, 0x0000, 0x0800, 0x0000, 0x0000, 0x03E8, 0x0000, 0x012C, 0x0000, 0x0000,
            0x03E8, 0x0000, 0x0000, 0x0000, 0x0000, 0x03E8, 0x0000, 0x7FF9, 0x036A, 0x0410, 0x0111,
            0x61A8, 0x9E58, 0x0001, 0x61A8, 0x9E58, 0x0001, 0x445C, 0x4074, 0x0001, 0x61A8, 0x9E58,
            0x0001, 0x0000, 0x0000};
        std::copy(kHeader.begin(), kHeader.end(), w.begin());
        std::copy(kSys.begin(), kSys.end(), w.begin() + kSysWord);
        for (int b = 0; b < kBanks; ++b) {
            auto* bank = w.data() + kBankWord + kBankWords * b;
            std::copy(kBank0.begin(), kBank0.end(), bank);
            if (b > 0) bank[6] = 0x0420;
            if (b == 7) {
                bank[108] = 0x0000;
                bank[110] = 0xA240;
                bank[111] = 0x9A70;
                bank[113] = 0x03E8;
                bank[114] = 0xFC18;
                bank[116] = 0x6590;
                bank[117] = 0x5DC0;
            }
        }
        return w;
    }();
    return image;
}

}  // namespace kdsim
