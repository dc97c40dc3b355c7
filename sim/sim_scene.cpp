// The sensor's running side: the moving scene, profiles and camera pictures,
// position correction, measurement channels, outputs and storage recording.
#include <algorithm>
#include <cmath>
#include <optional>

#include "sim/sim_model.h"

namespace kdsim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::array<double, 11> kGainFactors = {1.00, 1.14, 1.33, 1.60, 2.00, 2.29,
                                                 2.67, 3.20, 4.00, 5.33, 8.00};
constexpr std::array<int, 16> kHysTable = {0,   4,   8,   16,  32,  50,   75,   100,
                                           150, 200, 300, 500, 750, 1000, 1500, 2000};
constexpr uint64_t kMaxCatchUpUs = 2000000;
constexpr uint64_t kIntTrigPeriodUs = 10000;  // internal trigger every 10 ms

double Hash01(uint64_t seed, uint64_t a, uint64_t b) {
    uint64_t z =
        seed * 0x9E3779B97F4A7C15ull + a * 0xBF58476D1CE4E5B9ull + b * 0x94D049BB133111EBull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 53);
}

double Noise(uint64_t seed, uint64_t a, uint64_t b) {
    return 2.0 * Hash01(seed, a, b) - 1.0;
}

int Clamp16(double v) {
    return static_cast<int>(std::clamp(std::lround(v), -32767L, 32766L));
}

// Sorted valid points of a profile.
std::vector<ProfilePt> Valid(const std::vector<ProfilePt>& prof) {
    std::vector<ProfilePt> v;
    for (const auto& p : prof) {
        if (p.z != kMissing && p.x != kMissing) v.push_back(p);
    }
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    return v;
}

std::optional<double> Crossing(const std::vector<ProfilePt>& pts, double level, bool fromRight) {
    if (pts.size() < 2) return std::nullopt;
    for (size_t k = 1; k < pts.size(); ++k) {
        const size_t i = fromRight ? pts.size() - k : k;
        const auto& a = pts[i - 1];
        const auto& b = pts[i];
        if ((a.z < level) == (b.z < level)) continue;
        return a.x + (level - a.z) / static_cast<double>(b.z - a.z) * (b.x - a.x);
    }
    return std::nullopt;
}

std::optional<double> ZAt(const std::vector<ProfilePt>& pts, double x) {
    double sum = 0;
    int n = 0;
    for (const auto& p : pts) {
        if (std::fabs(p.x - x) <= 300) {
            sum += p.z;
            ++n;
        }
    }
    if (n == 0) return std::nullopt;
    return sum / n;
}

// The camera window of a bank in sensor pixels, and its camera mode.
struct CamWindow {
    int left, top, width, height, mode;
};

CamWindow CamWindowOf(const ParamWords& mem, int bank) {
    return {GetRaw(mem, Fld::CamLeft, bank) * 8, GetRaw(mem, Fld::CamTop, bank) * 8,
            GetRaw(mem, Fld::CamWidth, bank) * 8, GetRaw(mem, Fld::CamHeight, bank) * 8,
            GetRaw(mem, Fld::CamMode, bank)};
}

}  // namespace

uint32_t SensorModel::SamplingPeriodUnits() const {
    const int bank = CurrentBank();
    const double shutter = GetRaw(mem_, Fld::Shutter, bank) * 5.0;
    const double hdr = GetRaw(mem_, Fld::HDRShutter, bank) * 5.0;
    const double w = GetRaw(mem_, Fld::CamWidth, bank) * 8.0;
    const double h = GetRaw(mem_, Fld::CamHeight, bank) * 8.0;
    const int mode = GetRaw(mem_, Fld::CamMode, bank);
    double readout = w * h / 250.0;
    double exposure = shutter;
    if (mode == 2) readout /= 4.0;
    if (mode == 1) {
        exposure += hdr;
        readout *= 2.0;
    }
    if (GetRaw(mem_, Fld::CamNR, bank)) readout *= 2.0;
    const double us = std::max(exposure, readout) + 60.0;
    return static_cast<uint32_t>(std::clamp(std::ceil(us / 5.0), 1.0, 65535.0));
}

