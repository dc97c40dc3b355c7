#include "storage/held_repeat.h"

namespace kd {

int THeldRepeat::Press(int button, uint32_t nowMs) {
    held_ = button;
    steps_ = 0;
    pressMs_ = lastMs_ = nowMs;
    if (mode_ == TMode::AfterTick) return -1;
    ++steps_;
    return held_;
}

int THeldRepeat::Tick(uint32_t nowMs) {
    if (held_ < 0) return -1;
    const bool due = mode_ == TMode::AfterTick ? steps_ == 0 || nowMs - lastMs_ >= delayMs_
                                               : nowMs - pressMs_ >= delayMs_;
    if (!due) return -1;
    ++steps_;
    lastMs_ = nowMs;
    return held_;
}

int THeldRepeat::Release() {
    const int button = held_;
    held_ = -1;
    return mode_ == TMode::AfterTick && steps_ == 0 ? button : -1;
}

}  // namespace kd
