// kdctl's command line: the global options, the command name and every
// command's own arguments, checked without running anything. Anything wrong
// is a usage error (exit 2); what passes is within the documented ranges.
#include <cstdint>
#include <string_view>

#include "cli/cli.h"
#include "common/kest_error.h"
#include "fuzz/fuzz_util.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const kd::cli::ParsedCommandLine p = kd::cli::ParseCliArgs(kdfuzz::SplitArgs(bytes));
        if (p.help || p.version) return 0;  // nothing to run: the text is printed
        Check(p.command != nullptr);
        Check(p.ctx.baud >= 9600 && p.ctx.baud <= 4000000);
        Check(!p.ctx.port.empty());
    } catch (const kd::cli::UsageError& e) {
        Check(!e.message.empty());
    }
    return 0;
}
