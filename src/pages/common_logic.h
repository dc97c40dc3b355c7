#pragma once
// The common setup page's rules without the widgets: the baud-rate text, the
// version text, when the output on-timing reaches the sensor, and the two
// bank operations that overwrite the sensor's settings (bank clear and the
// factory initialisation), each confirmed first and preceded by a backup.
#include <functional>
#include <string>
#include <string_view>

#include "params/sensor_version.h"
#include "shell/page_context.h"

namespace kd {

// The leading decimal number of a baud text, × 1000 after "k"/"K" and
// × 1000000 after "m"/"M", truncated: "38.4kbps" 38400, "2Mbps" 2000000.
// 0 when the text has no leading number or the rate does not fit an int.
int ParseBaudText(std::string_view text);

// "%04X:%04X:%04X" of the three version numbers.
std::string VersionText(const TSensorVersion& v);

// SET_GPIO_ONT is known from FPGA above 35, BIOS 46 and software above 33.
constexpr bool SendsOnTiming(const TSensorVersion& v) {
    return v.Fpga > 0x35 && v.Bios >= 0x46 && v.Soft > 0x33;
}

// What the bank operations need of the main window and its workflows.
struct TBankOps {
    // The shared OK/Cancel confirmation; true for OK.
    std::function<bool(const std::string& text)> Confirm;
    // A backup of the image before the sensor's settings are overwritten;
    // returns its path, throws when it cannot be written.
    std::function<std::string(const std::string& reason)> Backup;
    std::function<void(int target, int source)> BankCopy;
    std::function<void()> ReloadCurrentBank;
    std::function<void()> Disconnect;
    std::function<void(unsigned ms)> Sleep;  // the pause after a bank clear
    // The link's rate in bit/s (a closed port takes it at the next open);
    // returns the rate the port now uses.
    std::function<int(int baud)> SetBaud;
};

// "Clear current bank#%d." confirmed → backup → EEPROM_INIT(1) (a mismatched
// reply is logged and ignored) → 1 s → the bank read back. False when the
// operator cancelled.
bool BankClearExecute(TPageContext& ctx, const TBankOps& ops);
// "Initialize to factory preset." confirmed → backup → EEPROM_INIT(0) →
// disconnection. False when the operator cancelled.
bool FactInitExecute(TPageContext& ctx, const TBankOps& ops);
// Bank copy from source (0..7) to target (0..7, 8 all banks).
void BankCopyExecute(const TBankOps& ops, int target, int source);

}  // namespace kd