double SensorModel::SceneZ(double x, double tSec, double* refl) const {
    // A part 180 mm long passes under the line at 20 mm/s on a belt (z = 8 mm),
    // drifting sideways and bobbing a little: its top face at z = 0 with a
    // chamfer on the left, a V-groove and a 2.5 mm step on the right. At time
    // 0 the middle of the part is under the line, so a profile shows it at once.
    const double s = std::fmod(tSec * 20.0 + 110.0, 240.0);
    if (tSec != poseT_) {  // the same for every point of a profile
        poseT_ = tSec;
        poseDrift_ = 600.0 * std::sin(2 * kPi * tSec / 7.0);
        poseBob_ = 150.0 * std::sin(2 * kPi * tSec / 3.0);
    }
    const double xs = x - poseDrift_;
    const double bob = poseBob_;
    double z = 8000.0;
    double r = 0.35;
    if (s >= 20.0 && s <= 200.0 && xs >= -9000.0 && xs <= 8500.0) {
        z = bob;
        r = 0.8;
        if (xs < -7000.0) {
            z += (-7000.0 - xs) * 0.5;
            r = 0.6;
        }
        if (s >= 40.0 && s <= 180.0 && xs > 3000.0) z -= 2500.0;
        const double g = std::fabs(xs + 5000.0);
        if (s >= 60.0 && s <= 160.0 && g < 1500.0) {
            z += 2000.0 * (1.0 - g / 1500.0);
            r = 0.2 + 0.4 * g / 1500.0;
        }
    }
    if (refl) *refl = r;
    return z;
}

int SensorModel::PeakIntensity(double refl, int shutterRaw) const {
    const int gain = std::clamp(GetRaw(mem_, Fld::Gain, CurrentBank()), 0, 10);
    const double v = refl * shutterRaw * 5.0 * kGainFactors[static_cast<size_t>(gain)] * 0.5;
    return static_cast<int>(std::min(255.0, v));
}

bool SensorModel::Masked(double viewX, double viewY) const {
    if (!GetRaw(mem_, Fld::CamMask, CurrentBank())) return false;
    const int mx = static_cast<int>(viewX * 128.0 / kSensorPixels);
    const int my = static_cast<int>(viewY * 128.0 / kSensorPixels);
    if (mx < 0 || mx >= 128 || my < 0 || my >= 128) return false;
    return (mask_[static_cast<size_t>(my * 16 + mx / 8)] & (0x80 >> (mx % 8))) != 0;
}

