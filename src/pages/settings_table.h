#pragma once
// The settings table: every setting of the settings and storage pages that
// follows the common rule, described once as data. A row names the control,
// the parameter key, how the control's value maps to the stored value, the
// command with its payload, the log line and when it is sent. The pages are
// views over the rows, kdctl get/set and the comparison window's writing of
// chosen differences use the same rows, so the window, a script and the
// comparison reach the sensor the same way.
//
// Control value: for a list the position (0-based), for an edit or a line
// the integer the control holds (micrometres, microseconds, counts: the key's
// value before the key's scale truncates it).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/param_key.h"
#include "shell/page_context.h"

namespace kd {

enum class TSettingKind : uint8_t {
    Edit,  // text typed into an edit box, checked on every change (the edit rule)
    List,  // position chosen in a drop-down list
    Line,  // a correction line dragged on the profile frame, sent on release
};

// What a payload word or a log argument carries.
enum class TSettingArg : uint8_t {
    None,
    Number,   // the row's channel, input or output number
    Control,  // the control value (list position, typed integer)
    Raw,      // the stored field: trunc(stored value / key scale)
    Code,     // the command code
};

enum class TSettingPayload : uint8_t {
    None,
    Word,        // one big-endian 16-bit word
    NumberWord,  // the number, then the word
    Long,        // one big-endian 32-bit value
};

enum class TSettingSend : uint8_t {
    Sync,      // only while Sync is on
    Linked,    // while LinkState is not 0
    LinkOpen,  // while the port is open, whatever Sync says
};

struct TSettingOutcome;

struct TSetting {
    const char* Page;     // page window ("TPTrigger")
    const char* Control;  // object name of the control
    const char* Key;      // parameter key name, as kdctl knows it
    int KeyId;
    TKeyBlock Block;  // Sys or Bank (the bank: the current one)
    TSettingKind Kind;
    int Number = 0;  // input, channel or output number for payload and log
    // List: stored value of each position; empty: the position itself.
    std::span<const int> Map = {};
    int Items = 0;  // list entries
    // List over bits: position 0 clears them, 1 sets them; shown as 0 when
    // none is set, 1 when all are, no selection otherwise.
    int Mask = 0;
    // A stored value that has no position leaves the list as it is (rather
    // than showing no selection).
    bool KeepUnknown = false;
    uint16_t Command = 0;
    TSettingPayload Payload = TSettingPayload::Word;
    TSettingArg PayloadArg = TSettingArg::Control;
    const char* Log = nullptr;  // printf format with up to two %d
    TSettingArg LogArgs[2] = {TSettingArg::Control, TSettingArg::None};
    TSettingSend Send = TSettingSend::Sync;
    // Accepted range of an edit or a line when it is not the key's own.
    std::optional<int> Min = std::nullopt, Max = std::nullopt;
    // Values beyond the range are not refused: Apply holds them to it (the
    // area rectangle, which the sensor orders and clamps).
    bool Clamps = false;
    // Whether the connected sensor takes the command (nullptr: always).
    bool (*Sendable)(const TSensorVersion&) = nullptr;
    // A rule between keys; returns why the value is refused, or nullptr.
    const char* (*Check)(const TPageContext&, int value) = nullptr;
    // A list whose positions map to the stored value by a rule rather than
    // by Map: the position the stored value shows, and the stored value a
    // position gives with the present one.
    std::optional<int> (*ShownOf)(int stored) = nullptr;
    int (*StoredOf)(int present, int position) = nullptr;
    // What follows the command once it went out (a read-back of the sensor).
    void (*AfterSend)(TPageContext&, int control) = nullptr;
    // The number of payload and log when it follows the image (an offset is
    // sent with the number of an output that evaluates its channel).
    int (*NumberOf)(const TPageContext&) = nullptr;
    // A setting that reaches the image and the sensor in a way of its own
    // (the area rectangle with the sensor's read-back): runs instead of the
    // common store and send, after the range and the rule between keys.
    TSettingOutcome (*Apply)(const TSetting&, TPageContext&, int value) = nullptr;
    // An edit whose text is not the control value itself (a length in the
    // display unit, a limit shown with its channel's offset, a time in
    // milliseconds, the storage threshold in its channel's unit): the text the
    // page shows for the image, and the control value of a typed text
    // (nothing: not a number). nullptr: the integer.
    std::string (*TextOf)(const TSetting&, const TPageContext&) = nullptr;
    std::optional<int> (*ValueOfText)(const TSetting&, const TPageContext&,
                                      std::string_view text) = nullptr;
};

// Every row, page by page.
std::span<const TSetting> SettingsTable();
// The rows of one page window, in table order.
std::vector<const TSetting*> SettingsOfPage(std::string_view page);
// A row by its key name (as kdctl takes it) or by its control's name.
const TSetting* FindSettingByKey(std::string_view key);
const TSetting* FindSettingByControl(std::string_view control);

// Accepted range of an edit's or a line's control value.
struct TSettingRange {
    int Min = 0;
    int Max = 0;
};
TSettingRange RangeOf(const TSetting& s);

// The key's value in the image (the current bank for bank keys).
int StoredValue(const TSetting& s, const TPageContext& ctx);
// What the control shows for the image: the list position (nothing when the
// stored value has none), or the edit's integer.
std::optional<int> ShownValue(const TSetting& s, const TPageContext& ctx);
// The control value that a stored key value maps back to (as ShownValue).
std::optional<int> ControlValueOf(const TSetting& s, int stored);

// The outcome of one change.
struct TSettingOutcome {
    enum TResult : uint8_t {
        NotANumber,  // red, nothing stored or sent
        OutOfRange,  // red, nothing stored or sent
        Refused,     // red: a rule between keys refused it (Why says which)
        Unchanged,   // black: equal to the image, nothing else
        Stored,      // black: in the image, and sent when Sent is set
    };
    TResult Result = NotANumber;
    bool Sent = false;
    int Value = 0;    // the control value taken
    std::string Why;  // for the refusals
    // The edit's text is black.
    bool Valid() const { return Result == Unchanged || Result == Stored; }
};

// The edit rule: the text converted as the page converts it (the row's
// ValueOfText, else a decimal integer: an optional sign, digits, nothing
// else); not a number or outside the range → red and nothing else; equal to
// the image → nothing else; otherwise stored and sent.
TSettingOutcome EditSetting(const TSetting& s, TPageContext& ctx, std::string_view text);
// The edit rule for an edit whose text the page converts itself (a decimal
// span): the range, the comparison with the image, store and send.
TSettingOutcome EditSettingValue(const TSetting& s, TPageContext& ctx, int value);
// A list position or a line position: checked, stored and sent, also when
// it equals the image (as the operator's choice and the line's release are).
TSettingOutcome ChooseSetting(const TSetting& s, TPageContext& ctx, int value);
// What the control shows for the image, as text: an edit's text as the page
// writes it, a list's position (empty without a selection).
std::string SettingText(const TSetting& s, const TPageContext& ctx);
// The text form of a control value for kdctl set: an edit's text goes through
// EditSetting, a list position or a line position through ChooseSetting.
TSettingOutcome ApplySettingText(const TSetting& s, TPageContext& ctx, std::string_view text);

// The stored value a control value gives, with the image's present word for
// the list over bits.
int StoredValueFor(const TSetting& s, const TPageContext& ctx, int control);
// Sends the row's command for a control value when its send rule allows it
// and logs it; returns whether it went out. Failures of the link are thrown.
bool SendSetting(const TSetting& s, TPageContext& ctx, int control);
// The payload and the log line of the row's command for a control value.
std::vector<uint8_t> SettingPayload(const TSetting& s, int control, int stored);
std::string SettingLogLine(const TSetting& s, int control, int stored);

// A decimal integer as the edits take it; nothing for any other text.
std::optional<int> ParseSettingInteger(std::string_view text);

}  // namespace kd
