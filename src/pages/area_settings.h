#pragma once
// What the area page and kdctl share about the four measurement areas: the
// function list by the sensor's software, the functions drawn with a middle
// line, and the rectangle's way to the sensor (ordered and clamped, sent as
// AREA_RECT, the accepted edges read back into the image).
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

// The typed edges of area 0..3, ordered and clamped to the keys' limits. With
// Sync on they go out with AREA_RECT and the edges sent are stored (nothing
// is stored when the sensor refuses them: "SetArea; invalid rect"); with
// Sync off they are stored as they are. Other link failures are thrown.
TAreaRectResult ApplyAreaRect(TPageContext& ctx, int area, int left, int top, int right,
                              int bottom);

// "A1.Left" .. "A4.Bottom" and the others: the key of area 0..3.
std::string AreaKey(int area, const char* field);

}  // namespace kd
