#pragma once
// A button held down that repeats its step on a page's timer (the zoom
// buttons of the storage pages). A click makes exactly one step.
//  - After a tick: the first tick after the press makes the first step, later
//    ticks one step each once the interval has passed; a release that no
//    tick saw makes the one step.
//  - After a press: the press makes the first step, every tick from the
//    first delay after the press one more.
#include <cstdint>

namespace kd {

class THeldRepeat {
  public:
    enum class TMode : uint8_t { AfterTick, AfterPress };
    THeldRepeat(TMode mode, uint32_t delayMs) : mode_(mode), delayMs_(delayMs) {}

    // Each returns the button whose step is due now, or -1.
    int Press(int button, uint32_t nowMs);
    int Tick(uint32_t nowMs);
    int Release();
    int Held() const { return held_; }

  private:
    TMode mode_;
    uint32_t delayMs_;
    int held_ = -1;
    int steps_ = 0;
    uint32_t pressMs_ = 0;
    uint32_t lastMs_ = 0;
};

}  // namespace kd
