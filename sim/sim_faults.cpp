#include "sim/sim_faults.h"

#include <cstdlib>
#include <sstream>

#include "common/kest_error.h"

namespace kdsim {

namespace {

double Probability(const std::string& name, const std::string& value) {
    char* end = nullptr;
    const double p = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(p >= 0.0 && p <= 1.0)) {
        throw kd::EKestError("fault '" + name + "': '" + value + "' is not a probability 0..1");
    }
    return p;
}

long Integer(const std::string& name, const std::string& value, long max) {
    char* end = nullptr;
    const long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || v < 0 || v > max) {
        throw kd::EKestError("fault '" + name + "': '" + value + "' is not a number 0.." +
                             std::to_string(max));
    }
    return v;
}

}  // namespace

FaultConfig ParseFaults(const std::string& text) {
    FaultConfig config;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (name == "nostorage" && eq == std::string::npos) {
            config.noStorage = true;
        } else if (name == "noise") {
            config.noise = Probability(name, value);
        } else if (name == "corrupt") {
            config.corrupt = Probability(name, value);
        } else if (name == "drop") {
            config.drop = Probability(name, value);
        } else if (name == "cut") {
            config.cut = Probability(name, value);
        } else if (name == "late") {
            const size_t colon = value.find(':');
            config.late = Probability(name, value.substr(0, colon));
            if (colon != std::string::npos) {
                config.lateMs =
                    static_cast<unsigned>(Integer(name, value.substr(colon + 1), 60000));
            }
        } else if (name == "epm-exe") {
            config.epmExe = static_cast<int>(Integer(name, value, 1000000));
        } else if (name == "memwrite-fail") {
            config.memWriteOk = static_cast<int>(Integer(name, value, 1000000));
        } else {
            throw kd::EKestError(
                "unknown fault '" + item +
                "' (noise, corrupt, drop, cut, late, epm-exe, memwrite-fail, nostorage)");
        }
    }
    return config;
}

uint64_t FaultRng::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

FaultPlan PlanFaults(const FaultConfig& config, FaultRng& rng, size_t replyBytes) {
    // Always the same draws, whatever comes out, so that runs stay in step.
    const double dNoise = rng.Uniform(), dCorrupt = rng.Uniform(), dDrop = rng.Uniform();
    const double dCut = rng.Uniform(), dLate = rng.Uniform();
    const uint64_t extra = rng.Next();
    FaultPlan plan;
    if (dDrop < config.drop) {
        plan.drop = true;
        return plan;
    }
    if (dNoise < config.noise) {
        const size_t n = 1 + extra % 8;  // at most 8, so a receiver may skip them silently
        uint64_t bits = extra;
        for (size_t i = 0; i < n; ++i) {
            bits = bits * 6364136223846793005ull + 1442695040888963407ull;
            uint8_t b = static_cast<uint8_t>(bits >> 56);
            if (b == 0x02) b = 0x55;  // never a start byte
            plan.noise.push_back(b);
        }
    }
    plan.corrupt = dCorrupt < config.corrupt;
    if (dCut < config.cut && replyBytes > 1) plan.cutAt = 1 + (extra >> 8) % (replyBytes - 1);
    if (dLate < config.late) plan.lateMs = config.lateMs;
    return plan;
}

std::vector<uint8_t> ApplyFaults(const FaultPlan& plan, const std::vector<uint8_t>& reply) {
    if (plan.drop) return {};
    std::vector<uint8_t> out = plan.noise;
    size_t start = out.size();
    out.insert(out.end(), reply.begin(), reply.end());
    if (plan.corrupt && !reply.empty()) out.back() ^= 0x5A;
    if (plan.cutAt > 0 && plan.cutAt < reply.size()) out.resize(start + plan.cutAt);
    return out;
}

}  // namespace kdsim
