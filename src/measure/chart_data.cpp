#include "measure/chart_data.h"

#include <algorithm>
#include <chrono>
#include <ctime>

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

double NowDays() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    const double ms =
        static_cast<double>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    // 25569 days from 1899-12-30 to 1970-01-01; tm_gmtoff moves UTC to local.
    return 25569.0 + (static_cast<double>(secs) + local.tm_gmtoff + ms / 1000.0) / 86400.0;
}

}  // namespace kd