std::vector<ProfilePt> SensorModel::MakeProfile(uint64_t tUs, std::vector<uint16_t>& second) {
    const int bank = CurrentBank();
    const auto [camL, camT, camW, camH, mode] = CamWindowOf(mem_, bank);
    const int step = mode == 2 ? 4 : 2;
    const int count = std::clamp(camW / step, 1, 1023);
    const bool flip = GetRaw(mem_, Fld::AxisDir, 0) != 0;
    const int limit = GetRaw(mem_, Fld::MeasureLimit, bank);
    const int shutter = GetRaw(mem_, Fld::Shutter, bank);
    const int hdr = GetRaw(mem_, Fld::HDRShutter, bank);
    const int alarm = GetRaw(mem_, Fld::AlarmLimit, bank);
    const int smoothing = GetRaw(mem_, Fld::Smoothing, bank);
    const double wallLimit = GetRaw(mem_, Fld::Extract, bank) == 2 ? 4000.0 : 1500.0;
    const int headRow = GetRaw(mem_, Fld::HeadRowOffset, 0);
    const int headCol = GetRaw(mem_, Fld::HeadColOffset, 0);
    const double tSec = static_cast<double>(tUs) / 1e6;

    if (heldZ_.size() != static_cast<size_t>(count)) {
        heldZ_.assign(static_cast<size_t>(count), kMissing);
        missCount_.assign(static_cast<size_t>(count), 0);
    }
    std::vector<ProfilePt> prof(static_cast<size_t>(count));
    std::vector<bool> fresh(static_cast<size_t>(count), false);
    std::vector<std::pair<uint16_t, uint16_t>> stripe;
    for (int i = 0; i < count; ++i) {
        const double c = camL + i * step + step / 2.0;
        const double x = (c - kSensorPixels / 2.0) * kXPerPixel;
        double refl = 0;
        const double z = SceneZ(x, tSec, &refl);
        const double dz = SceneZ(x + 60.0, tSec, nullptr) - SceneZ(x - 60.0, tSec, nullptr);
        const double y =
            kSensorPixels / 2.0 + z / kZPerPixel + Noise(cfg_.seed, profileNo_, i) * 0.1;
        int peak = PeakIntensity(refl, shutter);
        if (mode == 1) peak = std::max(peak, std::min(PeakIntensity(refl, hdr), 250));
        const bool ok = laserOn_ && std::fabs(dz) <= wallLimit && y >= camT && y < camT + camH &&
                        peak >= std::max(limit, 1) && !Masked(kSensorPixels - c, y);
        auto& p = prof[static_cast<size_t>(i)];
        p.x = Clamp16(flip ? -x : x);
        if (ok) {
            const double y64 = std::round(y * 64.0);
            p.z = Clamp16((y64 / 64.0 - kSensorPixels / 2.0) * kZPerPixel);
            fresh[static_cast<size_t>(i)] = true;
            stripe.emplace_back(static_cast<uint16_t>(std::lround((c + headCol * 8) * 64.0)),
                                static_cast<uint16_t>(std::lround((y + headRow * 8) * 64.0)));
        }
    }
    // Smoothing over 2^n points, then the alarm limit: a point that is lost
    // keeps its last value for that many profiles (15: for good).
    if (smoothing > 0) {
        const int half = (1 << smoothing) / 2;
        std::vector<ProfilePt> src = prof;
        for (int i = 0; i < count; ++i) {
            if (!fresh[static_cast<size_t>(i)]) continue;
            double sum = 0;
            int n = 0;
            for (int k = std::max(0, i - half); k <= std::min(count - 1, i + half); ++k) {
                if (!fresh[static_cast<size_t>(k)]) continue;
                sum += src[static_cast<size_t>(k)].z;
                ++n;
            }
            prof[static_cast<size_t>(i)].z = Clamp16(sum / n);
        }
    }
    for (int i = 0; i < count; ++i) {
        auto& p = prof[static_cast<size_t>(i)];
        auto& held = heldZ_[static_cast<size_t>(i)];
        auto& miss = missCount_[static_cast<size_t>(i)];
        if (fresh[static_cast<size_t>(i)]) {
            held = p.z;
            miss = 0;
        } else if (held != kMissing && (alarm == 15 || miss < alarm)) {
            ++miss;
            p.z = held;
        } else {
            p.z = kMissing;
        }
    }
    second.clear();
    second.push_back(static_cast<uint16_t>(stripe.size() << 5));
    second.push_back(0);
    for (const auto& [a, b] : stripe) {
        second.push_back(a);
        second.push_back(b);
    }
    return prof;
}

void SensorModel::StoreLiveProfile(const std::vector<ProfilePt>& prof,
                                   const std::vector<uint16_t>& second, uint64_t tUs) {
    uint32_t next = (newestSlot_ + 1) % kLiveSlots;
    if (next == latchedSlot_) next = (next + 1) % kLiveSlots;
    newestSlot_ = next;
    auto& slot = liveSlots_[next];
    const size_t count = std::min<size_t>(prof.size(), 1023);
    slot.clear();
    slot.push_back(static_cast<uint16_t>(count << 5));
    slot.push_back(static_cast<uint16_t>((tUs / 100) & 0x7FFF));
    for (size_t i = 0; i < count; ++i) {
        slot.push_back(static_cast<uint16_t>(prof[i].x));
        slot.push_back(static_cast<uint16_t>(prof[i].z));
    }
    if (second.empty()) {
        slot.push_back(0);
        slot.push_back(0);
    } else {
        const size_t room = kLiveSlotWords - slot.size();
        slot.insert(slot.end(), second.begin(),
                    second.begin() + static_cast<std::ptrdiff_t>(std::min(room, second.size())));
    }
}

