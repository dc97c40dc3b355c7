#pragma once
// The profile storage set: a ring of 8000 profiles of up to 1024 points with
// their 15-bit stamps, the times worked out from the stamps, its CSV file, and
// the depth colour map.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record_set.h"

namespace kd {

constexpr int kProfileRing = 8000;
constexpr int kProfilePoints = 1024;
constexpr int32_t kGapCoord = 0x7FFF;
constexpr uint32_t kStoredProfileStride = 2048;  // sensor words per stored profile

// Left uninitialised on purpose: the 64 MB of the ring are only touched
// where profiles are written.
struct TStoredPoint {
    int32_t X;
    int32_t Z;
};
constexpr TStoredPoint kGapPoint{kGapCoord, kGapCoord};

class TProfileSet {
  public:
    TProfileSet();

    // Entries in the set, oldest first (i in [0, Held())).
    int Held() const { return held_; }
    int WriteIndex() const { return write_; }
    int Count(int i) const { return counts_[Slot(i)]; }
    uint16_t Stamp(int i) const { return stamps_[Slot(i)]; }
    uint32_t Time(int i) const { return times_[Slot(i)]; }
    std::span<const TStoredPoint> Points(int i) const {
        return {points_.get() + size_t(Slot(i)) * kProfilePoints, size_t(Count(i))};
    }
    // Recording length in ms (the last time / 10).
    uint32_t LengthMs() const { return lengthMs_; }
    int MaxCount() const;

    void Clear();
    // A fetched profile (header word 0 the count << 5, word 1 the stamp, then
    // x, z pairs): leading gaps dropped, one gap kept after a valid point.
    void AddFetched(std::span<const uint16_t> words, int count);
    // A profile as loaded (points as they stand, stamp the low 15 bits of time).
    void AddLoaded(uint32_t time, std::span<const TStoredPoint> points);
    // time[i] from the stamps: differences summed, 0x8000 more where the stamp
    // wrapped, 10 more where two stamps are equal.
    void ComputeTimes();
    // Bytes the point arrays hold.
    static constexpr size_t PointBytes() {
        return size_t{kProfileRing} * kProfilePoints * sizeof(TStoredPoint);
    }

  private:
    int Slot(int i) const {
        return ((write_ - held_ + i) % kProfileRing + kProfileRing) % kProfileRing;
    }
    TStoredPoint* SlotPoints(int slot) { return points_.get() + size_t(slot) * kProfilePoints; }
    void Advance();

    std::unique_ptr<TStoredPoint[]> points_;
    std::vector<int> counts_;
    std::vector<uint16_t> stamps_;
    std::vector<uint32_t> times_;
    int write_ = 0;
    int held_ = 0;
    uint32_t lengthMs_ = 0;
};

// CSV: "#sec ,x0,y0 ,x1,y1 ..." and one line per profile; only the oldest
// profile when firstOnly (the single-profile view).
std::string WriteProfilesCsv(const TProfileSet& set, bool firstOnly);
// Replaces the set by the file's profiles; those read before a bad line stay.
TCsvResult ReadProfilesCsv(std::string_view text, TProfileSet& set);

// Depth colour (0xBBGGRR) of z between the near (low) and far (high) limits.
uint32_t DepthColor(int z, int low, int high);
// A colour-bar limit for a press at y of a bar h pixels high: y * 52000 / h
// - 26000 rounded toward zero to a multiple of 100.
int ColorBarLimit(int y, int h);

}  // namespace kd
