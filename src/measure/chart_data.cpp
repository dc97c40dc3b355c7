#include "measure/chart_data.h"

#include <algorithm>

#include "common/kest_error.h"

namespace kd {

TChartData::TChartData(int capacity) : capacity_(std::max(capacity, 1)) {
    for (auto& v : values_) v.assign(static_cast<size_t>(capacity_), 0);
    times_.assign(static_cast<size_t>(capacity_), 0.0);
}

void TChartData::Clear() {
    for (auto& v : values_) std::fill(v.begin(), v.end(), 0);
    std::fill(times_.begin(), times_.end(), 0.0);
    head_ = 0;
    count_ = 0;
}

void TChartData::SetValue(int ch, int32_t v) {
    if (ch < 0 || ch >= kChannels) throw EKestError("");
    values_[static_cast<size_t>(ch)][Slot(head_)] = v;
}

void TChartData::SetTime(double t) {
    times_[Slot(head_)] = t;
}

void TChartData::Advance() {
    ++head_;
    if (head_ < capacity_)
        count_ = static_cast<int>(head_);
    else
        count_ = capacity_ - 1;
}

bool TChartData::Readable(int64_t i) const {
    return i >= 0 && i >= head_ - count_ - 1 && i < head_;
}

int32_t TChartData::Value(int ch, int64_t i) const {
    if (ch < 0 || ch >= kChannels || !Readable(i)) throw EKestError("");
    return values_[static_cast<size_t>(ch)][Slot(i)];
}

double TChartData::Time(int64_t i) const {
    if (!Readable(i)) throw EKestError("");
    return times_[Slot(i)];
}

}  // namespace kd
