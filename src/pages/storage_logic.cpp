#include "pages/storage_logic.h"

#include <algorithm>

#include "common/kest_error.h"
#include "measure/measure_access.h"
#include "measure/measure_model.h"
#include "measure/value_text.h"
#include "params/param_key.h"

namespace kd {

std::string StorageChannelUnit(const TPageContext& ctx, int channel) {
    const TContextKeys keys(ctx);
    int area = channel;
    if (channel >= 4) area = keys.GetBank(channel == 4 ? "Op1.A" : "Op2.A");
    return ModeUnit(AreaMode(area, keys), ModeTextsOf(ctx));
}

std::string StorageThresholdUnit(const TPageContext& ctx) {
    return StorageChannelUnit(ctx, std::clamp(ctx.Image.GetSys(pk::StrStc), 0, 5));
}

std::optional<int> StorageThresholdOfText(const TPageContext& ctx, std::string_view text) {
    try {
        // Thousandths of a millimetre are micrometres: the value of the text
        // as a length in that unit is what the key holds.
        return ParseValue(text, StorageThresholdUnit(ctx));
    } catch (const EKestError&) {
        return std::nullopt;
    }
}

std::string StorageThresholdText(const TPageContext& ctx, int stored) {
    return FormatValue(stored, 3, StorageThresholdUnit(ctx));
}

std::string StorageTargetItem(const TPageContext& ctx, int channel, const std::string& name) {
    return name + SourceText(channel, ModeTextsOf(ctx), TContextKeys(ctx));
}

}  // namespace kd
