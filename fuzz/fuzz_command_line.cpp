// kdtrelva's command line: any arguments (NUL-separated) give options the
// program can act on or errors it reports; a page code it accepts is one of
// the program's pages.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_util.h"
#include "shell/command_line.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kd::TStartOptions o = kd::ParseCommandLine(kdfuzz::SplitArgs(bytes));
    if (o.Page) Check(kd::IsPageCode(*o.Page));
    Check(o.WaitMs >= 0 && o.WaitMs <= 3600000);
    if (o.Port) Check(!o.Port->empty());
    if (o.Screenshot) Check(!o.Screenshot->empty());
    if (auto code = kd::ParsePageCode(std::string(bytes))) Check(kd::IsPageCode(*code));
    return 0;
}
