#include "storage/profile_set.h"

#include <algorithm>
#include <cstdio>

namespace kd {

TProfileSet::TProfileSet()
    : points_(
          std::make_unique_for_overwrite<TStoredPoint[]>(size_t{kProfileRing} * kProfilePoints)),
      counts_(kProfileRing, 0),
      stamps_(kProfileRing, 0),
      times_(kProfileRing, 0) {}

void TProfileSet::Clear() {
    write_ = 0;
    held_ = 0;
    lengthMs_ = 0;
}

int TProfileSet::MaxCount() const {
    int m = 0;
    for (int i = 0; i < held_; ++i) m = std::max(m, Count(i));
    return m;
}

void TProfileSet::Advance() {
    // The write index keeps counting; the ring keeps the newest 8000.
    ++write_;
    if (write_ >= 2 * kProfileRing) write_ -= kProfileRing;
    held_ = std::min(held_ + 1, kProfileRing);
}

void TProfileSet::AddFetched(std::span<const uint16_t> words, int count) {
    const int slot = write_ % kProfileRing;
    TStoredPoint* out = SlotPoints(slot);
    count = std::clamp(count, 0, std::min<int>(kProfilePoints, int(words.size() / 2) - 1));
    int kept = 0;
    bool lastKept = false;
    for (int i = 0; i < count; ++i) {
        const auto x = static_cast<int16_t>(words[size_t(2 + 2 * i)]);
        const auto z = static_cast<int16_t>(words[size_t(3 + 2 * i)]);
        if (z != kGapCoord) {
            out[kept++] = {x, z};
            lastKept = true;
        } else if (lastKept) {
            out[kept++] = kGapPoint;
            lastKept = false;
        }
    }
    counts_[size_t(slot)] = kept;
    stamps_[size_t(slot)] = words.size() > 1 ? uint16_t(words[1] & 0x7FFF) : 0;
    Advance();
}

void TProfileSet::AddLoaded(uint32_t time, std::span<const TStoredPoint> points) {
    const int slot = write_ % kProfileRing;
    const size_t n = std::min<size_t>(points.size(), kProfilePoints);
    std::copy_n(points.begin(), n, SlotPoints(slot));
    counts_[size_t(slot)] = int(n);
    stamps_[size_t(slot)] = uint16_t(time & 0x7FFF);
    times_[size_t(slot)] = time;
    Advance();
}

void TProfileSet::ComputeTimes() {
    lengthMs_ = 0;
    if (held_ < 1) return;
    uint32_t sum = 0;
    times_[size_t(Slot(0))] = 0;
    for (int i = 1; i < held_; ++i) {
        const uint32_t p = Stamp(i - 1), c = Stamp(i);
        sum += c - p;  // unsigned: a wrap is made good below
        if (p > c) sum += 0x8000;
        if (p == c) sum += 10;
        times_[size_t(Slot(i))] = sum;
    }
    lengthMs_ = sum / 10;
}

std::string WriteProfilesCsv(const TProfileSet& set, bool firstOnly) {
    std::string out = "#sec";
    const int maxCount = set.MaxCount();
    char buf[48];
    for (int n = 0; n < maxCount; ++n) {
        const int len = std::snprintf(buf, sizeof buf, " ,x%d,y%d", n, n);
        out.append(buf, size_t(len));
    }
    out += "\r\n";
    const int lines = firstOnly ? std::min(set.Held(), 1) : set.Held();
    for (int i = 0; i < lines; ++i) {
        int len = std::snprintf(buf, sizeof buf, "%u", set.Time(i));
        out.append(buf, size_t(len));
        for (const TStoredPoint& p : set.Points(i)) {
            if (p.X == kGapCoord || p.Z == kGapCoord) {
                out += " ,,";
                continue;
            }
            len = std::snprintf(buf, sizeof buf, " ,%d,%d", p.X, p.Z);
            out.append(buf, size_t(len));
        }
        out += "\r\n";
    }
    return out;
}

TCsvResult ReadProfilesCsv(std::string_view text, TProfileSet& set) {
    set.Clear();
    TCsvResult result;
    std::vector<TStoredPoint> pts;
    int number = 0;
    while (!text.empty() && result.Ok) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line.front() == '#') continue;
        const auto fields = SplitCsvFields(line, 1 + 2 * kProfilePoints);
        auto fail = [&](const std::string& why) {
            result = {false, number, "line " + std::to_string(number) + ": " + why};
        };
        int64_t t = 0;
        if (!ParseScaledField(fields[0], 4, TScaled::HalfUp, t) || t < 0 || t > 0xFFFFFFFFll) {
            fail("not a time: '" + std::string(fields[0]) + "'");
            break;
        }
        pts.clear();
        for (size_t f = 1; f < fields.size() && result.Ok; f += 2) {
            if (fields[f].empty() || f + 1 >= fields.size() || fields[f + 1].empty()) {
                pts.push_back(kGapPoint);
                continue;
            }
            // A point in x makes both fields millimetres, truncated to micrometres.
            const bool mm = fields[f].find('.') != std::string_view::npos;
            const bool zPoint = fields[f + 1].find('.') != std::string_view::npos;
            int64_t x = 0, z = 0;
            if (!ParseScaledField(fields[f], 3, TScaled::Trunc, x) ||
                !ParseScaledField(fields[f + 1], 3, TScaled::Trunc, z) || (!mm && zPoint)) {
                fail("not a point: '" + std::string(fields[f]) + "," + std::string(fields[f + 1]) +
                     "'");
                break;
            }
            if (mm && !zPoint) z = z > -100000 && z < 100000 ? z * 1000 : kGapCoord * 1000;
            if (x < -32768 || x > 32767 || z < -32768 || z > 32767) {
                fail("point out of range: '" + std::string(fields[f]) + "," +
                     std::string(fields[f + 1]) + "'");
                break;
            }
            pts.push_back({int32_t(x), int32_t(z)});
        }
        if (!result.Ok) break;
        set.AddLoaded(uint32_t(t), pts);
    }
    set.ComputeTimes();
    return result;
}

uint32_t DepthColor(int z, int low, int high) {
    if (low >= high) return 0x0000FF;
    if (z < low) return 0xFFFFFF;
    if (z > high) return 0x808080;
    const int a = int((int64_t(z) - low) * 300 / (int64_t(high) - low));
    const uint32_t d = uint32_t((a % 60) * 255 / 60), e = 255 - d;
    auto rgb = [](uint32_t r, uint32_t g, uint32_t b) { return (b << 16) | (g << 8) | r; };
    if (a < 60) return rgb(255, d, 0);
    if (a < 120) return rgb(e, 255, 0);
    if (a < 180) return rgb(0, 255, d);
    if (a < 240) return rgb(0, e, 255);
    if (a < 300) return rgb(d, 0, 255);
    return rgb(255, 0, e);
}

int ColorBarLimit(int y, int h) {
    if (h <= 0) return 0;
    const int v = int(int64_t(y) * 52000 / h) - 26000;
    return v / 100 * 100;
}

}  // namespace kd
