#pragma once
// The data storage record set: six channel values and a time stamp per
// record, with each channel's extremes and the trigger mark; its CSV file.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kd {

constexpr int kStoreChannels = 6;
constexpr int32_t kNoStoredValue = 0x7FFFFFFF;
constexpr int kRecordWords = 16;  // eight 32-bit values, low word first
// Time stamps count 100 us; two records more than this apart are not joined.
constexpr uint32_t kJoinLimitStamps = 1000;

struct TRecordSet {
    std::array<std::vector<int32_t>, kStoreChannels> Values;
    std::vector<uint32_t> Stamps;
    int Count = 0;
    std::array<int32_t, kStoreChannels> Max{};
    std::array<int32_t, kStoreChannels> Min{};
    int TriggerMark = 0;

    // Re-allocates for n records and resets the extremes.
    void Reset(int n);
    // Records [0, n) of raw storage words (n * 16 words); trigger = -startPos.
    void Fill(std::span<const uint16_t> words, int n, int startPos);
    // One record's values into slot i (extremes updated).
    void Put(int i, uint32_t stamp, const std::array<int32_t, kStoreChannels>& v);
    // (last stamp - first) / 10 in ms; 0 for fewer than two records.
    uint32_t SpanMs() const;
};

// Visible value range after a fetch or load: the extremes of every channel,
// widened by a tenth of their distance, or by 500 when that is below 1000.
struct TValueRange {
    double Low = -50000;
    double High = 50000;
};
TValueRange RangeOfRecords(const TRecordSet& set);

// A point drawn after the newer one at prevStamp is joined to it only when
// that one had a value and lies at most 100 ms later.
inline bool JoinedToNewer(bool newerHasValue, uint32_t newerStamp, uint32_t stamp) {
    return newerHasValue && newerStamp - stamp <= kJoinLimitStamps;
}

// The CSV file: header "#sec,A1,A2,A3,A4,Op1,Op2", CR LF line ends.
std::string WriteRecordsCsv(const TRecordSet& set);

// Outcome of reading a CSV file: the records read stay in the set whatever
// happens; Error names the first bad line with its number.
struct TCsvResult {
    bool Ok = true;
    int Line = 0;  // 1-based number of the bad line
    std::string Error;
};
TCsvResult ReadRecordsCsv(std::string_view text, TRecordSet& set);

// Largest CSV file the loads accept.
constexpr size_t kStorageCsvLimit = size_t{256} << 20;

// The auto-save name: the extension of name replaced by the local time
// "yymmddhhnnss" and ".csv" ("log.csv" -> "log061207153000.csv").
std::string AutoSaveFileName(const std::string& name, int year, int month, int day, int hour,
                             int minute, int second);
std::string AutoSaveFileNameNow(const std::string& name);

// CSV fields: split at commas, blanks around fields dropped, empty fields kept.
std::vector<std::string_view> SplitCsvFields(std::string_view line, size_t maxFields);
// How a field with a decimal point becomes an integer of 10^-digits units.
enum class TScaled : uint8_t {
    HalfUp,  // x * 10^digits + 0.5, rounded down: "0.0565" 57, "-0.0565" -56
    Trunc,   // x * 10^digits toward zero: "-0.0569" -56
};
// "5000" as an integer as it stands; "0.5" as a decimal scaled by 10^digits
// (4 for seconds in 100 us, 3 for thousandths), worked out on the digits
// themselves so that no binary rounding moves a value; false for anything
// else (no exponent, no blanks inside).
bool ParseScaledField(std::string_view field, int digits, TScaled mode, int64_t& out);

}  // namespace kd
