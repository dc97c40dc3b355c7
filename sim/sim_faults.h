#pragma once
// Fault injection of the simulated sensor. Every reply draws the same number
// of values from one seeded generator, so a run repeats exactly for a given
// seed and sequence of requests.
#include <cstdint>
#include <string>
#include <vector>

namespace kdsim {

struct FaultConfig {
    double noise = 0;    // probability of junk bytes before a reply
    double corrupt = 0;  // probability of a wrong check byte
    double drop = 0;     // probability of no reply at all
    double cut = 0;      // probability of a reply cut short
    double late = 0;     // probability of a late reply
    unsigned lateMs = 1500;
    int epmExe = 0;       // the first n EEPROM writes answer ERR_EXE
    int memWriteOk = -1;  // >= 0: memory writes after the first n answer ERR_EXE
    bool noStorage = false;
    bool Any() const { return noise > 0 || corrupt > 0 || drop > 0 || cut > 0 || late > 0; }
};

// "noise=0.01,corrupt=0.01,drop=0.005,cut=0.005,late=0.002:1500,epm-exe=3,
// memwrite-fail=2,nostorage".
// Throws kd::EKestError naming the bad item.
FaultConfig ParseFaults(const std::string& text);

class FaultRng {
  public:
    explicit FaultRng(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    double Uniform() { return static_cast<double>(Next() >> 11) / static_cast<double>(1ull << 53); }

  private:
    uint64_t state_;
};

// What happens to one reply.
struct FaultPlan {
    std::vector<uint8_t> noise;  // bytes sent before the reply
    bool corrupt = false;
    bool drop = false;
    size_t cutAt = 0;  // 0: whole reply, else only this many bytes
    unsigned lateMs = 0;
};

FaultPlan PlanFaults(const FaultConfig& config, FaultRng& rng, size_t replyBytes);
// Applies a plan to a reply frame; returns the bytes that go on the wire.
std::vector<uint8_t> ApplyFaults(const FaultPlan& plan, const std::vector<uint8_t>& reply);

}  // namespace kdsim
