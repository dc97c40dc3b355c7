#pragma once
// The comparison of two parameter sets as the operator reads them: one row per
// setting (group, label, value list, how the value is written), the text of
// every cell, and the differences between a file and the sensor. No Qt here.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "params/kest_param.h"

namespace kd {

enum class TCompareMap { None, Polarity, Trigger, Camera, Extract };

struct TCompareRow {
    const char* KeyName;  // key of the row; nullptr for the offset rows
    const char* Group;    // string-table name of the group caption
    int Sub;              // area, calculation or output number (0..5)
    const char* Label;    // string-table name of the row caption
    const char* List;     // a list's string-table name, a comma list itself, or nullptr
    int Kind;             // how the value is written (CompareCellText)
    TCompareMap Map;
    int Key;  // the key id (0 for the offset rows), resolved from KeyName
};

constexpr int kCompareRowCount = 125;
const std::array<TCompareRow, kCompareRowCount>& CompareRows();

// True for rows of Sys settings: one value shown in every bank.
bool IsSysRow(const TCompareRow& row);
// The channel offset key an output's offset or limit row shows in bank: the
// offset of the channel the sensor's output uses there; 0 for other rows and
// for an output without a valid channel.
int ShownOffsetKey(const TCompareRow& row, const TKestParam& sensor, int bank);
// The offset row of the output a row belongs to (a limit row of the analog
// output, which has none, gets one made up with the offset caption).
TCompareRow OffsetRowOf(const TCompareRow& row);
int MapCompareValue(TCompareMap map, int v);

// What the cell texts need of the program.
struct TCompareTexts {
    // A localised text, or def.
    std::function<std::string(std::string_view name, std::string_view def)> Translate;
    int DisplUnit = 0;     // 0 millimetres, 1 micrometres
    int DisplDecimal = 3;  // decimals shown
    char DecimalSeparator = '.';
};

// The text of one cell: the value of row in bank j of image, a unit after a
// tab character when it has one. sensor is the sensor's image (it gives the
// channels of the outputs); nullptr or an image never loaded gives "".
std::string CompareCellText(const TCompareRow& row, const TKestParam* image,
                            const TKestParam* sensor, int bank, const TCompareTexts& texts);

// Group caption (the text before its first blank) and row caption.
std::string CompareGroupText(const TCompareRow& row, const TCompareTexts& texts);
std::string CompareLabelText(const TCompareRow& row, const TCompareTexts& texts);

// Cell texts compare without regard to case.
bool SameCellText(std::string_view a, std::string_view b);

// One differing cell: row (index into CompareRows) and bank (0..7; Sys rows
// are listed once, with bank -1).
struct TCompareDiff {
    int Row;
    int Bank;
    std::string TextA;
    std::string TextB;
};

// The cells whose texts differ between a and b. Blocks of a that its file
// lacked (MissingBlocks) are left out: they hold no settings.
std::vector<TCompareDiff> CompareDiffs(const TKestParam& a, const TKestParam& b,
                                       const TKestParam& sensor, const TCompareTexts& texts);

// One line per difference: "BankN<TAB>group<TAB>label<TAB>A<TAB>B" ("Sys" for
// Sys rows); the unit follows its value after a blank.
std::string DiffLine(const TCompareDiff& d, const TCompareTexts& texts);

}  // namespace kd
