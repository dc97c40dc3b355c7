// Feeds arbitrary bytes to the text parameter file reader. Whatever it
// accepts must survive being written and read back unchanged: the same Sys
// block and banks, the same master counts and records.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/kest_error.h"
#include "params/kest_param.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kd::TMasterStore masters;
    kd::TKestParam param;
    param.Masters = &masters;
    try {
        param.ReadText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const kd::EKestError&) {
        return 0;  // refused input: only the error matters
    }
    std::tm now{};
    now.tm_year = 124;
    now.tm_mday = 1;
    std::string text = param.BuildText(now);

    kd::TMasterStore masters2;
    kd::TKestParam again;
    again.Masters = &masters2;
    again.ReadText(text);  // must not throw
    for (int w = kd::kSysWord; w < kd::kImageWords; ++w) Check(again.Word(w) == param.Word(w));
    for (int n = 0; n < kd::kBankCount; ++n) {
        int count = masters.MasterCount[n];
        Check(count <= kd::TMasterStore::kMaxCount);
        if (count <= 0) {
            Check(masters2.MasterCount[n] == 0);
            continue;
        }
        Check(masters2.MasterCount[n] == count);
        int words = masters.RecordWords(n);
        Check(std::memcmp(masters.MasterWords[n].data(), masters2.MasterWords[n].data(),
                          static_cast<size_t>(words) * 2) == 0);
    }
    Check(again.BuildText(now) == text);
    return 0;
}
