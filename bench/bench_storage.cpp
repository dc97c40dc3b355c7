// The profile storage views with 8000 profiles of 1024 points: drawing time
// of the single, 3D and overwrite views, and the set's memory. Reports only.
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "storage/profile_set.h"
#include "storage/ui/tp_sto_prof.h"

using namespace kd;

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Median wall and processor time of the runs (the processor time is what a
// machine shared with other work does not inflate).
std::pair<double, double> MedianMs(int runs, const std::function<void()>& f) {
    std::vector<double> wall, cpu;
    f();
    for (int i = 0; i < runs; ++i) {
        const uint64_t a = TickUs();
        const double c = CpuMs();
        f();
        cpu.push_back(CpuMs() - c);
        wall.push_back((TickUs() - a) / 1000.0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    auto set = std::make_unique<TProfileSet>();
    std::vector<uint16_t> words(2 + 2 * kProfilePoints);
    for (int i = 0; i < kProfileRing; ++i) {
        words[0] = uint16_t(kProfilePoints << 5);
        words[1] = uint16_t((i * 20) & 0x7FFF);
        for (int k = 0; k < kProfilePoints; ++k) {
            words[size_t(2 + 2 * k)] = uint16_t(int16_t(-13000 + k * 25));
            words[size_t(3 + 2 * k)] = uint16_t(int16_t(20000 * std::sin(k * 0.01 + i * 0.001)));
        }
        set->AddFetched(words, kProfilePoints);
    }
    set->ComputeTimes();
    QImage img(1812, 816, QImage::Format_RGB32);
    const char* names[3] = {"single profile", "3D (30 deg, time shift)", "overwrite"};
    for (int view = 0; view < 3; ++view) {
        TProfileView v;
        v.View = view;
        v.Selected = kProfileRing - 1;
        v.Xs = 0.01 * 3;
        v.Ys = 0.005 * 3;
        v.X0 = 13500 * v.Xs + 100;
        v.Y0 = img.height() - 26000 * v.Ys - 40;
        v.DrawAreas = true;
        const auto [wall, cpu] = MedianMs(5, [&] { DrawProfileSet(img, *set, v); });
        std::printf("%-40s %9.2f ms wall %9.2f ms processor\n", names[view], wall, cpu);
    }
    std::printf("%-40s %9.1f MB\n", "profile set points (8000 x 1024)",
                TProfileSet::PointBytes() / 1e6);
    return 0;
}
