#pragma once
// The ring of recent samples of the six measurement channels that the polling
// tick fills and the chart frame draws.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kd {

class TChartData {
  public:
    static constexpr int kChannels = 6;
    static constexpr int kDefaultCapacity = 3000;

    explicit TChartData(int capacity = kDefaultCapacity);

    // Zeroes every slot; Head = Count = 0.
    void Clear();
    // Writes channel ch of the sample being built (slot Head mod Capacity).
    void SetValue(int ch, int32_t v);
    // Time stamp of the sample being built, in days.
    void SetTime(double t);
    // Completes the sample being built.
    void Advance();

    // Sample i (counted from the first sample after Clear); raises an
    // EKestError with an empty message outside the readable range.
    int32_t Value(int ch, int64_t i) const;
    double Time(int64_t i) const;
    // True when sample i may be read: Head - Count - 1 <= i < Head and i >= 0.
    bool Readable(int64_t i) const;

    int64_t Head() const { return head_; }
    int Count() const { return count_; }
    int Capacity() const { return capacity_; }

  private:
    std::size_t Slot(int64_t i) const { return static_cast<std::size_t>(i % capacity_); }

    int capacity_;
    int64_t head_ = 0;  // 64 bits: a 1 ms poll would wrap 32 bits after 24 days
    int count_ = 0;
    std::array<std::vector<int32_t>, kChannels> values_;
    std::vector<double> times_;
};

// The current local time as a date-time: days since 30 December 1899, the
// unit of the chart's time stamps.
double NowDays();

}  // namespace kd
