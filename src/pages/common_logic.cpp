#include "pages/common_logic.h"

#include <array>
#include <climits>
#include <cmath>

#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"

namespace kd {

namespace {

// The table's text with its first "%d" replaced; nothing else of the text
// is taken as a format.
std::string WithNumber(std::string text, int n) {
    const size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(n));
    return text;
}

void EepromInit(TPageContext& ctx, int word) {
    try {
        ctx.Worker.Command(cmd::EEPROM_INIT,
                           PayloadWords(std::array<uint16_t, 1>{static_cast<uint16_t>(word)}));
    } catch (const ECommErrMissmatched&) {
        WriteLog(kLogError, "FACT_INIT recv missmathed; IGNORE");
    }
    WriteLog(kLogAction, "EEPROM_INIT(%d)", word);
}

}  // namespace

int ParseBaudText(std::string_view text) {
    size_t i = 0;
    double x = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        x = x * 10 + (text[i] - '0');
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            x += (text[i] - '0') * scale;
            scale *= 0.1;
            digits = true;
        }
    }
    if (!digits) return 0;
    if (i < text.size()) {
        if (text[i] == 'k' || text[i] == 'K')
            x *= 1000;
        else if (text[i] == 'm' || text[i] == 'M')
            x *= 1000000;
    }
    // "38.4" is 38.39999...: a rate a hair below a whole number is that number.
    const double nearest = std::round(x);
    const double t = std::abs(x - nearest) < 1e-6 ? nearest : std::trunc(x);
    if (t > INT_MAX) return 0;
    return static_cast<int>(t);
}

std::string VersionText(const TSensorVersion& v) {
    return Format("%04X:%04X:%04X", v.Fpga, v.Bios, v.Soft);
}

bool BankClearExecute(TPageContext& ctx, const TBankOps& ops) {
    const std::string text =
        WithNumber(ctx.Translate("bank_clear", "Clear current bank#%d."), ctx.CurrentBank() + 1);
    if (!ops.Confirm || !ops.Confirm(text)) return false;
    if (ops.Backup) ops.Backup("bankclear");
    EepromInit(ctx, 1);
    if (ops.Sleep) ops.Sleep(1000);
    ctx.Image.SetSensorModified(false);
    ctx.Image.SetFileModified(true);
    if (ops.ReloadCurrentBank) ops.ReloadCurrentBank();
    return true;
}

bool FactInitExecute(TPageContext& ctx, const TBankOps& ops) {
    const std::string text = ctx.Translate("fact_init", "Initialize to factory preset.");
    if (!ops.Confirm || !ops.Confirm(text)) return false;
    if (ops.Backup) ops.Backup("factinit");
    EepromInit(ctx, 0);
    if (ops.Disconnect) ops.Disconnect();
    return true;
}

void BankCopyExecute(const TBankOps& ops, int target, int source) {
    if (ops.BankCopy) ops.BankCopy(target, source);
}

}  // namespace kd
