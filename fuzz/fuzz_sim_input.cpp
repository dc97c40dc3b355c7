// kdsim's outside input: the --faults list, its other options and the
// --eeprom file. The first byte picks which; a bad input is refused with a
// message, a good one stays within its ranges.
#include <cstdint>
#include <string>

#include "common/kest_error.h"
#include "fuzz/fuzz_util.h"
#include "sim/sim_faults.h"
#include "sim/sim_model.h"
#include "sim/sim_options.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        switch (data[0] % 3) {
            case 0: {
                const kdsim::FaultConfig f = kdsim::ParseFaults(bytes);
                for (double p : {f.noise, f.corrupt, f.drop, f.cut, f.late})
                    Check(p >= 0 && p <= 1);
                Check(f.epmExe >= 0);
                break;
            }
            case 1: {
                const kdsim::SimOptions o = kdsim::ParseSimArgs(kdfuzz::SplitArgs(bytes));
                (void)o;
                break;
            }
            default: {
                kdsim::SensorModel model(kdsim::ModelConfig{});
                model.LoadEepromData(bytes, "fuzz.eeprom");
                Check(bytes.size() >= 2048);
                break;
            }
        }
    } catch (const kd::EKestError& e) {
        Check(e.what()[0] != '\0');
    }
    return 0;
}
