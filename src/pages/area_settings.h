#pragma once
// What the area page and kdctl share about the four measurement areas: the
// function list by the sensor's software, the functions drawn with a middle
// line, and the rectangle's way to the sensor (ordered and clamped, sent as
// AREA_RECT, the accepted edges read back into the image).
#include <optional>
#include <string>
#include <string_view>

#include "link/commands.h"
#include "shell/page_context.h"

namespace kd {

constexpr int kAreaFunctions = 13;  // Average .. Inflect
constexpr int kFuncInflect = 12;

// Software 1..74 has no "Inflect"; an unknown version (0) has the whole list.
bool HasInflect(const TSensorVersion& v);
int AreaFunctionCount(const TSensorVersion& v);
// Width, Edge Position and Edge Count are drawn with a middle line.
bool IsMidLineFunction(int func);

struct TAreaRectResult {
    AreaRect Held;         // ordered and clamped edges now held by the page
    bool Sent = false;     // AREA_RECT went out
    bool Refused = false;  // the sensor answered ERR_DATA: the keys kept their values
};

// The typed edges of area 0..3. With Sync on they go out with AREA_RECT,
// ordered and clamped to the keys' limits, and the edges sent are stored
// (nothing is stored when the sensor refuses them: "SetArea; invalid rect");
// with Sync off they are stored as typed, each held within its key's limits.
// Other link failures are thrown.
TAreaRectResult ApplyAreaRect(TPageContext& ctx, int area, int left, int top, int right,
                              int bottom);

// The rectangle edits' unit ("mm", or "um" for the micrometre display), an
// edge's text in it, and a typed text in micrometres (nothing: not a number).
std::string AreaUnit(const TPageContext& ctx);
std::string AreaEdgeText(const TPageContext& ctx, int um);
std::optional<int> ParseAreaEdge(const TPageContext& ctx, std::string_view text);

// "A1.Left" .. "A4.Bottom" and the others: the key of area 0..3.
std::string AreaKey(int area, const char* field);

}  // namespace kd
