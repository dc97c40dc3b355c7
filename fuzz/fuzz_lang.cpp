// String-table files as they come from the command line: decoding by charset,
// parsing, lookups and the comma lists of every entry.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shell/mirel_lang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string text = kd::DecodeStringTable(bytes);
    if (!kd::IsValidUtf8(text)) __builtin_trap();  // decoding must give UTF-8
    kd::TMirelLang t = kd::TMirelLang::FromText(text);
    for (const auto& [name, value] : t.Entries()) {
        if (t.Find(name) == nullptr) __builtin_trap();  // every name is found again
        (void)kd::ParseCommaList(value);
        (void)t.Translate(name, "");
    }
    (void)kd::ParseCommaList(bytes);
    return 0;
}
