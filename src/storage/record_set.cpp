#include "storage/record_set.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace kd {

void TRecordSet::Reset(int n) {
    n = std::max(n, 0);
    for (auto& v : Values) v.assign(static_cast<size_t>(n), kNoStoredValue);
    Stamps.assign(static_cast<size_t>(n), 0);
    Count = 0;
    Max.fill(std::numeric_limits<int32_t>::min());
    Min.fill(std::numeric_limits<int32_t>::max());
    TriggerMark = 0;
}

void TRecordSet::Put(int i, uint32_t stamp, const std::array<int32_t, kStoreChannels>& v) {
    const auto k = static_cast<size_t>(i);
    Stamps[k] = stamp;
    for (int c = 0; c < kStoreChannels; ++c) {
        Values[static_cast<size_t>(c)][k] = v[static_cast<size_t>(c)];
        if (v[static_cast<size_t>(c)] == kNoStoredValue) continue;
        Max[static_cast<size_t>(c)] =
            std::max(Max[static_cast<size_t>(c)], v[static_cast<size_t>(c)]);
        Min[static_cast<size_t>(c)] =
            std::min(Min[static_cast<size_t>(c)], v[static_cast<size_t>(c)]);
    }
}

void TRecordSet::Fill(std::span<const uint16_t> words, int n, int startPos) {
    n = std::clamp(n, 0, static_cast<int>(words.size() / kRecordWords));
    Reset(n);
    auto value = [&](size_t rec, int k) {
        const size_t w = rec * kRecordWords + 2 * static_cast<size_t>(k);
        return static_cast<uint32_t>(words[w]) | (static_cast<uint32_t>(words[w + 1]) << 16);
    };
    for (int i = 0; i < n; ++i) {
        std::array<int32_t, kStoreChannels> v{};
        for (int c = 0; c < kStoreChannels; ++c)
            v[static_cast<size_t>(c)] = static_cast<int32_t>(value(static_cast<size_t>(i), c));
        Put(i, value(static_cast<size_t>(i), 6), v);
    }
    Count = n;
    TriggerMark = -startPos;
}

uint32_t TRecordSet::SpanMs() const {
    if (Count < 2) return 0;
    return (Stamps[static_cast<size_t>(Count - 1)] - Stamps[0]) / 10;
}

TValueRange RangeOfRecords(const TRecordSet& set) {
    TValueRange r;
    int64_t low = std::numeric_limits<int32_t>::max(), high = std::numeric_limits<int32_t>::min();
    bool any = false;
    for (int c = 0; c < kStoreChannels; ++c) {
        if (set.Min[static_cast<size_t>(c)] > set.Max[static_cast<size_t>(c)]) continue;
        any = true;
        low = std::min<int64_t>(low, set.Min[static_cast<size_t>(c)]);
        high = std::max<int64_t>(high, set.Max[static_cast<size_t>(c)]);
    }
    if (!any) return r;
    const int64_t d = high - low;
    const int64_t widen = d >= 1000 ? d / 10 : 500;
    r.Low = static_cast<double>(low - widen);
    r.High = static_cast<double>(high + widen);
    return r;
}

std::string WriteRecordsCsv(const TRecordSet& set) {
    std::string out = "#sec,A1,A2,A3,A4,Op1,Op2\r\n";
    out.reserve(out.size() + static_cast<size_t>(set.Count) * 48);
    char buf[32];
    for (int i = 0; i < set.Count; ++i) {
        const auto k = static_cast<size_t>(i);
        int len = std::snprintf(buf, sizeof buf, "%u", set.Stamps[k] - set.Stamps[0]);
        out.append(buf, static_cast<size_t>(len));
        for (int c = 0; c < kStoreChannels; ++c) {
            out += ", ";
            const int32_t v = set.Values[static_cast<size_t>(c)][k];
            if (v == kNoStoredValue) continue;
            len = std::snprintf(buf, sizeof buf, "%d", v);
            out.append(buf, static_cast<size_t>(len));
        }
        out += "\r\n";
    }
    return out;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The lines of a text, CR LF or LF ended; the line numbers count from 1.
template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
    int number = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!fn(line, ++number)) return;
    }
}

int CountLines(std::string_view text) {
    int n = 0;
    ForEachLine(text, [&](std::string_view, int) { return ++n, true; });
    return n;
}

}  // namespace