Correction SensorModel::ComputeCorrection(const std::vector<ProfilePt>& prof) const {
    const int bank = CurrentBank();
    const int method = GetRaw(mem_, Fld::CorrectMethod, bank);
    const bool tilt = GetRaw(mem_, Fld::TiltCorrect, bank) != 0;
    const double hLevel = GetRaw(mem_, Fld::HCorrect, bank) * 2.0;
    const double vPos = GetRaw(mem_, Fld::VCorrect, bank) * 2.0;
    const double tPos = GetRaw(mem_, Fld::TiltCorPos, bank) * 2.0;
    const auto live = Valid(prof);
    std::vector<ProfilePt> master;
    const auto& rec = masters_[static_cast<size_t>(bank)];
    if (rec.size() >= 4) {
        const size_t n = std::min<size_t>(rec[2] >> 5, (rec.size() - 4) / 2);
        std::vector<ProfilePt> pts(n);
        for (size_t i = 0; i < n; ++i) {
            pts[i].x = static_cast<int16_t>(rec[4 + 2 * i]);
            pts[i].z = static_cast<int16_t>(rec[5 + 2 * i]);
        }
        master = Valid(pts);
    }
    Correction c;
    if (master.empty()) return c;  // nothing registered to correct against
    if (method >= 1 && method <= 4) {
        const bool fromRight = method == 1 || method == 3;
        const auto now = Crossing(live, hLevel, fromRight);
        const auto ref = Crossing(master, hLevel, fromRight);
        if (now && ref) c.dx = static_cast<int>(std::trunc(*now - *ref));
    }
    if (method >= 3 && method <= 5) {
        const auto now = ZAt(live, vPos + c.dx);
        const auto ref = ZAt(master, vPos);
        if (now && ref) c.dz = static_cast<int>(std::trunc(*now - *ref));
    }
    if (tilt) {
        auto angle = [&](const std::vector<ProfilePt>& pts) -> std::optional<double> {
            const auto a = ZAt(pts, vPos), b = ZAt(pts, tPos);
            if (!a || !b || tPos == vPos) return std::nullopt;
            return std::atan2(*b - *a, tPos - vPos) * 180.0 / kPi * 128.0;
        };
        const auto now = angle(live);
        const auto ref = angle(master);
        if (now && ref) c.tilt = Clamp16(*now - *ref);
    }
    c.dx = std::clamp(c.dx, -65534, 65534);
    c.dz = std::clamp(c.dz, -65534, 65534);
    return c;
}

void SensorModel::UpdateChannels(const std::array<AreaOutcome, 4>& areas) {
    const int bank = CurrentBank();
    std::array<int32_t, 6> staged{};
    auto spanOffset = [&](int ch, int64_t v) -> int32_t {
        const int64_t span = GetRaw(mem_, Fld::Span, bank, ch);
        const int64_t off = int64_t{GetRaw(mem_, Fld::Offset, bank, ch)} * 10;
        const int64_t r = v * span / 1000 + off;
        return static_cast<int32_t>(std::clamp<int64_t>(r, -2000000000, 2000000000));
    };
    for (int ch = 0; ch < 4; ++ch) {
        auto& win = avgWindow_[static_cast<size_t>(ch)];
        const int32_t v = areas[static_cast<size_t>(ch)].value;
        if (v == kNoValue) {
            staged[static_cast<size_t>(ch)] = kNoValue;
            continue;
        }
        const size_t ave = static_cast<size_t>(std::max(1, GetRaw(mem_, Fld::Ave, bank, ch)));
        win.push_back(v);
        while (win.size() > ave) win.pop_front();
        int64_t sum = 0;
        for (int32_t x : win) sum += x;
        staged[static_cast<size_t>(ch)] = spanOffset(ch, sum / static_cast<int64_t>(win.size()));
    }
    for (int c = 0; c < 2; ++c) {
        const int a = GetRaw(mem_, Fld::OpA, bank, c);
        const int b = GetRaw(mem_, Fld::OpB, bank, c);
        const int op = GetRaw(mem_, Fld::OpOp, bank, c);
        const int32_t va = staged[static_cast<size_t>(a)], vb = staged[static_cast<size_t>(b)];
        int32_t v = kNoValue;
        if (va != kNoValue && vb != kNoValue) {
            v = spanOffset(4 + c, op == 1 ? int64_t{va} - vb : int64_t{va} + vb);
        }
        staged[static_cast<size_t>(4 + c)] = v;
    }
    for (size_t ch = 0; ch < 6; ++ch) {
        int32_t v = staged[ch];
        const int mode = GetRaw(mem_, Fld::Hold, bank, static_cast<int>(ch));
        if (holdOn_ && mode != 0) {
            if (!heldValid_[ch]) {
                held_[ch] = v;
                heldValid_[ch] = v != kNoValue;
            } else if (v != kNoValue) {
                if (mode == 2) held_[ch] = std::min(held_[ch], v);  // peak: nearest to the sensor
                if (mode == 3) held_[ch] = std::max(held_[ch], v);  // bottom
            }
            v = heldValid_[ch] ? held_[ch] : kNoValue;
        }
        preZero_[ch] = v;
        channel_[ch] =
            v == kNoValue ? kNoValue : v - GetRaw(mem_, Fld::ZAdj, bank, static_cast<int>(ch));
    }
}

