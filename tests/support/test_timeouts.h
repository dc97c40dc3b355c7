#pragma once
// Reply time-outs of the tests' peers. A sanitizer build runs several times
// slower and needs more, or a peer that answers in time would seem silent.
#include <cstdint>

namespace kdtest {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSlowBuild = true;
constexpr uint16_t kShortTimeoutMs = 150;
#else
constexpr bool kSlowBuild = false;
constexpr uint16_t kShortTimeoutMs = 40;
#endif

}  // namespace kdtest