std::vector<std::string_view> SplitCsvFields(std::string_view line, size_t maxFields) {
    std::vector<std::string_view> fields;
    while (fields.size() < maxFields) {
        const size_t comma = line.find(',');
        fields.push_back(Trim(line.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        line.remove_prefix(comma + 1);
    }
    return fields;
}

bool ParseScaledField(std::string_view field, int digits, TScaled mode, int64_t& out) {
    if (field.empty()) return false;
    bool negative = false;
    if (field.front() == '+' || field.front() == '-') {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    const size_t point = field.find('.');
    const std::string_view whole = field.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : field.substr(point + 1);
    if (whole.empty() && fraction.empty()) return false;
    auto digitsOnly = [](std::string_view t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digitsOnly(whole) || !digitsOnly(fraction)) return false;
    constexpr int64_t kLimit = int64_t{1} << 52;  // far beyond any value of the files
    int64_t n = 0;
    for (char c : whole) {
        n = n * 10 + (c - '0');
        if (n > kLimit) return false;
    }
    if (point == std::string_view::npos) {
        out = negative ? -n : n;
        return true;
    }
    // n * 10^digits plus the first `digits` decimals; the rest is a fraction
    // r of one unit, compared with one half.
    for (size_t i = 0; i < size_t(digits); ++i) {
        n = n * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
        if (n > kLimit) return false;
    }
    int rest = -1;  // sign of r - 1/2
    if (fraction.size() > size_t(digits)) {
        const std::string_view tail = fraction.substr(size_t(digits));
        const bool moreAfterFive = tail.find_first_not_of('0', 1) != std::string_view::npos;
        rest = tail[0] > '5' || (tail[0] == '5' && moreAfterFive) ? 1 : tail[0] == '5' ? 0 : -1;
    }
    if (mode == TScaled::Trunc) {
        out = negative ? -n : n;
        return true;
    }
    // floor(y + 0.5) for y = +-(n + r): the rule of the files for every value
    // it reads right; a negative value whose y + 0.5 is not whole is not
    // moved toward zero ("-0.056" stays -56).
    if (!negative)
        out = rest >= 0 ? n + 1 : n;
    else
        out = rest > 0 ? -(n + 1) : -n;
    return true;
}

TCsvResult ReadRecordsCsv(std::string_view text, TRecordSet& set) {
    set.Reset(CountLines(text));
    TCsvResult result;
    int n = 0;
    ForEachLine(text, [&](std::string_view line, int number) {
        if (Trim(line).empty() || line.front() == '#') return true;
        const auto fields = SplitCsvFields(line, 7);
        auto fail = [&](const std::string& why) {
            result = {false, number, "line " + std::to_string(number) + ": " + why};
            return false;
        };
        int64_t t = 0;
        if (!ParseScaledField(fields[0], 4, TScaled::HalfUp, t))
            return fail("not a time: '" + std::string(fields[0]) + "'");
        if (t < 0 || t > 0xFFFFFFFFll)
            return fail("time out of range: '" + std::string(fields[0]) + "'");
        std::array<int32_t, kStoreChannels> v;
        v.fill(kNoStoredValue);
        for (size_t c = 1; c < fields.size(); ++c) {
            if (fields[c].empty()) continue;
            int64_t x = 0;
            if (!ParseScaledField(fields[c], 3, TScaled::HalfUp, x))
                return fail("not a value: '" + std::string(fields[c]) + "'");
            if (x < std::numeric_limits<int32_t>::min() || x >= kNoStoredValue)
                return fail("value out of range: '" + std::string(fields[c]) + "'");
            v[c - 1] = static_cast<int32_t>(x);
        }
        set.Put(n++, static_cast<uint32_t>(t), v);
        set.Count = n;
        return true;
    });
    set.Count = n;
    set.TriggerMark = 0;
    return result;
}

std::string AutoSaveFileName(const std::string& name, int year, int month, int day, int hour,
                             int minute, int second) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    std::string base = name;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        base = name.substr(0, dot);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d.csv", year % 100, month, day, hour,
                  minute, second);
    return base + stamp;
}

std::string AutoSaveFileNameNow(const std::string& name) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return AutoSaveFileName(name, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                            t.tm_sec);
}

}  // namespace kd
