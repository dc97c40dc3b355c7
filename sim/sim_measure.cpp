#include "sim/sim_measure.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kdsim {

namespace {

constexpr double kPi = 3.14159265358979323846;

int16_t ClampResult(double v) {
    if (!std::isfinite(v)) return kNoResult;
    return static_cast<int16_t>(std::clamp(v, -32767.0, 32766.0));
}

int32_t ClampValue(double v) {
    if (!std::isfinite(v)) return kNoValue;
    return static_cast<int32_t>(std::clamp(v, -2.0e9, 2.0e9));
}

// Valid points with x inside the rectangle's columns, sorted by x.
std::vector<ProfilePt> Columns(std::span<const ProfilePt> profile, const AreaRect& r) {
    std::vector<ProfilePt> pts;
    for (const auto& p : profile) {
        if (p.z == kMissing || p.x == kMissing) continue;
        if (p.x < r.left || p.x > r.right) continue;
        pts.push_back(p);
    }
    std::stable_sort(pts.begin(), pts.end(),
                     [](const ProfilePt& a, const ProfilePt& b) { return a.x < b.x; });
    return pts;
}

std::vector<ProfilePt> Inside(const std::vector<ProfilePt>& cols, const AreaRect& r) {
    std::vector<ProfilePt> pts;
    for (const auto& p : cols) {
        if (p.z >= r.top && p.z <= r.bottom) pts.push_back(p);
    }
    return pts;
}

AreaOutcome Tilt(const std::vector<ProfilePt>& pts) {
    if (pts.size() < 2) return {};
    double sx = 0, sz = 0;
    for (const auto& p : pts) {
        sx += p.x;
        sz += p.z;
    }
    const double n = static_cast<double>(pts.size());
    const double mx = sx / n, mz = sz / n;
    double sxx = 0, sxz = 0;
    for (const auto& p : pts) {
        sxx += (p.x - mx) * (p.x - mx);
        sxz += (p.x - mx) * (p.z - mz);
    }
    if (sxx <= 0) return {};
    const double deg = std::atan(sxz / sxx) * 180.0 / kPi;
    return {ClampValue(std::trunc(deg * 1000.0)), ClampResult(std::round(deg * 128.0))};
}

AreaOutcome Diameter(const std::vector<ProfilePt>& pts) {
    // Algebraic circle fit: x^2 + z^2 + D x + E z + F = 0, least squares.
    if (pts.size() < 3) return {};
    double m[3][4] = {};
    for (const auto& p : pts) {
        const double x = p.x * 1e-3, z = p.z * 1e-3;  // mm keeps the sums well scaled
        const double row[3] = {x, z, 1.0};
        const double rhs = -(x * x + z * z);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] += row[i] * row[j];
            m[i][3] += row[i] * rhs;
        }
    }
    for (int c = 0; c < 3; ++c) {
        int piv = c;
        for (int r = c + 1; r < 3; ++r) {
            if (std::fabs(m[r][c]) > std::fabs(m[piv][c])) piv = r;
        }
        if (std::fabs(m[piv][c]) < 1e-12) return {};
        for (int k = 0; k < 4; ++k) std::swap(m[c][k], m[piv][k]);
        for (int r = 0; r < 3; ++r) {
            if (r == c) continue;
            const double f = m[r][c] / m[c][c];
            for (int k = c; k < 4; ++k) m[r][k] -= f * m[c][k];
        }
    }
    const double d = m[0][3] / m[0][0], e = m[1][3] / m[1][1], f = m[2][3] / m[2][2];
    const double r2 = (d * d + e * e) / 4.0 - f;
    if (!(r2 > 0)) return {};
    const double diameterUm = 2.0 * std::sqrt(r2) * 1000.0;
    return {ClampValue(std::trunc(diameterUm)), ClampResult(std::round(-d / 2.0 * 1000.0))};
}

