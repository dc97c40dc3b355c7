#pragma once
// The storage settings that are more than a number: the threshold, typed in
// the unit of the start target's channel, and the start target list, whose
// items carry what each channel measures.
#include <optional>
#include <string>
#include <string_view>

#include "shell/page_context.h"

namespace kd {

// The unit of a channel's values (0..5): that of the area's function, or for
// a calculation that of the area its first operand names ("mm", "um", "deg.").
std::string StorageChannelUnit(const TPageContext& ctx, int channel);
// The unit of the threshold: that of the start target's channel.
std::string StorageThresholdUnit(const TPageContext& ctx);
// The stored thousandths of a typed threshold in that unit ("2.5" mm is
// 2500, "2500" um too); nothing for a text that is not a number.
std::optional<int> StorageThresholdOfText(const TPageContext& ctx, std::string_view text);
// The threshold as the page shows it ("2.500" in mm, "2500" in um).
std::string StorageThresholdText(const TPageContext& ctx, int stored);
// An item of the start target list: the channel's list name followed by what
// the measurement page says the channel measures ("Area1: ave").
std::string StorageTargetItem(const TPageContext& ctx, int channel, const std::string& name);

}  // namespace kd
