// Feeds arbitrary bytes to the profile file reader. It either refuses the
// text with "not profile file" and leaves the buffer as it was, or reads at
// most 2048 points; what it read must come back unchanged after writing.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/kest_error.h"
#include "measure/profile_file.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kd::ProfileBufferArray buffer;
    buffer.fill({1, 1});
    int n = 0;
    try {
        n = kd::ReadProfileText(text, buffer);
    } catch (const kd::EKestError&) {
        for (const kd::ProfilePoint& p : buffer) Check(p == kd::ProfilePoint{1, 1});
        return 0;
    }
    Check(n >= 0 && n <= kd::kProfileBufferPoints);
    const std::string written = kd::ProfileFileText(
        std::span<const kd::ProfilePoint>(buffer.data(), static_cast<size_t>(n)));
    kd::ProfileBufferArray again{};
    Check(kd::ReadProfileText(written, again) == n);
    for (int i = 0; i < n; ++i)
        Check(again[static_cast<size_t>(i)] == buffer[static_cast<size_t>(i)]);
    return 0;
}
