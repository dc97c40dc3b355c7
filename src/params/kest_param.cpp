#include "params/kest_param.h"

#include <cmath>

#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

int TMasterStore::RecordWords(int bank) const {
    int count = MasterCount[bank];
    if (count <= 0) return 0;
    if (count > kMaxCount)
        throw EKestError(
            Format("Master%d: %d points do not fit the master buffer", bank + 1, count));
    return 4 + 2 * count;
}

TKestParam::TKestParam() = default;

void TKestParam::SetSensorModified(bool value) {
    if (SensorModified == value) return;
    SensorModified = value;
    if (OnModifiedChange) OnModifiedChange();
}

void TKestParam::SetFileModified(bool value) {
    if (FileModified == value) return;
    FileModified = value;
    if (OnModifiedChange) OnModifiedChange();
}

namespace {

// (w and mask(Msb)) >> Lsb for a field inside one word.
uint32_t Field(uint16_t w, const TParamKey& k) {
    uint32_t mask = (1u << (k.Msb + 1)) - 1u;
    return (w & mask) >> k.Lsb;
}

uint16_t InsertField(uint16_t w, const TParamKey& k, int64_t raw) {
    uint32_t f = ((1u << (k.Msb - k.Lsb + 1)) - 1u) << k.Lsb;
    uint32_t bits = (static_cast<uint32_t>(raw) << k.Lsb) & f;
    return static_cast<uint16_t>((w & ~f) | bits);
}

int TruncToInt(double v) {
    return static_cast<int>(std::trunc(v));
}

bool BankOk(int bank) {
    if (bank >= 0 && bank < kBankCount) return true;
    WriteLog(kLogError, "no param: bank%d", bank);
    return false;
}

}  // namespace

const TParamKey* TKestParam::FindKey(TKeyBlock block, int key) const {
    const TParamKey* k = FindKeyIn(block, key);
    if (!k) WriteLog(kLogError, "no param: param_key%d", key);
    return k;
}

int TKestParam::GetHeader(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Header, key);
    if (!k) return 0;
    return TruncToInt(Field(Word(kHeaderWord + k->Offset), *k) * k->Scale);
}

int TKestParam::GetSys(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Sys, key);
    if (!k) return 0;
    int w = kSysWord + k->Offset;
    if (k->IsWide())
        return static_cast<int32_t>(static_cast<uint32_t>(Word(w)) |
                                    (static_cast<uint32_t>(Word(w + 1)) << 16));
    // zero-extended even for a signed field (StrStl reads 0..65535)
    return TruncToInt(Field(Word(w), *k) * k->Scale);
}

int TKestParam::GetSysSigned(int key) const {
    const int v = GetSys(key);
    const TParamKey* k = FindKeyIn(TKeyBlock::Sys, key);
    if (!k || !k->IsSigned() || k->IsWide() || k->Scale != 1.0) return v;
    const int sign = 1 << (k->Width() - 1);
    return (v & sign) != 0 ? v - 2 * sign : v;
}

void TKestParam::SetSys(int key, int value) {
    const TParamKey* k = FindKey(TKeyBlock::Sys, key);
    if (!k) return;
    int64_t raw = static_cast<int64_t>(std::trunc(value / k->Scale));
    int w = kSysWord + k->Offset;
    if (k->IsWide()) {
        auto u = static_cast<uint32_t>(raw);
        SetWord(w, static_cast<uint16_t>(u & 0xFFFF));
        SetWord(w + 1, static_cast<uint16_t>(u >> 16));
    } else {
        SetWord(w, InsertField(Word(w), *k, raw));
    }
    ValidMask &= ~kValidSys;
    SetSensorModified(true);
    SetFileModified(true);
}

int TKestParam::GetBank(int bank, int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Bank, key);
    if (!k || !BankOk(bank)) return 0;
    int64_t raw = Field(Word(BankStartWord(bank) + k->Offset), *k);
    int width = k->Msb - k->Lsb + 1;
    if (k->IsSigned() && (raw >> (width - 1)) & 1) raw -= int64_t{1} << width;
    if (k->Scale > 1) return TruncToInt(static_cast<double>(raw) * k->Scale);
    return static_cast<int>(raw);
}

void TKestParam::SetBank(int bank, int key, int value) {
    const TParamKey* k = FindKey(TKeyBlock::Bank, key);
    if (!k || !BankOk(bank)) return;
    int64_t raw = k->Scale > 1 ? static_cast<int64_t>(std::trunc(value / k->Scale)) : value;
    int w = BankStartWord(bank) + k->Offset;
    SetWord(w, InsertField(Word(w), *k, raw));
    SetFileModified(true);
    SetSensorModified(true);
    ValidMask &= ~(1u << bank);
}

int TKestParam::BankWordIndex(int bank, int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Bank, key);
    if (!k || !BankOk(bank)) return -1;
    return BankStartWord(bank) + k->Offset;
}

double TKestParam::GetSysMin(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Sys, key);
    return k ? k->Min : 0.0;
}

double TKestParam::GetSysMax(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Sys, key);
    return k ? k->Max : 0.0;
}

double TKestParam::GetBankMin(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Bank, key);
    return k ? k->Min : 0.0;
}

double TKestParam::GetBankMax(int key) const {
    const TParamKey* k = FindKey(TKeyBlock::Bank, key);
    return k ? k->Max : 0.0;
}

std::string TKestParam::GetUnitStr(int bank, int key) const {
    const TKestParam& sensor = SensorImage ? *SensorImage : *this;
    int ch;
    if (key == pk::StrThd)
        ch = GetSys(pk::StrStc);
    else if (key >= pk::ChOffset(1) && key <= pk::ChOffset(6))
        ch = key - pk::ChOffset(1);
    else if (key >= pk::ChZAdj(1) && key <= pk::ChZAdj(6))
        ch = key - pk::ChZAdj(1);
    else if (key >= pk::OutHys(1) && key <= pk::OutHys(3))
        ch = sensor.GetBank(bank, pk::OutCh(1) + (key - pk::OutHys(1)));
    else if (key >= pk::OutULimit(1) && key <= pk::OutULimit(4))
        ch = sensor.GetBank(bank, pk::OutCh(1) + (key - pk::OutULimit(1)));
    else if (key >= pk::OutLLimit(1) && key <= pk::OutLLimit(4))
        ch = sensor.GetBank(bank, pk::OutCh(1) + (key - pk::OutLLimit(1)));
    else
        throw EKestError("GetUnitStr; unknown key" + std::to_string(key));

    int func;
    if (ch >= 0 && ch <= 3) {
        func = GetBank(bank, pk::AreaFunc(ch + 1));
    } else if (ch == 4 || ch == 5) {
        int a = sensor.GetBank(bank, ch == 4 ? pk::Op1A : pk::Op2A);
        func = sensor.GetBank(bank, pk::AreaFunc(a + 1));
    } else {
        return "?";  // a channel field outside 0..5 names no area function
    }
    return ModeUnit ? ModeUnit(func) : std::string("?");
}

std::string ModeUnitFromList(const std::vector<std::string>& units, int displUnit, int func) {
    if (func < 0 || static_cast<size_t>(func) >= units.size()) return "?";
    const std::string& u = units[static_cast<size_t>(func)];
    bool isMm = u.size() == 2 && (u[0] == 'm' || u[0] == 'M') && (u[1] == 'm' || u[1] == 'M');
    if (displUnit == 1 && isMm && func != 6 && func != 11) return "um";
    return u;
}

}  // namespace kd
