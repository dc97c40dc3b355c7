#include "sim/sim_params.h"

#include <string>

#include "params/default_image.h"
#include "params/param_key.h"

namespace kdsim {

namespace {

// The sensor's own view of each field: which key names it, and the raw range
// the sensor accepts (the key table's limits divided by the key's scale, except
// where the sensor takes the whole field).
struct FieldDef {
    Fld f;
    const char* pattern;  // key name; '#' stands for the index + 1
    int count;            // indexed instances
    bool hasLimits;
    int32_t min;  // raw
    int32_t max;
};

constexpr FieldDef kFields[] = {
    {Fld::Bank, "Bank", 1, true, 0, 7},
    {Fld::BankSwitch, "BankSwitch", 1, false, 0, 0},
    {Fld::Input, "INPUT#", 4, false, 0, 0},
    {Fld::InputFilter, "InputFilter", 1, true, 1, 255},
    {Fld::InputsPolar, "InputsPolar", 1, false, 0, 0},
    {Fld::ZeroTarget, "ZeroTarget", 1, true, 0, 4},
    {Fld::AxisDir, "AxisDir", 1, false, 0, 0},
    {Fld::GpioOnT, "GpioOnT", 1, false, 0, 0},
    {Fld::StrStl, "StrStl", 1, true, -10000, 10000},
    {Fld::StrBuf, "StrBuf", 1, true, 1, 65535},
    {Fld::StrStc, "StrStc", 1, true, 0, 5},
    {Fld::StrStt, "StrStt", 1, true, 0, 5},
    {Fld::StrTgt, "StrTgt", 1, true, 0, 2},
    {Fld::StrRpt2, "StrRpt", 1, true, 0, 1},
    {Fld::StrRpt3, "StrRpt", 1, true, 0, 2},    // the second key of that name
    {Fld::StrSmp, "StrSmp", 1, true, 0, 8191},  // 0 and 1 both store every sample
    {Fld::StrThd, "StrThd", 1, true, -999999, 999999},
    {Fld::TrigAction, "TrigAction", 1, false, 0, 0},
    {Fld::TrigCount, "TrigCount", 1, true, 1, 4095},
    {Fld::TrigDelay, "TrigDelay", 1, true, 1, 4095},
    {Fld::CamLeft, "CamLeft", 1, false, 0, 0},
    {Fld::CamTop, "CamTop", 1, false, 0, 0},
    {Fld::CamWidth, "CamWidth", 1, false, 0, 0},
    {Fld::CamHeight, "CamHeight", 1, false, 0, 0},
    {Fld::CamMode, "CamMode", 1, false, 0, 0},
    {Fld::CamNR, "CamNR", 1, false, 0, 0},
    {Fld::Gain, "Gain", 1, false, 0, 0},
    {Fld::Shutter, "Shutter", 1, true, 1, 2047},
    {Fld::HDRShutter, "HDRShutter", 1, true, 1, 2047},
    {Fld::MeasureLimit, "MeasureLimit", 1, true, 0, 255},
    {Fld::LowIntensity, "LowIntensity", 1, true, 0, 127},
    {Fld::CamMask, "CamMask", 1, false, 0, 0},
    {Fld::Extract, "Extract", 1, false, 0, 0},
    {Fld::AlarmLimit, "AlarmLimit", 1, false, 0, 0},
    {Fld::Smoothing, "Smoothing", 1, false, 0, 0},
    {Fld::CorrectMethod, "CorrectMethod", 1, false, 0, 0},
    {Fld::TiltCorrect, "TiltCorrect", 1, false, 0, 0},
    {Fld::VCorrect, "VCorrect", 1, true, -3750, 3750},
    {Fld::HCorrect, "HCorrect", 1, true, -7000, 7000},
    {Fld::TiltCorPos, "TiltCorPos", 1, true, -3750, 3750},
    {Fld::AFunc, "A#.Func", 4, true, 0, 12},
    {Fld::ACmp, "A#.Cmp", 4, false, 0, 0},
    {Fld::ATop, "A#.Top", 4, true, -13999, 13967},
    {Fld::ALeft, "A#.Left", 4, true, -7499, 7467},
    {Fld::ABottom, "A#.Bottom", 4, true, -13967, 13999},
    {Fld::ARight, "A#.Right", 4, true, -7467, 7499},
    {Fld::AInfl, "A#.Infl", 4, true, -255, 255},
    {Fld::ASDR, "A#.SDR", 4, false, 0, 0},
    {Fld::ADir, "A#.Dir", 4, false, 0, 0},
    {Fld::Ave, "A#.Ave", 4, true, 1, 1023},
    {Fld::Hold, "A#.Hold", 6, false, 0, 0},  // 5, 6: Op1.Hold, Op2.Hold
    {Fld::Offset, "C#.Offset", 6, true, -32767, 32767},
    {Fld::Span, "C#.Span", 6, true, 1, 1999},
    {Fld::ZAdj, "C#.ZAdj", 6, true, -32767, 32767},
    {Fld::OpA, "Op#.A", 2, false, 0, 0},
    {Fld::OpB, "Op#.B", 2, false, 0, 0},
    {Fld::OpOp, "Op#.Op", 2, false, 0, 0},
    {Fld::OCh, "O#.Ch", 4, false, 0, 0},  // 4: Ana.Ch
    {Fld::OAction, "O#.Action", 3, false, 0, 0},
    {Fld::OPolar, "O#.Polar", 3, false, 0, 0},
    {Fld::OTime, "O#.Time", 3, true, 1, 2047},
    {Fld::OHys, "O#.Hys", 3, true, 0, 15},
    {Fld::OULimit, "O#.ULimit", 4, true, -32767, 32767},  // 4: Ana.ULimit
    {Fld::OLLimit, "O#.LLimit", 4, true, -32767, 32767},  // 4: Ana.LLimit
    {Fld::HeadRowOffset, "HeadRowOffset", 1, false, 0, 0},
    {Fld::HeadColOffset, "HeadColOffset", 1, false, 0, 0},
};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];
constexpr int kMaxIndex = 6;

// A field's place relative to its block, found once in the key tables.
struct Resolved {
    bool ok = false;
    kd::TKeyBlock block = kd::TKeyBlock::Sys;
    int offset = 0;
    int msb = 0;
    int lsb = 0;
    bool isSigned = false;
};

std::string KeyName(const FieldDef& d, int index) {
    std::string name = d.pattern;
    const size_t hash = name.find('#');
    if (hash == std::string::npos) return name;
    if (d.f == Fld::Hold && index >= 4) return "Op" + std::to_string(index - 3) + ".Hold";
    if ((d.f == Fld::OCh || d.f == Fld::OULimit || d.f == Fld::OLLimit) && index == 3) {
        return "Ana" + name.substr(hash + 1);
    }
    return name.replace(hash, 1, std::to_string(index + 1));
}

const std::array<std::array<Resolved, kMaxIndex>, kFieldCount>& Table() {
    static const auto table = [] {
        std::array<std::array<Resolved, kMaxIndex>, kFieldCount> t{};
        for (size_t i = 0; i < kFieldCount; ++i) {
            const FieldDef& d = kFields[i];
            for (int k = 0; k < d.count; ++k) {
                std::optional<kd::TKeyRef> ref;
                if (d.f == Fld::StrRpt3)
                    ref = kd::FindKeyById(kd::pk::StrRpt3);
                else
                    ref = kd::FindKeyByName(KeyName(d, k));
                if (!ref) continue;  // a key the table does not have stays unmapped
                auto& r = t[i][static_cast<size_t>(k)];
                r.ok = true;
                r.block = ref->Block;
                r.offset = ref->Entry->Offset;
                r.msb = ref->Entry->Msb;
                r.lsb = ref->Entry->Lsb;
                r.isSigned = ref->Entry->IsSigned();
            }
        }
        return t;
    }();
    return table;
}

const FieldDef* Def(Fld f, size_t* at = nullptr) {
    // The fields by their number, looked up on every profile point.
    static const auto index = [] {
        std::array<int, 256> ix{};
        ix.fill(-1);
        for (size_t i = 0; i < kFieldCount; ++i) {
            const auto n = static_cast<size_t>(kFields[i].f);
            if (n < ix.size() && ix[n] < 0) ix[n] = static_cast<int>(i);
        }
        return ix;
    }();
    const auto n = static_cast<size_t>(f);
    if (n >= index.size() || index[n] < 0) return nullptr;
    if (at) *at = static_cast<size_t>(index[n]);
    return &kFields[static_cast<size_t>(index[n])];
}

}  // namespace

std::optional<FieldLoc> Locate(Fld f, int bank, int index) {
    size_t at = 0;
    const FieldDef* d = Def(f, &at);
    if (!d || index < 0 || index >= d->count) return std::nullopt;
    const Resolved& r = Table()[at][static_cast<size_t>(index)];
    if (!r.ok) return std::nullopt;
    int base = 0;
    if (r.block == kd::TKeyBlock::Sys) base = kSysWord;
    if (r.block == kd::TKeyBlock::Bank) {
        if (bank < 0 || bank >= kBanks) return std::nullopt;
        base = kBankWord + kBankWords * bank;
    }
    return FieldLoc{base + r.offset, r.msb, r.lsb, r.isSigned};
}

std::string_view FieldName(Fld f) {
    const FieldDef* d = Def(f);
    return d ? d->pattern : "?";
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
    uint32_t raw =
        (uint32_t{mem[static_cast<size_t>(loc->word)]} >> loc->lsb) & ((1u << width) - 1);
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
        const auto& bytes = kd::DefaultImage();
        for (size_t i = 0; i < w.size(); ++i) {
            w[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
        return w;
    }();
    return image;
}

}  // namespace kdsim