bool SensorModel::OutputAt(int o, uint64_t t) const {
    const auto i = static_cast<size_t>(o);
    const int action = GetRaw(mem_, Fld::OAction, CurrentBank(), o);
    const uint64_t span = uint64_t(GetRaw(mem_, Fld::OTime, CurrentBank(), o)) * 100;
    const bool within = markValid_[i] && t - actionMark_[i] < span;
    switch (action) {
        case 0:
            return judge_[i];
        case 1:  // one shot on the judgement's rising edge
        case 4:  // strobe after every measurement
        case 5:  // one shot on the falling edge
            return within;
        case 2:  // on delay
            return judge_[i] && markValid_[i] && t - actionMark_[i] >= span;
        case 3:  // ready: measuring
            return laserOn_ && camRunning_;
        default:
            return false;
    }
}

void SensorModel::UpdateOutputs(uint64_t t) {
    const int bank = CurrentBank();
    const bool oldHys = cfg_.version[2] >= 1 && cfg_.version[2] <= 0x4A;
    for (int o = 0; o < 3; ++o) {
        const auto i = static_cast<size_t>(o);
        const int ch = GetRaw(mem_, Fld::OCh, bank, o);
        const int32_t v = ch <= 5 ? channel_[static_cast<size_t>(ch)] : kNoValue;
        const int64_t off = ch <= 5 ? int64_t{GetRaw(mem_, Fld::Offset, bank, ch)} * 10 : 0;
        const int64_t u = GetRaw(mem_, Fld::OULimit, bank, o) + off;
        const int64_t l = GetRaw(mem_, Fld::OLLimit, bank, o) + off;
        const int hysIdx = GetRaw(mem_, Fld::OHys, bank, o);
        const int64_t h = oldHys ? 4 * hysIdx : kHysTable[static_cast<size_t>(hysIdx & 15)];
        const bool was = judge_[i];
        bool now = false;
        if (v != kNoValue) now = was ? (v >= l - h && v <= u + h) : (v >= l && v <= u);
        judge_[i] = now;
        const int action = GetRaw(mem_, Fld::OAction, bank, o);
        if (((action == 1 || action == 2) && now && !was) || (action == 5 && was && !now) ||
            action == 4) {
            actionMark_[i] = t;
            markValid_[i] = true;
        }
    }
}

