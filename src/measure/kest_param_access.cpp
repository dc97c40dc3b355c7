#include "measure/kest_param_access.h"

#include "params/param_key.h"

namespace kd {

namespace {
const TParamKey* Lookup(std::string_view name, TKeyBlock block) {
    std::optional<TKeyRef> ref = FindKeyByName(name);
    if (!ref || ref->Block != block) return nullptr;
    return ref->Entry;
}
}  // namespace

int TKestParamAccess::CurrentBank() const {
    return image_.GetSys(pk::Bank);
}

int TKestParamAccess::GetBank(std::string_view key) const {
    const TParamKey* k = Lookup(key, TKeyBlock::Bank);
    return k ? image_.GetBank(CurrentBank(), k->Key) : 0;
}

int TKestParamAccess::GetSys(std::string_view key) const {
    const TParamKey* k = Lookup(key, TKeyBlock::Sys);
    return k ? image_.GetSys(k->Key) : 0;
}

void TKestParamAccess::SetBank(std::string_view key, int value) {
    if (const TParamKey* k = Lookup(key, TKeyBlock::Bank))
        image_.SetBank(CurrentBank(), k->Key, value);
}

IParamAccess::Limits TKestParamAccess::KeyLimits(std::string_view key) const {
    const TParamKey* k = Lookup(key, TKeyBlock::Bank);
    if (!k) return {};
    return {static_cast<int>(k->Min), static_cast<int>(k->Max)};
}

int TKestParamAccess::KeyWordIndex(std::string_view key) const {
    const TParamKey* k = Lookup(key, TKeyBlock::Bank);
    return k ? image_.BankWordIndex(CurrentBank(), k->Key) : -1;
}

}  // namespace kd