AreaOutcome Inflect(const std::vector<ProfilePt>& cols, int threshold) {
    constexpr size_t kWin = 3;
    if (cols.size() < 2 * kWin + 1) return {};
    auto angle = [&](size_t a, size_t b) {
        return std::atan2(static_cast<double>(cols[b].z - cols[a].z),
                          static_cast<double>(cols[b].x - cols[a].x)) *
               180.0 / kPi;
    };
    double best = 0;
    size_t bestK = 0;
    for (size_t k = kWin; k + kWin < cols.size(); ++k) {
        const double bend = angle(k, k + kWin) - angle(k - kWin, k);
        if (threshold > 0 && bend >= threshold) return {cols[k].x, ClampResult(cols[k].x)};
        if (threshold < 0 && bend <= threshold) return {cols[k].x, ClampResult(cols[k].x)};
        if (threshold == 0 && std::fabs(bend) > best) {
            best = std::fabs(bend);
            bestK = k;
        }
    }
    if (threshold == 0 && best > 0) return {cols[bestK].x, ClampResult(cols[bestK].x)};
    return {};
}

}  // namespace

std::vector<double> MidLevelEdges(std::span<const ProfilePt> profile, const AreaRect& rect) {
    const auto cols = Columns(profile, rect);
    const double mid = (static_cast<double>(rect.top) + rect.bottom) / 2.0;
    std::vector<double> edges;
    for (size_t k = 1; k < cols.size(); ++k) {
        const auto& a = cols[k - 1];
        const auto& b = cols[k];
        const bool highA = a.z < mid, highB = b.z < mid;
        if (highA == highB) continue;
        const double t = (mid - a.z) / static_cast<double>(b.z - a.z);
        edges.push_back(a.x + t * (b.x - a.x));
    }
    return edges;
}

AreaOutcome MeasureArea(std::span<const ProfilePt> profile, const AreaSetup& s) {
    const AreaRect& r = s.rect;
    if (r.left > r.right || r.top > r.bottom) return {};
    const auto cols = Columns(profile, r);
    const auto in = Inside(cols, r);
    switch (s.func) {
        case kAverage: {
            if (in.empty()) return {};
            double sum = 0;
            for (const auto& p : in) sum += p.z;
            const double avg = std::trunc(sum / static_cast<double>(in.size()));
            return {ClampValue(avg), ClampResult(avg)};
        }
        case kPeakHeight:
        case kBottomHeight:
        case kPeakPosition:
        case kBottomPosition: {
            if (in.empty()) return {};
            const bool peak = s.func == kPeakHeight || s.func == kPeakPosition;
            auto it = std::min_element(in.begin(), in.end(), [&](const auto& a, const auto& b) {
                return peak ? a.z < b.z : a.z > b.z;
            });
            const bool height = s.func == kPeakHeight || s.func == kBottomHeight;
            const int v = height ? it->z : it->x;
            return {v, ClampResult(v)};
        }
        case kWidth:
        case kEdgePosition:
        case kEdgeCount: {
            const auto edges = MidLevelEdges(profile, r);
            if (s.func == kEdgeCount) {
                const auto n = static_cast<int32_t>(edges.size());
                return {n * 1000, ClampResult(n)};
            }
            if (s.func == kEdgePosition) {
                if (edges.empty()) return {};
                const double x = s.sdr == 0 ? edges.front() : edges.back();
                return {ClampValue(std::trunc(x)), ClampResult(std::trunc(x))};
            }
            if (edges.size() < 2) return {};
            return {ClampValue(std::trunc(edges.back() - edges.front())),
                    ClampResult(std::trunc((edges.back() + edges.front()) / 2.0))};
        }
        case kTilt:
            return Tilt(in);
        case kSize: {
            if (cols.size() < 2) return {};
            double area = 0;
            for (size_t k = 1; k < cols.size(); ++k) {
                auto h = [&](int z) {
                    const double zc = std::clamp(z, r.top, r.bottom);
                    return s.dir == 0 ? r.bottom - zc : zc - r.top;
                };
                area += (h(cols[k - 1].z) + h(cols[k].z)) / 2.0 * (cols[k].x - cols[k - 1].x);
            }
            return {ClampValue(std::trunc(area / 1000.0)), kNoResult};
        }
        case kLength: {
            if (in.size() < 2) return {};
            double len = 0;
            for (size_t k = 1; k < in.size(); ++k) {
                len += std::hypot(in[k].x - in[k - 1].x, in[k].z - in[k - 1].z);
            }
            return {ClampValue(std::trunc(len)), kNoResult};
        }
        case kDiameter:
            return Diameter(in);
        case kInflect:
            return Inflect(cols, s.infl);
        default:
            return {};
    }
}

}  // namespace kdsim
