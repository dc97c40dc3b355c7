#pragma once
// Writing chosen differences of a parameter file to the sensor: the changes
// the operator chose, a backup of the sensor's settings first, only the words
// that change, the touched banks made permanent, and a read-back that shows
// the sensor now holds what was chosen. No Qt here.
#include <functional>
#include <string>
#include <vector>

#include "compare/compare_rows.h"
#include "shell/session/kest_session.h"

namespace kd {

// One setting to change: key in bank (-1 for a Sys key), from the sensor's
// value to the file's.
struct TApplyChange {
    int Row;   // index into CompareRows(): the row the change was chosen through
    int Key;   // the row's key, or the channel offset its value is shown with
    int Bank;  // 0..7, or -1 for a Sys key
    int From;
    int To;
};

// The settings whose values differ between file and sensor among the cells
// chosen(row, bank) accepts (bank -1 for Sys rows), each key once. A cell
// stands for what its value is made of: an offset row for the offset of the
// channel the sensor's output uses, a limit row for its limit and that offset.
// Blocks the file lacked are never offered.
std::vector<TApplyChange> PlanApply(const TKestParam& file, const TKestParam& sensor,
                                    const std::function<bool(int row, int bank)>& chosen);

// "Bank3  Camera  Shutter: 100 usec -> 200 usec", one line per change (a
// channel offset under the offset caption of its output).
std::string ChangeListText(const std::vector<TApplyChange>& changes, const TKestParam& file,
                           const TKestParam& sensor, const TCompareTexts& texts);

struct TApplyResult {
    std::string Backup;             // path of the backup written first
    std::vector<int> BanksWritten;  // banks written and made permanent, ascending
    bool SysWritten = false;
    int WordsWritten = 0;
};

// Writes the changes to the sensor through session (which must be connected
// with image in step) and refreshes the pages. A failure throws EKestError
// (texts localised through texts.Translate) naming the blocks made permanent,
// the one written but not made permanent or not completely written, those not
// written, and the backup; the image then holds what the sensor was told, a
// block in doubt is marked not whole.
TApplyResult ApplyChanges(TKestSession& session, TKestThread& thread, TKestParam& image,
                          const std::vector<TApplyChange>& changes, const TCompareTexts& texts);

}  // namespace kd