void SensorModel::UpdateStorage(uint64_t t, const std::vector<ProfilePt>& prof) {
    if (strRun_ == 0) return;
    const bool withProfiles = strRun_ == 2;
    size_t cap = static_cast<size_t>(std::max(1, GetRaw(mem_, Fld::StrBuf, 0)));
    int32_t startPos = GetRaw(mem_, Fld::StrStl, 0);
    if (withProfiles) {
        cap = std::min<size_t>(cap, kMaxStoredProfiles);
        startPos = std::clamp(startPos, -2000, 2000);
    }
    const uint32_t smp = static_cast<uint32_t>(std::max(1, GetRaw(mem_, Fld::StrSmp, 0)));
    if (strSkip_++ % smp != 0) return;

    Record rec{};
    for (size_t ch = 0; ch < 6; ++ch) rec.v[ch] = channel_[ch];
    rec.v[6] = static_cast<int32_t>(static_cast<uint32_t>(t / 100));
    std::vector<uint16_t> words;
    if (withProfiles) {
        const size_t count = std::min<size_t>(prof.size(), 1023);
        words.push_back(static_cast<uint16_t>(count << 5));
        words.push_back(static_cast<uint16_t>((t / 100) & 0x7FFF));
        for (size_t i = 0; i < count; ++i) {
            words.push_back(static_cast<uint16_t>(prof[i].x));
            words.push_back(static_cast<uint16_t>(prof[i].z));
        }
    }
    auto push = [&] {
        records_.push_back(rec);
        if (withProfiles) storedProfiles_.push_back(words);
    };
    auto popFront = [&] {
        records_.pop_front();
        if (!storedProfiles_.empty()) storedProfiles_.pop_front();
    };

    if (strState_ == 1) {
        const int target = std::clamp(GetRaw(mem_, Fld::StrStc, 0), 0, 5);
        const int32_t v = channel_[static_cast<size_t>(target)];
        const int32_t thd = GetRaw(mem_, Fld::StrThd, 0);
        bool go = false;
        switch (GetRaw(mem_, Fld::StrStt, 0)) {
            case 0:
                go = true;
                break;
            case 1:
                go = holdOn_;
                break;
            case 2:
                go = v != kNoValue;
                break;
            case 3:
                go = v == kNoValue;
                break;
            case 4:
                go = v != kNoValue && v >= thd;
                break;
            case 5:
                go = v != kNoValue && v <= thd;
                break;
            default:
                break;
        }
        if (!go) {
            if (startPos < 0) {  // keep the records before the start
                push();
                while (records_.size() > static_cast<size_t>(-startPos)) popFront();
            }
            return;
        }
        strState_ = 2;
        if (startPos > 0) {
            strDelay_ = startPos;
            return;
        }
    } else if (strState_ == 3) {
        ++strCount2_;
        return;
    }
    if (strDelay_ > 0) {
        --strDelay_;
        return;
    }
    push();
    if (records_.size() < cap) return;
    const Fld rptKey =
        (cfg_.version[2] >= 1 && cfg_.version[2] <= 0x4B) ? Fld::StrRpt2 : Fld::StrRpt3;
    switch (GetRaw(mem_, rptKey, 0)) {
        case 0:  // repeat: keep the newest records
            while (records_.size() > cap) popFront();
            break;
        case 2:  // pause: hold the full buffer and count what passes
            strState_ = 3;
            break;
        default:  // off: the recording ends
            strRun_ = 0;
            strState_ = 0;
            break;
    }
}

void SensorModel::Sample(uint64_t tUs, const std::vector<ProfilePt>* injected) {
    ++profileNo_;
    sampleTimes_[profileNo_ % kTimeRing] = tUs;
    std::vector<uint16_t> second;
    std::vector<ProfilePt> prof = injected ? *injected : MakeProfile(tUs, second);
    StoreLiveProfile(prof, second, tUs);
    lastProfile_ = prof;
    corr_ = ComputeCorrection(prof);
    const int bank = CurrentBank();
    for (int a = 0; a < 4; ++a) {
        AreaSetup s;
        s.func = GetRaw(mem_, Fld::AFunc, bank, a);
        s.rect.left = GetRaw(mem_, Fld::ALeft, bank, a) * 2;
        s.rect.top = GetRaw(mem_, Fld::ATop, bank, a) * 2;
        s.rect.right = GetRaw(mem_, Fld::ARight, bank, a) * 2;
        s.rect.bottom = GetRaw(mem_, Fld::ABottom, bank, a) * 2;
        s.infl = GetRaw(mem_, Fld::AInfl, bank, a);
        s.sdr = GetRaw(mem_, Fld::ASDR, bank, a);
        s.dir = GetRaw(mem_, Fld::ADir, bank, a);
        if (GetRaw(mem_, Fld::ACmp, bank, a)) {
            s.rect.left += corr_.dx;
            s.rect.right += corr_.dx;
            s.rect.top += corr_.dz;
            s.rect.bottom += corr_.dz;
        }
        areas_[static_cast<size_t>(a)] = MeasureArea(prof, s);
    }
    UpdateChannels(areas_);
    UpdateOutputs(tUs);
    UpdateStorage(tUs, prof);
}

