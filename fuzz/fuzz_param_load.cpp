// Parameter files as the operator opens them: the whole-file reader, the
// dispatch by extension and both formats. The first byte picks the name's
// extension; the rest is the file. What loads must be recorded honestly:
// a text file's missing blocks are zeros, a raw file is the bytes as read.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "fuzz/fuzz_util.h"
#include "params/kest_param.h"
#include "params/param_files.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kExt[] = {".kd",  ".KD",  ".dalo", ".vyn", ".bin",
                                       ".BIN", ".txt", ".dat",  ""};
    const std::string name = kdfuzz::ScratchDir() + "/p" + kExt[data[0] % 9];
    const std::string contents(reinterpret_cast<const char*>(data + 1), size - 1);
    {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << contents;
    }
    kd::TMasterStore masters;
    kd::TKestParam param;
    param.Masters = &masters;
    param.LoadDefaultImage();
    const auto before = param.Image;
    try {
        param.LoadFromFile(name);
    } catch (const kd::EKestError&) {
        // refused: a raw file changes nothing; a text file may have been half read
        if (kd::FormatOfName(name) != kd::TParamFormat::Text) Check(param.Image == before);
        Check(param.NotLoaded);
        return 0;
    }
    Check((param.MissingBlocks & ~kd::kValidWhole) == 0);
    for (int n = 0; n < kd::kBankCount; ++n)
        Check(masters.MasterCount[n] <= kd::TMasterStore::kMaxCount);
    if (kd::FormatOfName(name) == kd::TParamFormat::Raw) {
        Check(contents.size() == kd::kImageBytes && param.MissingBlocks == 0);
        Check(std::memcmp(contents.data(), param.Image.data(), kd::kImageBytes) == 0);
    } else {
        for (int n = 0; n < kd::kBankCount; ++n) {
            if (!(param.MissingBlocks & (1u << n))) continue;
            for (int w = 0; w < kd::kBankWords; ++w)
                Check(param.Word(kd::BankStartWord(n) + w) == 0);
        }
    }
    // The raw reader on its own, into an image of its own.
    std::array<uint8_t, kd::kImageBytes> image{};
    try {
        kd::ReadBinFile(image, name);
        Check(contents.size() == kd::kImageBytes);
    } catch (const kd::EKestError&) {
        Check(contents.size() != kd::kImageBytes);
    }
    return 0;
}
