#include "measure/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/log.h"

namespace kd {

ChartValueGrid ChartValueGridFor(int height, double vScale, int displUnit) {
    ChartValueGrid g;
    const int half = height / 2;
    g.Labels = half * 10000 / 50000 > 9;
    // Bounded loop: a bitmap of height 0 or 1 would never reach the top.
    for (int64_t v = 0; v <= 2000000000LL; v += 10000) {
        const int64_t s = v * half / 50000;
        const int yUp = TruncInt(half - s * vScale);
        if (yUp < 0) break;
        ChartValueLine line;
        line.Value = static_cast<int>(v);
        line.YUp = yUp;
        line.YDown = TruncInt(half + s * vScale);
        line.Solid = v % 100000 == 0;
        if (g.Labels) {
            std::string t = displUnit == 1 ? std::to_string(v) : Format("%.3f", v * 0.001);
            line.UpText = "+" + t;
            line.DownText = "-" + t;
        }
        g.Lines.push_back(std::move(line));
        if (half <= 0 || !(vScale > 0)) break;
    }
    return g;
}

std::vector<ChartTimeLine> ChartTimeGridFor(int width, double hScale) {
    std::vector<ChartTimeLine> out;
    if (!(hScale > 0)) return out;
    double x = width;
    int c = 0;
    int64_t m = 0;
    // Labels on every line from 51 pixels of spacing on, else on every tenth.
    const bool everyLine = hScale * 100 > 50;
    while (x >= 0) {
        if (m > 0) {
            ChartTimeLine l;
            l.X = TruncInt(x);
            l.Solid = c % 60 == 0;
            l.Labeled = everyLine || c % 10 == 0;
            if (l.Labeled) l.Text = Format("-%.3f", m * 0.001);
            out.push_back(std::move(l));
        }
        m += 1000;
        x -= hScale * 100;
        ++c;
    }
    return out;
}

void CollapseColumns(std::span<const PixelPoint> in, std::vector<PixelPoint>& out) {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        size_t j = i + 1;
        size_t lo = i, hi = i;
        while (j < in.size() && in[j].X == in[i].X) {
            if (in[j].Y < in[lo].Y) lo = j;
            if (in[j].Y > in[hi].Y) hi = j;
            ++j;
        }
        const size_t last = j - 1;
        // First, then the extremes in the order they came, then the last.
        const size_t picks[4] = {i, std::min(lo, hi), std::max(lo, hi), last};
        size_t prev = SIZE_MAX;
        for (size_t k : picks) {
            if (k == prev) continue;
            prev = k;
            if (!out.empty() && out.back() == in[k]) continue;
            out.push_back(in[k]);
        }
        i = j;
    }
}

int ChartX(int width, double hScale, double now, double t) {
    double ageMs = std::trunc((now - t) * 86400000.0);
    return TruncInt(width - ageMs * hScale * 0.1);
}

int ChartY(int half, double vScale, int32_t v) {
    const int64_t s = static_cast<int64_t>(v) * half / 50000;
    return TruncInt(half - s * vScale);
}

ChartChannelPath ChartChannelPathFor(const TChartData& data, int ch, int width, int height,
                                     double hScale, double vScale, double now, size_t maxPoints) {
    ChartChannelPath path;
    if (ch < 0 || ch >= TChartData::kChannels || data.Count() <= 0 || data.Head() <= 0) return path;
    if (maxPoints < 2) maxPoints = 2;
    const int half = height / 2;
    const int64_t newest = data.Head() - 1;
    const int32_t nv = data.Value(ch, newest);
    if (nv != kNoValue) {
        path.HasLabel = true;
        path.LabelEnd = {ChartX(width, hScale, now, data.Time(newest)), ChartY(half, vScale, nv)};
        path.LabelText = Format("%.3f", nv * 0.001);
    }
    std::vector<PixelPoint> cur;
    auto flush = [&]() {
        if (!cur.empty()) path.Pieces.push_back(std::move(cur));
        cur.clear();
    };
    int walked = 0;
    for (int64_t i = data.Head() - 2; i >= 0 && walked < data.Count(); --i, ++walked) {
        if (!data.Readable(i)) break;
        const int32_t v = data.Value(ch, i);
        if (v == kNoValue) {
            flush();
            continue;
        }
        PixelPoint p{ChartX(width, hScale, now, data.Time(i)), ChartY(half, vScale, v)};
        if (cur.size() == maxPoints) {
            PixelPoint last = cur.back();
            flush();
            cur.push_back(last);
        }
        cur.push_back(p);
        if (p.X < 0) break;
    }
    flush();
    return path;
}

std::vector<int> StackChartTags(std::span<const int> tops, int textHeight, int chartHeight) {
    std::vector<int> out(tops.begin(), tops.end());
    std::vector<size_t> order(out.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return out[a] < out[b]; });
    for (size_t k = 1; k < order.size(); ++k)
        out[order[k]] = std::max(out[order[k]], out[order[k - 1]] + textHeight);
    int limit = chartHeight - textHeight;
    for (size_t k = order.size(); k-- > 0;) {
        const size_t i = order[k];
        if (tops[i] >= chartHeight) continue;  // a value below the chart
        out[i] = std::min(out[i], limit);
        limit = out[i] - textHeight;
    }
    return out;
}

}  // namespace kd