void SensorModel::InjectProfile(const std::vector<ProfilePt>& profile) {
    Sample(now_, &profile);
}

void SensorModel::Advance(uint64_t nowUs) {
    if (nowUs < now_) return;
    now_ = nowUs;
    if (aeRunning_ && now_ >= aeUntil_) FinishAe();
    if (!camRunning_) return;
    const uint64_t period = uint64_t{SamplingPeriodUnits()} * 5;
    if (strRun_ == 0 && nextSample_ + kMaxCatchUpUs < now_) {
        // Nobody is recording: skip what nobody could have seen.
        nextSample_ += (now_ - nextSample_) / period * period;
    }
    int budget = 200000;
    while (nextSample_ <= now_ && budget-- > 0) {
        const int action = GetRaw(mem_, Fld::TrigAction, CurrentBank());
        bool take = action == 0;
        if (action != 0 && intTrig_) {
            if (action == 3) {  // pulse count: bursts of TrigCount profiles
                if (burstLeft_ == 0) {
                    burstLeft_ = static_cast<uint32_t>(
                                     std::max(1, GetRaw(mem_, Fld::TrigCount, CurrentBank()))) +
                                 static_cast<uint32_t>(kIntTrigPeriodUs / period + 1);
                    burstIdle_ = static_cast<uint32_t>(kIntTrigPeriodUs / period + 1);
                }
                take = burstLeft_ > burstIdle_;
                --burstLeft_;
            } else {
                take = true;
            }
        }
        const uint64_t delay =
            action != 0 ? uint64_t(GetRaw(mem_, Fld::TrigDelay, CurrentBank())) * 5 : 0;
        const bool light =
            action == 0 && strRun_ == 0 && nextSample_ < lastComputed_ + cfg_.computeUs;
        if (take && light) {
            // Very short periods: the profile is counted but not worked out,
            // so the sensor does not eat the machine it shares with the program.
            ++profileNo_;
            sampleTimes_[profileNo_ % kTimeRing] = nextSample_;
        } else if (take) {
            Sample(nextSample_ + delay, nullptr);
            lastComputed_ = nextSample_;
        }
        nextSample_ += period;
    }
    if (budget <= 0) nextSample_ = now_ + period;
}

// Pictures stay available for the last 64 profiles, and for the eight up to the
// number the program was last given, however long ago that was.
bool SensorModel::ImageAvailable(uint32_t number) const {
    if (number == 0 || number > profileNo_) return false;
    if (profileNo_ - number < kTimeRing) return true;
    return number <= latchedImage_ && latchedImage_ - number < 8;
}

uint64_t SensorModel::ImageTime(uint32_t number) const {
    if (profileNo_ - number < kTimeRing) return sampleTimes_[number % kTimeRing];
    const uint64_t back = uint64_t{latchedImage_ - number} * SamplingPeriodUnits() * 5;
    return latchedImageTime_ > back ? latchedImageTime_ - back : 0;
}

namespace {
constexpr double kGlow = 0.25;        // of the line's peak, next to it
constexpr double kGlowPixels = 12.0;  // falls to 1/e over this many sensor pixels
}  // namespace

