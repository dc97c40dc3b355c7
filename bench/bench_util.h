#pragma once
// Pieces the benchmarks share: a median timing and the chart's test data.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/clock.h"
#include "measure/chart_data.h"

namespace kdbench {

// Median of `runs` timings of f in milliseconds, after one warm-up run.
inline double MedianMs(int runs, const std::function<void()>& f) {
    std::vector<double> t;
    f();
    for (int i = 0; i < runs; ++i) {
        const uint64_t a = kd::TickUs();
        f();
        t.push_back((kd::TickUs() - a) / 1000.0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Six channels of sine waves, 3500 samples 2 ms apart up to now (in days).
inline void FillChart(kd::TChartData& data, double now) {
    for (int i = 0; i < 3500; ++i) {
        for (int ch = 0; ch < 6; ++ch)
            data.SetValue(ch, static_cast<int32_t>(20000 * std::sin(i * 0.02 + ch) + ch * 3000));
        data.SetTime(now - (3499 - i) * 2.0 / 86400000.0);
        data.Advance();
    }
}

}  // namespace kdbench