void SensorModel::RenderImage(uint32_t number) {
    auto& img = images_[number % kImageSlots];
    if (img.number == number) return;
    const int bank = CurrentBank();
    const auto [camL, camT, camW, camH, mode] = CamWindowOf(mem_, bank);
    const int f = mode == 2 ? 2 : 1;
    const int rows = camW / f, cols = camH / f;
    const int shutter =
        GetRaw(mem_, (mode == 1 && (number & 1)) ? Fld::HDRShutter : Fld::Shutter, bank);
    const double gain =
        kGainFactors[static_cast<size_t>(std::clamp(GetRaw(mem_, Fld::Gain, bank), 0, 10))];
    const double tSec = static_cast<double>(ImageTime(number)) / 1e6;
    img.number = number;
    img.pixels.assign(static_cast<size_t>(rows) * static_cast<size_t>(cols), 0);
    // The picture is turned a quarter against the view: one row per sensor
    // column, one pixel per view row, so the stripe crosses every row once.
    for (int r = 0; r < rows; ++r) {
        const double c = camL + r * f + f / 2.0;
        const double x = (c - kSensorPixels / 2.0) * kXPerPixel;
        double refl = 0;
        const double z = SceneZ(x, tSec, &refl);
        const double ys = kSensorPixels / 2.0 + z / kZPerPixel;
        int peak = laserOn_ ? PeakIntensity(refl, shutter) : 0;
        if (Masked(kSensorPixels - c, ys)) peak = 0;
        const double bg = std::min(60.0, 4.0 + refl * shutter * 5.0 * gain * 0.004);
        auto* row = img.pixels.data() + static_cast<size_t>(r) * static_cast<size_t>(cols);
        for (int k = 0; k < cols; ++k) {
            const double y = camT + k * f + f / 2.0;
            const double d = y - ys;
            double v = bg + 3.0 * Noise(cfg_.seed ^ number, static_cast<uint64_t>(r),
                                        static_cast<uint64_t>(k));
            if (std::fabs(d) < 6.0) v += peak * std::exp(-d * d / (2 * 1.3 * 1.3));
            // Light scattered off the surface: a faint glow some tens of pixels
            // wide around the line, which a thumbnail of every 16th pixel still
            // finds (also in the half-size Fast picture).
            if (std::fabs(d) < 64.0) v += peak * kGlow * std::exp(-std::fabs(d) / kGlowPixels);
            row[k] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
}

void SensorModel::FinishAe() {
    aeRunning_ = false;
    const int bank = CurrentBank();
    const int camL = GetRaw(mem_, Fld::CamLeft, bank) * 8;
    const int camW = GetRaw(mem_, Fld::CamWidth, bank) * 8;
    const double tSec = static_cast<double>(now_) / 1e6;
    double maxRefl = 0.1;
    for (int i = 0; i < 64; ++i) {
        const double c = camL + (i + 0.5) * camW / 64.0;
        double refl = 0;
        SceneZ((c - kSensorPixels / 2.0) * kXPerPixel, tSec, &refl);
        maxRefl = std::max(maxRefl, refl);
    }
    // Aim the brightest part of the line at 190 of 255; raise the gain only
    // when the longest shutter is not enough.
    constexpr double kTarget = 190.0;
    int gain = std::clamp(GetRaw(mem_, Fld::Gain, bank), 0, 10);
    double us = kTarget / (maxRefl * kGainFactors[static_cast<size_t>(gain)] * 0.5);
    while (us > 10235.0 && gain < 10) {
        ++gain;
        us = kTarget / (maxRefl * kGainFactors[static_cast<size_t>(gain)] * 0.5);
    }
    const int raw = std::clamp(static_cast<int>(std::lround(us / 5.0)), 1, 2047);
    SetRaw(mem_, Fld::Gain, bank, gain);
    SetRaw(mem_, Fld::Shutter, bank, raw);
    SetRaw(mem_, Fld::HDRShutter, bank, std::min(2047, raw * 2));
    SetRaw(mem_, Fld::MeasureLimit, bank, static_cast<int>(kTarget / 6));
    SetRaw(mem_, Fld::LowIntensity, bank, 20);
    // The exposure is worked out for the Hi-res mode, which the camera keeps.
    SetRaw(mem_, Fld::CamMode, bank, 0);
    SetRaw(mem_, Fld::CamNR, bank, 0);
}

}  // namespace kdsim
