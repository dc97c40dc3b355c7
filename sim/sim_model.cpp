#include "sim/sim_model.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "sim/sim_codec.h"

namespace kdsim {

namespace {

// Command codes the sensor answers.
enum : uint16_t {
    NULL_CMD = 0x0000,
    MEM_WRITE = 0x0001,
    MEM_READ = 0x0002,
    EPM_WRITE = 0x0005,
    SET_BANK = 0x0006,
    EEPROM_INIT = 0x0008,
    GET_VERSION = 0x0009,
    SYS_UPDATE = 0x000A,
    GET_STATUS = 0x000D,
    SET_SYS_MODE = 0x0011,
    BCHG_MTH = 0x0012,
    MASK_WRITE = 0x0014,
    MST_WRITE = 0x0016,
    GET_MST_ADDR = 0x0017,
    SET_SYS_DIR = 0x0018,
    MEM_READ_WIDE = 0x001A,
    SET_CAM_RECT = 0x2000,
    GET_CAM_RECT = 0x2001,
    SET_SNS = 0x2002,
    GET_SNS = 0x2003,
    SET_TMD = 0x2006,
    CAM_STOP = 0x200C,
    CAM_STARAT = 0x200D,
    SET_SHUTT0 = 0x200E,
    GET_SHUTT0 = 0x200F,
    SET_SHUTT1 = 0x2010,
    GET_SHUTT1 = 0x2011,
    SET_PCNT = 0x2012,
    SET_TDLY = 0x2014,
    GET_SMP_RATE = 0x2016,
    GET_IMG_NO = 0x2017,
    GET_IMG_ADDR = 0x2018,
    GET_AE_STATE = 0x2019,
    RUN_AE = 0x201A,
    CAM_FUNC = 0x201B,
    GET_CAM_FUNC = 0x201C,
    SET_CUT_LVL = 0x4000,
    GET_CUT_LVL = 0x4001,
    SET_PRF_FUNC = 0x4002,
    SET_THD_LVL = 0x4004,
    GET_THD_LVL = 0x4005,
    SET_XAXIS_FIL = 0x4006,
    SET_ALERT_LVL = 0x4008,
    GET_PROF_ADDR = 0x400B,
    SET_PROF_TILT = 0x4010,
    SET_PROF_MOD = 0x4013,
    SET_HCORRECT = 0x4015,
    SET_VCORRECT = 0x4017,
    SET_TILTCOR_POS = 0x4019,
    SET_PROF_MST = 0x401B,
    GET_PROF_CORR = 0x401D,
    SET_AREA_MOD = 0x6000,
    AREA_RECT = 0x6002,
    SET_AREA_INFL = 0x6004,
    GET_AREA_STAT = 0x600C,
    SET_AREA_DIR = 0x600D,
    SET_AREA_SDR = 0x600F,
    SET_AREA_CMP = 0x6011,
    SET_CAL_A = 0x8002,
    SET_CAL_B = 0x8004,
    SET_CAL_CMD = 0x8006,
    SET_CAL_SPAN = 0x8012,
    SET_CAL_AVG = 0x8014,
    SET_CAL_HLD = 0x8016,
    GET_MEAS = 0x801A,
    SET_GPIO_OMODE = 0xA000,
    SET_LASER = 0xA002,
    GET_LASER = 0xA003,
    SET_GPIO_OPOLAR = 0xA004,
    SET_GPIO_ONT = 0xA006,
    SET_GPIO_OTIME = 0xA008,
    SET_GPIO_ULMT = 0xA00A,
    SET_GPIO_LLMT = 0xA00C,
    SET_GPIO_INCH = 0xA00E,
    GET_GPIO_OUT = 0xA010,
    ZERO_SET = 0xA011,
    ZERO_CLR = 0xA012,
    SET_SHIFT_ZERO = 0xA013,
    SET_HOLD_STATE = 0xA015,
    GET_HOLD_STATE = 0xA016,
    GET_OUT_VAL = 0xA017,
    SET_GPIO_HYS = 0xA018,
    GET_ZERO_STATE = 0xA01A,
    GET_ANA_VAL = 0xA01B,
    SET_GPIO_IMODE = 0xC000,
    SET_GPIO_IFILL = 0xC003,
    SET_INT_TRIG = 0xC005,
    GET_INT_TRIG = 0xC006,
    SET_GPIO_ZOUT = 0xC007,
    RUN_RESET = 0xC009,
    SET_GPIO_IPOLAR = 0xC00A,
    GET_STR_COUNT2 = 0xC00C,
    GET_STR_ADDR = 0xC00D,
    STR_RUN = 0xC00E,
    GET_STR_RUN = 0xC00F,
    GET_STR_COUNT = 0xC010,
    GET_STR_STATE = 0xC011,
    SET_STR_BUF = 0xC012,
    GET_STR_BUF = 0xC013,
    SET_STR_STT = 0xC014,
    GET_STR_STT = 0xC015,
    SET_STR_STL = 0xC016,
    GET_STR_STL = 0xC017,
    SET_STR_STC = 0xC018,
    GET_STR_STC = 0xC019,
    SET_STR_THD = 0xC01A,
    GET_STR_THD = 0xC01B,
    SET_STR_SMP = 0xC01C,
    GET_STR_SMP = 0xC01D,
    SET_STR_RPT = 0xC01E,
    GET_STR_RPT = 0xC01F,
};

constexpr std::array<double, 11> kGains = {1.00, 1.14, 1.33, 1.60, 2.00, 2.29,
                                           2.67, 3.20, 4.00, 5.33, 8.00};
constexpr uint64_t kAeDurationUs = 400000;

// A payload read as big-endian words; checks every access.
class Words {
  public:
    explicit Words(std::span<const uint8_t> p) : p_(p) {}
    size_t Count() const { return p_.size() / 2; }
    uint16_t W(size_t i) const { return static_cast<uint16_t>((p_[2 * i] << 8) | p_[2 * i + 1]); }
    int16_t S(size_t i) const { return static_cast<int16_t>(W(i)); }
    bool IsByte(size_t i) const { return p_[2 * i] == 0; }
    uint32_t L(size_t i) const { return (uint32_t{W(i)} << 16) | W(i + 1); }

  private:
    std::span<const uint8_t> p_;
};

struct Out {
    std::vector<uint8_t> b;
    Out& W(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v >> 8));
        b.push_back(static_cast<uint8_t>(v & 0xFF));
        return *this;
    }
    Out& L(uint32_t v) { return W(static_cast<uint16_t>(v >> 16)).W(static_cast<uint16_t>(v)); }
};

std::vector<uint8_t> Ok(uint16_t cmd) {
    return BuildReply(cmd, {});
}
std::vector<uint8_t> Ok(uint16_t cmd, const Out& o) {
    return BuildReply(cmd, o.b);
}
std::vector<uint8_t> Err(uint16_t code) {
    return BuildErrorReply(code);
}

bool InRange(int32_t v, Fld f) {
    auto lim = Limits(f);
    return !lim || (v >= lim->min && v <= lim->max);
}

}  // namespace

SensorModel::SensorModel(ModelConfig config) : cfg_(std::move(config)) {
    mem_ = FactoryImage();
    if (cfg_.demoStorage) {
        SetRaw(mem_, Fld::StrBuf, 0, 1000);
        SetRaw(mem_, Fld::StrSmp, 0, 1);
        SetRaw(mem_, Fld::StrRpt2, 0, 1);
        SetRaw(mem_, Fld::StrRpt3, 0, 1);
    }
    eeprom_ = mem_;
    epmExeLeft_ = cfg_.epmExeFaults;
    if (!cfg_.eepromPath.empty()) {
        // No file yet: the factory settings, written at the first EEPROM write.
        struct stat st {};
        if (::stat(cfg_.eepromPath.c_str(), &st) == 0) LoadEeprom(cfg_.eepromPath);
    }
    Sample(0, nullptr);
    nextSample_ = uint64_t{SamplingPeriodUnits()} * 5;
}

// ---------------------------------------------------------------- EEPROM file

// File layout: the 2048-byte parameter image (words little-endian, as the
// program's raw parameter files), then optionally "KDSM" and for each bank a
// little-endian word count followed by that many master words.
void SensorModel::LoadEeprom(const std::string& path) {
    LoadEepromData(kd::ReadFileAll(path, kMaxEepromFileBytes), path);
}

void SensorModel::LoadEepromData(const std::string& data, const std::string& path) {
    if (data.size() < 2048) {
        throw kd::EKestError("eeprom file '" + path + "': " + std::to_string(data.size()) +
                             " bytes, a parameter image needs 2048");
    }
    auto u16 = [&](size_t at) {
        return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) |
                                     (static_cast<uint8_t>(data[at + 1]) << 8));
    };
    ParamWords img{};
    for (size_t i = 0; i < img.size(); ++i) img[i] = u16(2 * i);
    std::array<std::vector<uint16_t>, kBanks> masters;
    size_t at = 2048;
    if (data.size() > at) {
        if (data.compare(at, 4, "KDSM") != 0) {
            throw kd::EKestError("eeprom file '" + path + "': unknown data after the image");
        }
        at += 4;
        for (auto& m : masters) {
            if (at + 2 > data.size()) throw kd::EKestError("eeprom file '" + path + "': cut short");
            const size_t n = u16(at);
            at += 2;
            if (n > kMasterTransferWords || at + 2 * n > data.size()) {
                throw kd::EKestError("eeprom file '" + path + "': bad master record");
            }
            for (size_t i = 0; i < n; ++i) m.push_back(u16(at + 2 * i));
            at += 2 * n;
        }
        if (at != data.size()) throw kd::EKestError("eeprom file '" + path + "': trailing bytes");
    }
    eeprom_ = img;
    mem_ = img;
    eepromMasters_ = masters;
    masters_ = masters;
}

void SensorModel::SaveEeprom() {
    if (cfg_.eepromPath.empty()) return;
    std::string data;
    data.reserve(4096);
    auto put = [&](uint16_t w) {
        data.push_back(static_cast<char>(w & 0xFF));
        data.push_back(static_cast<char>(w >> 8));
    };
    for (uint16_t w : eeprom_) put(w);
    data += "KDSM";
    for (const auto& m : eepromMasters_) {
        put(static_cast<uint16_t>(m.size()));
        for (uint16_t w : m) put(w);
    }
    kd::WriteFileAtomic(cfg_.eepromPath, data);
}

// ---------------------------------------------------------------- requests

std::vector<uint8_t> SensorModel::Handle(uint16_t command, std::span<const uint8_t> payload,
                                         uint64_t nowUs) {
    Advance(nowUs);
    return Dispatch(command, payload);
}

uint16_t SensorModel::StatusWord() const {
    uint16_t s = 0;
    if (intTrig_) s |= 1u << 0;
    if (holdOn_) s |= 1u << 1;
    bool anyPoint = std::any_of(lastProfile_.begin(), lastProfile_.end(),
                                [](const ProfilePt& p) { return p.z != kMissing; });
    if (!anyPoint) s |= 1u << 2;  // measurement alarm: no laser line found
    if (strRun_ != 0) s |= 1u << 3;
    const int onT = GetRaw(mem_, Fld::GpioOnT, 0);
    const int bank = CurrentBank();
    for (int o = 0; o < 3; ++o) {
        const bool logical = OutputAt(o, now_);
        const bool physical = logical ^ (onT != 0) ^ (GetRaw(mem_, Fld::OPolar, bank, o) != 0);
        if (physical) s |= static_cast<uint16_t>(1u << (4 + o));
        if (Soft(0x4F) && logical) s |= static_cast<uint16_t>(1u << (12 + o));
    }
    if (laserOn_) s |= 1u << 7;
    s |= static_cast<uint16_t>((bank & 7) << 8);
    return s;
}

std::vector<uint8_t> SensorModel::Dispatch(uint16_t cmd, Payload p) {
    if (p.size() % 2 != 0) return Err(kErrData);
    const Words w(p);
    const size_t n = w.Count();
    const int bank = CurrentBank();
    // Shapes of the common settings: one byte word, one full word, (index, byte), (index, word).
    auto needB = [&](size_t count) { return n == count; };
    auto setField = [&](Fld f, int32_t raw, int index = 0) -> std::vector<uint8_t> {
        if (!InRange(raw, f)) return Err(kErrData);
        SetRaw(mem_, f, bank, raw, index);
        return Ok(cmd);
    };
    auto oneByte = [&](Fld f, int32_t maxValue) -> std::vector<uint8_t> {
        if (n < 1) return Err(kErrShort);
        if (!needB(1) || !w.IsByte(0) || w.W(0) > maxValue) return Err(kErrData);
        return setField(f, w.W(0));
    };
    auto oneWord = [&](Fld f, bool isSigned) -> std::vector<uint8_t> {
        if (n < 1) return Err(kErrShort);
        if (!needB(1)) return Err(kErrData);
        return setField(f, isSigned ? int32_t{w.S(0)} : int32_t{w.W(0)});
    };
    auto getWord = [&](int32_t v) {
        if (n != 0) return Err(kErrData);
        return Ok(cmd, Out().W(static_cast<uint16_t>(v)));
    };
    // (index byte, value) pairs: index below maxIndex.
    auto pairIndex = [&](int maxIndex, int& idx) -> uint16_t {
        if (n < 2) return kErrShort;
        if (n != 2 || !w.IsByte(0) || w.W(0) >= maxIndex) return kErrData;
        idx = w.W(0);
        return 0;
    };
    auto pairByte = [&](Fld f, int maxIndex, int32_t maxValue) -> std::vector<uint8_t> {
        int idx = 0;
        if (uint16_t e = pairIndex(maxIndex, idx)) return Err(e);
        if (!w.IsByte(1) || w.W(1) > maxValue) return Err(kErrData);
        return setField(f, w.W(1), idx);
    };
    auto pairWord = [&](Fld f, int maxIndex, bool isSigned) -> std::vector<uint8_t> {
        int idx = 0;
        if (uint16_t e = pairIndex(maxIndex, idx)) return Err(e);
        return setField(f, isSigned ? int32_t{w.S(1)} : int32_t{w.W(1)}, idx);
    };
    auto calcIndex = [&](int& calc) -> uint16_t {
        // The calculation is named 0/1 or by its channel 4/5.
        if (n < 2) return kErrShort;
        if (n != 2 || !w.IsByte(0)) return kErrData;
        const int c = w.W(0);
        if (c == 0 || c == 1)
            calc = c;
        else if (c == 4 || c == 5)
            calc = c - 4;
        else
            return kErrData;
        return 0;
    };

    switch (cmd) {
        case NULL_CMD:
            return Ok(cmd);
        case MEM_WRITE:
            return MemWrite(p);
        case MEM_READ:
            return MemRead(cmd, p, false);
        case MEM_READ_WIDE:
            if (!(cfg_.version[2] == 0x49 || Soft(0x4B))) return Err(kErrCmd);
            return MemRead(cmd, p, true);
        case EPM_WRITE:
            return EpmWrite(p);
        case SET_BANK: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || !w.IsByte(0) || w.W(0) > 7) return Err(kErrData);
            SetRaw(mem_, Fld::Bank, 0, w.W(0));
            for (auto& a : avgWindow_) a.clear();
            return Ok(cmd);
        }
        case EEPROM_INIT:
            return EepromInit(p);
        case GET_VERSION:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out().W(cfg_.version[0]).W(cfg_.version[1]).W(cfg_.version[2]));
        case SYS_UPDATE:
            if (n != 0) return Err(kErrData);
            for (auto& a : avgWindow_) a.clear();
            return Ok(cmd);
        case GET_STATUS:
            if (cfg_.version[1] < 0x49) return Err(kErrCmd);
            return getWord(StatusWord());
        case SET_SYS_MODE:
            if (n < 1) return Err(kErrShort);
            if (n != 1 || !w.IsByte(0) || w.W(0) > 1) return Err(kErrData);
            sysMode_ = w.W(0);
            return Ok(cmd);
        case BCHG_MTH:
            return oneByte(Fld::BankSwitch, 1);
        case MASK_WRITE:
            if (n != 0) return Err(kErrData);
            for (size_t i = 0; i < 1024; ++i) {
                mask_[2 * i] = static_cast<uint8_t>(transfer_[i] >> 8);
                mask_[2 * i + 1] = static_cast<uint8_t>(transfer_[i] & 0xFF);
            }
            return Ok(cmd);
        case MST_WRITE:
            return MstWrite(p);
        case GET_MST_ADDR:
            return GetMstAddr(p);
        case SET_SYS_DIR:
            return oneByte(Fld::AxisDir, 1);

        // Camera.
        case SET_CAM_RECT: {
            if (n < 4) return Err(kErrShort);
            if (n != 4) return Err(kErrData);
            for (size_t i = 0; i < 4; ++i) {
                if (!w.IsByte(i)) return Err(kErrData);
            }
            const int top = w.W(0), left = w.W(1), height = w.W(2), width = w.W(3);
            constexpr int kUnits = kSensorPixels / 8;
            if (height < 2 || width < 2 || top + height > kUnits || left + width > kUnits) {
                return Err(kErrData);
            }
            SetRaw(mem_, Fld::CamTop, bank, top);
            SetRaw(mem_, Fld::CamLeft, bank, left);
            SetRaw(mem_, Fld::CamHeight, bank, height);
            SetRaw(mem_, Fld::CamWidth, bank, width);
            return Ok(cmd);
        }
        case GET_CAM_RECT:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out()
                               .W(static_cast<uint16_t>(GetRaw(mem_, Fld::CamTop, bank)))
                               .W(static_cast<uint16_t>(GetRaw(mem_, Fld::CamLeft, bank)))
                               .W(static_cast<uint16_t>(GetRaw(mem_, Fld::CamHeight, bank)))
                               .W(static_cast<uint16_t>(GetRaw(mem_, Fld::CamWidth, bank))));
        case SET_SNS:
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) >= kGains.size()) return Err(kErrData);
            SetRaw(mem_, Fld::Gain, bank, w.W(0));
            return Ok(cmd);
        case GET_SNS:
            return getWord(GetRaw(mem_, Fld::Gain, bank));
        case SET_TMD: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || !w.IsByte(0) || w.W(0) > 2) return Err(kErrData);
            static constexpr int kAction[] = {0, 1, 3};
            SetRaw(mem_, Fld::TrigAction, bank, kAction[w.W(0)]);
            burstLeft_ = 0;
            return Ok(cmd);
        }
        case CAM_STOP:
            if (n != 0) return Err(kErrData);
            camRunning_ = false;
            return Ok(cmd);
        case CAM_STARAT:
            if (n != 0) return Err(kErrData);
            if (!camRunning_) nextSample_ = now_ + uint64_t{SamplingPeriodUnits()} * 5;
            camRunning_ = true;
            return Ok(cmd);
        case SET_SHUTT0:
            return oneWord(Fld::Shutter, false);
        case GET_SHUTT0:
            return getWord(GetRaw(mem_, Fld::Shutter, bank));
        case SET_SHUTT1:
            return oneWord(Fld::HDRShutter, false);
        case GET_SHUTT1:
            return getWord(GetRaw(mem_, Fld::HDRShutter, bank));
        case SET_PCNT:
            return oneWord(Fld::TrigCount, false);
        case SET_TDLY:
            return oneWord(Fld::TrigDelay, false);
        case GET_SMP_RATE:
            return getWord(static_cast<int32_t>(SamplingPeriodUnits()));
        case GET_IMG_NO:
            if (n != 0) return Err(kErrData);
            latchedImage_ = profileNo_;
            latchedImageTime_ = ImageTime(profileNo_);
            return Ok(cmd, Out().L(profileNo_));
        case GET_IMG_ADDR: {
            if (n < 2) return Err(kErrShort);
            if (n != 2) return Err(kErrData);
            const uint32_t num = w.L(0);
            if (!ImageAvailable(num)) return Err(kErrData);
            RenderImage(num);
            return Ok(cmd, Out().L(kImageBase + (num % kImageSlots) * kImageSlotWords));
        }
        case GET_AE_STATE:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out().W(aeRunning_ ? 0x0008 : 0x0000));
        case RUN_AE:
            if (n != 0) return Err(kErrData);
            aeRunning_ = true;
            aeUntil_ = now_ + kAeDurationUs;
            return Ok(cmd);
        case CAM_FUNC: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 3) return Err(kErrData);
            static constexpr int kMode[] = {0, 2, 1, 0};
            SetRaw(mem_, Fld::CamMode, bank, kMode[w.W(0)]);
            SetRaw(mem_, Fld::CamNR, bank, w.W(0) == 3 ? 1 : 0);
            return Ok(cmd);
        }
        case GET_CAM_FUNC: {
            const int mode = GetRaw(mem_, Fld::CamMode, bank);
            const int nr = GetRaw(mem_, Fld::CamNR, bank);
            return getWord(nr ? 3 : mode == 2 ? 1 : mode == 1 ? 2 : 0);
        }

        // Profile.
        case SET_CUT_LVL:
            return oneWord(Fld::MeasureLimit, false);
        case GET_CUT_LVL:
            return getWord(GetRaw(mem_, Fld::MeasureLimit, bank));
        case SET_PRF_FUNC: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || !w.IsByte(0) || w.W(0) > 2) return Err(kErrData);
            static constexpr int kExtract[] = {0, 2, 1};
            SetRaw(mem_, Fld::Extract, bank, kExtract[w.W(0)]);
            return Ok(cmd);
        }
        case SET_THD_LVL:
            return oneWord(Fld::LowIntensity, false);
        case GET_THD_LVL:
            return getWord(GetRaw(mem_, Fld::LowIntensity, bank));
        case SET_XAXIS_FIL:
            return oneByte(Fld::Smoothing, 7);
        case SET_ALERT_LVL:
            return oneByte(Fld::AlarmLimit, 15);
        case GET_PROF_ADDR:
            if (n != 0) return Err(kErrData);
            latchedSlot_ = newestSlot_;
            return Ok(cmd, Out().L(kLiveProfileBase + newestSlot_ * kLiveSlotWords));
        case SET_PROF_TILT:
            return oneByte(Fld::TiltCorrect, 1);
        case SET_PROF_MOD:
            return oneByte(Fld::CorrectMethod, 5);
        case SET_HCORRECT:
            return oneWord(Fld::HCorrect, true);
        case SET_VCORRECT:
            return oneWord(Fld::VCorrect, true);
        case SET_TILTCOR_POS:
            return oneWord(Fld::TiltCorPos, true);
        case SET_PROF_MST: {
            if (n != 0) return Err(kErrData);
            // The newest profile becomes the bank's master.
            std::vector<uint16_t> rec = {
                static_cast<uint16_t>(bank), static_cast<uint16_t>((now_ / 100) & 0x7FFF),
                static_cast<uint16_t>(lastProfile_.size() << 5),
                static_cast<uint16_t>(GetRaw(mem_, Fld::CorrectMethod, bank))};
            for (const auto& pt : lastProfile_) {
                rec.push_back(static_cast<uint16_t>(pt.x));
                rec.push_back(static_cast<uint16_t>(pt.z));
            }
            masters_[static_cast<size_t>(bank)] = std::move(rec);
            return Ok(cmd);
        }
        case GET_PROF_CORR:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out()
                               .W(static_cast<uint16_t>(corr_.dz / 2))
                               .W(static_cast<uint16_t>(corr_.dx / 2))
                               .W(static_cast<uint16_t>(corr_.tilt)));

        // Areas and calculations.
        case SET_AREA_MOD: {
            int idx = 0;
            if (uint16_t e = pairIndex(4, idx)) return Err(e);
            const int maxFunc = Soft(0x4B) ? kInflect : kInflect - 1;
            if (!w.IsByte(1) || w.W(1) > maxFunc) return Err(kErrData);
            return setField(Fld::AFunc, w.W(1), idx);
        }
        case AREA_RECT: {
            if (n < 5) return Err(kErrShort);
            if (n != 5 || w.W(0) > 3) return Err(kErrData);
            const int a = w.W(0);
            const int y0 = w.S(1), x0 = w.S(2), y1 = w.S(3), x1 = w.S(4);
            if (x0 >= x1 || y0 >= y1 || !InRange(y0, Fld::ATop) || !InRange(x0, Fld::ALeft) ||
                !InRange(y1, Fld::ABottom) || !InRange(x1, Fld::ARight)) {
                return Err(kErrData);
            }
            SetRaw(mem_, Fld::ATop, bank, y0, a);
            SetRaw(mem_, Fld::ALeft, bank, x0, a);
            SetRaw(mem_, Fld::ABottom, bank, y1, a);
            SetRaw(mem_, Fld::ARight, bank, x1, a);
            return Ok(cmd);
        }
        case SET_AREA_INFL:
            return pairWord(Fld::AInfl, 4, true);
        case GET_AREA_STAT: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 3) return Err(kErrData);
            return Ok(cmd, Out().W(static_cast<uint16_t>(areas_[w.W(0)].result)));
        }
        case SET_AREA_DIR:  // the edge direction
            return pairByte(Fld::ASDR, 4, 1);
        case SET_AREA_SDR:  // the size/diameter direction
            return pairByte(Fld::ADir, 4, 1);
        case SET_AREA_CMP:
            return pairByte(Fld::ACmp, 4, 1);
        case SET_CAL_A:
        case SET_CAL_B:
        case SET_CAL_CMD: {
            int calc = 0;
            if (uint16_t e = calcIndex(calc)) return Err(e);
            const int maxValue = cmd == SET_CAL_CMD ? 1 : 3;
            if (!w.IsByte(1) || w.W(1) > maxValue) return Err(kErrData);
            const Fld f = cmd == SET_CAL_A ? Fld::OpA : cmd == SET_CAL_B ? Fld::OpB : Fld::OpOp;
            return setField(f, w.W(1), calc);
        }
        case SET_CAL_SPAN:
            return pairWord(Fld::Span, 6, false);
        case SET_CAL_AVG: {
            auto r = pairWord(Fld::Ave, 4, false);
            if (r[2] != 0xE0) avgWindow_[w.W(0)].clear();
            return r;
        }
        case SET_CAL_HLD:
            return pairByte(Fld::Hold, 6, 3);
        case GET_MEAS: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 5) return Err(kErrData);
            return Ok(cmd, Out().L(static_cast<uint32_t>(channel_[w.W(0)])));
        }

        // Outputs and inputs.
        case SET_GPIO_OMODE:
            return pairByte(Fld::OAction, 3, 5);
        case SET_LASER:
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 1) return Err(kErrData);
            laserOn_ = w.W(0) != 0;
            return Ok(cmd);
        case GET_LASER:
            return getWord(laserOn_ ? 1 : 0);
        case SET_GPIO_OPOLAR:
            return pairByte(Fld::OPolar, 3, 1);
        case SET_GPIO_ONT:
            return oneByte(Fld::GpioOnT, 1);
        case SET_GPIO_OTIME:
            return pairWord(Fld::OTime, 3, false);
        case SET_GPIO_ULMT:
            return pairWord(Fld::OULimit, 4, true);
        case SET_GPIO_LLMT:
            return pairWord(Fld::OLLimit, 4, true);
        case SET_GPIO_INCH:
            return pairByte(Fld::OCh, 4, 5);
        case GET_GPIO_OUT: {
            const uint16_t s = StatusWord();
            return getWord((s >> 4) & 7);
        }
        case ZERO_SET:
            return ZeroSet(p, true);
        case ZERO_CLR:
            return ZeroSet(p, false);
        case SET_SHIFT_ZERO: {
            int idx = 0;
            if (uint16_t e = pairIndex(4, idx)) return Err(e);
            const int ch = GetRaw(mem_, Fld::OCh, bank, idx);
            if (ch > 5) return Err(kErrData);
            return setField(Fld::Offset, w.S(1), ch);
        }
        case SET_HOLD_STATE:
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 1) return Err(kErrData);
            if (!holdOn_ && w.W(0)) heldValid_.fill(false);
            holdOn_ = w.W(0) != 0;
            return Ok(cmd);
        case GET_HOLD_STATE:
            return getWord(holdOn_ ? 1 : 0);
        case GET_OUT_VAL: {
            if (n < 1) return Err(kErrShort);
            const int maxOut = Soft(0x4C) ? 3 : 2;
            if (n != 1 || w.W(0) > maxOut) return Err(kErrData);
            const int ch = GetRaw(mem_, Fld::OCh, bank, w.W(0));
            const int32_t v = ch <= 5 ? channel_[static_cast<size_t>(ch)] : kNoValue;
            return Ok(cmd, Out().L(static_cast<uint32_t>(v)));
        }
        case SET_GPIO_HYS:
            return pairWord(Fld::OHys, 3, false);
        case GET_ZERO_STATE: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 2) return Err(kErrData);
            const int o = w.W(0);
            const int ch = GetRaw(mem_, Fld::OCh, bank, o);
            const bool on = zeroFlag_[static_cast<size_t>(o)] ||
                            (ch <= 5 && GetRaw(mem_, Fld::ZAdj, bank, ch) != 0);
            return Ok(cmd, Out().W(on ? 1 : 0));
        }
        case GET_ANA_VAL: {
            if (!Soft(0x4C)) return Err(kErrCmd);
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) != 3) return Err(kErrData);
            const int ch = GetRaw(mem_, Fld::OCh, bank, 3);
            const int32_t v = ch <= 5 ? channel_[static_cast<size_t>(ch)] : kNoValue;
            const int32_t off = ch <= 5 ? GetRaw(mem_, Fld::Offset, bank, ch) * 10 : 0;
            const int64_t u = int64_t{GetRaw(mem_, Fld::OULimit, bank, 3)} + off;
            const int64_t l = int64_t{GetRaw(mem_, Fld::OLLimit, bank, 3)} + off;
            int64_t ua = 24000;
            if (v != kNoValue && l < u) {
                ua = (int64_t{v} - l) * 16000 / (u - l) + 4000;
                if (ua < 0 || ua > 24000) ua = 24000;
            }
            return Ok(cmd, Out().L(static_cast<uint32_t>(ua)));
        }
        case SET_GPIO_IMODE:
            return pairByte(Fld::Input, 4, 1);
        case SET_GPIO_IFILL:
        case SET_GPIO_ZOUT: {
            if (n < 1) return Err(kErrShort);
            const Fld f = cmd == SET_GPIO_IFILL ? Fld::InputFilter : Fld::ZeroTarget;
            if (n != 1 || !InRange(w.W(0), f)) return Err(kErrData);
            SetRaw(mem_, f, 0, w.W(0));
            return Ok(cmd, Out().W(w.W(0)));  // echoes the accepted value
        }
        case SET_INT_TRIG:
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 1) return Err(kErrData);
            if (!intTrig_ && w.W(0)) burstLeft_ = 0;
            intTrig_ = w.W(0) != 0;
            return Ok(cmd);
        case GET_INT_TRIG:
            return getWord(intTrig_ ? 1 : 0);
        case RUN_RESET:
            if (n != 0) return Err(kErrData);
            for (auto& a : avgWindow_) a.clear();
            heldValid_.fill(false);
            markValid_.fill(false);
            return Ok(cmd);
        case SET_GPIO_IPOLAR: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 1) return Err(kErrData);
            const int32_t polar = GetRaw(mem_, Fld::InputsPolar, 0);
            SetRaw(mem_, Fld::InputsPolar, 0, w.W(0) ? (polar | 0x55) : (polar & ~0x55));
            return Ok(cmd);
        }
        default:
            break;
    }
    if (cmd >= GET_STR_COUNT2 && cmd <= GET_STR_RPT) return Storage(cmd, p);
    return Err(kErrCmd);
}

// ---------------------------------------------------------------- memory

uint16_t SensorModel::ReadWord(uint32_t a) {
    if (a >= kParamBase && a < kParamBase + kParamWords) return mem_[a - kParamBase];
    if (a >= kMasterTransfer && a < kMasterTransfer + kMasterTransferWords) {
        return transfer_[a - kMasterTransfer];
    }
    if (a >= kLiveProfileBase && a < kLiveProfileBase + kLiveSlots * kLiveSlotWords) {
        const auto& slot = liveSlots_[(a - kLiveProfileBase) / kLiveSlotWords];
        const uint32_t off = (a - kLiveProfileBase) % kLiveSlotWords;
        return off < slot.size() ? slot[off] : 0;
    }
    if (a >= kMasterBase && a < kMasterBase + kBanks * 0x1000) {
        const auto& m = masters_[(a - kMasterBase) / 0x1000];
        const uint32_t off = (a - kMasterBase) % 0x1000;
        if (m.empty()) return 0xFFFF;
        return off < m.size() ? m[off] : 0;
    }
    if (a >= kImageBase && a < kImageBase + kImageSlots * kImageSlotWords) {
        const auto& img = images_[(a - kImageBase) / kImageSlotWords];
        const size_t off = (a - kImageBase) % kImageSlotWords;
        if (2 * off + 1 >= img.pixels.size()) return 0;
        return static_cast<uint16_t>((img.pixels[2 * off] << 8) | img.pixels[2 * off + 1]);
    }
    if (a >= kDataStorageBase && a < kDataStorageBase + 65535u * 16) {
        const uint32_t off = a - kDataStorageBase;
        const size_t rec = off / 16;
        if (rec >= records_.size()) return 0;
        const uint32_t v = static_cast<uint32_t>(records_[rec].v[(off % 16) / 2]);
        return static_cast<uint16_t>(off % 2 == 0 ? v & 0xFFFF : v >> 16);
    }
    if (a >= kProfileStorageBase &&
        a < kProfileStorageBase + uint32_t{kMaxStoredProfiles} * kStoredProfileWords) {
        const uint32_t off = a - kProfileStorageBase;
        const size_t idx = off / kStoredProfileWords;
        if (idx >= storedProfiles_.size()) return 0;
        const auto& prof = storedProfiles_[idx];
        const uint32_t wordIdx = off % kStoredProfileWords;
        return wordIdx < prof.size() ? prof[wordIdx] : 0;
    }
    return 0;  // unmapped memory reads as zero
}

std::vector<uint8_t> SensorModel::MemRead(uint16_t cmd, Payload p, bool wide) {
    if (p.size() < 6) return Err(kErrShort);
    if (p.size() != 6) return Err(kErrData);
    const Words w(p);
    const uint32_t addr = w.L(0);
    const int count = p[4];
    const int mode = p[5];
    const uint32_t stride = (mode & 0x0F) ? (mode & 0x0F) : 1;
    const uint32_t elem = (mode & 0xF0) ? ((mode >> 4) & 0x0F) : 1;
    const uint32_t words = wide ? uint32_t(count) * elem * 4 : uint32_t(count) * elem;
    if (count == 0 || words > (wide ? 1012u : 253u)) return Err(kErrData);
    Out o;
    o.L(addr);
    const uint32_t elements = words / elem;
    for (uint32_t i = 0; i < elements; ++i) {
        const uint32_t base = addr + i * stride * elem;
        for (uint32_t k = 0; k < elem; ++k) o.W(ReadWord(base + k));
    }
    return wide ? BuildWideReply(cmd, o.b) : BuildReply(cmd, o.b);
}

std::vector<uint8_t> SensorModel::MemWrite(Payload p) {
    if (p.size() < 6) return Err(kErrShort);
    const Words w(p);
    const uint32_t addr = w.L(0);
    const size_t n = w.Count() - 2;
    if (n > 253) return Err(kErrData);
    const bool inParams = addr >= kParamBase && addr + n <= kParamBase + kParamWords;
    const bool inTransfer =
        addr >= kMasterTransfer && addr + n <= kMasterTransfer + kMasterTransferWords;
    if (!inParams && !inTransfer) return Err(kErrData);
    if (cfg_.memWriteOk >= 0 && memWrites_++ >= cfg_.memWriteOk) return Err(kErrExe);
    for (size_t i = 0; i < n; ++i) {
        const uint16_t v = w.W(2 + i);
        if (inParams)
            mem_[addr - kParamBase + i] = v;
        else
            transfer_[addr - kMasterTransfer + i] = v;
    }
    return Ok(MEM_WRITE);
}

std::vector<uint8_t> SensorModel::EpmWrite(Payload p) {
    if (p.size() < 2) return Err(kErrShort);
    if (p.size() != 2 || p[0] > 1) return Err(kErrData);
    const int bank = p[1];
    if (bank > 7 && bank != 15) return Err(kErrData);
    if (epmExeLeft_ > 0) {
        --epmExeLeft_;
        return Err(kErrExe);
    }
    // The header and Sys block go along with every write.
    std::copy(mem_.begin(), mem_.begin() + kBankWord, eeprom_.begin());
    for (int b = 0; b < kBanks; ++b) {
        if (bank != 15 && b != bank) continue;
        const auto from = mem_.begin() + kBankWord + kBankWords * b;
        std::copy(from, from + kBankWords, eeprom_.begin() + kBankWord + kBankWords * b);
        eepromMasters_[static_cast<size_t>(b)] = masters_[static_cast<size_t>(b)];
    }
    try {
        SaveEeprom();
    } catch (const kd::EKestError&) {
        return Err(kErrExe);
    }
    return Ok(EPM_WRITE);
}

std::vector<uint8_t> SensorModel::EepromInit(Payload p) {
    if (p.size() < 2) return Err(kErrShort);
    const Words w(p);
    if (p.size() != 2 || w.W(0) > 1) return Err(kErrData);
    const ParamWords& f = FactoryImage();
    if (w.W(0) == 1) {
        const int bank = CurrentBank();
        const auto off = static_cast<std::ptrdiff_t>(kBankWord + kBankWords * bank);
        std::copy(f.begin() + off, f.begin() + off + kBankWords, mem_.begin() + off);
        std::copy(f.begin() + off, f.begin() + off + kBankWords, eeprom_.begin() + off);
        masters_[static_cast<size_t>(bank)].clear();
        eepromMasters_[static_cast<size_t>(bank)].clear();
    } else {
        mem_ = f;
        eeprom_ = f;
        for (auto& m : masters_) m.clear();
        for (auto& m : eepromMasters_) m.clear();
    }
    for (auto& a : avgWindow_) a.clear();
    zeroFlag_.fill(false);
    try {
        SaveEeprom();
    } catch (const kd::EKestError&) {
        return Err(kErrExe);
    }
    return Ok(EEPROM_INIT);
}

std::vector<uint8_t> SensorModel::MstWrite(Payload p) {
    if (!Soft(0x46)) return Err(kErrCmd);
    if (p.size() < 2) return Err(kErrShort);
    const Words w(p);
    if (p.size() != 2 || w.W(0) > 7) return Err(kErrData);
    const uint32_t count = transfer_[2] >> 5;
    const size_t words = 4 + 2 * size_t{count};
    if (words > kMasterTransferWords) return Err(kErrData);
    auto& m = masters_[w.W(0)];
    if (count == 0 || transfer_[0] == 0xFFFF) {
        m.clear();
    } else {
        m.assign(transfer_.begin(), transfer_.begin() + static_cast<std::ptrdiff_t>(words));
    }
    return Ok(MST_WRITE);
}

std::vector<uint8_t> SensorModel::GetMstAddr(Payload p) {
    const Words w(p);
    int bank = CurrentBank();
    if (Soft(0x46)) {
        if (w.Count() > 1) return Err(kErrData);
        if (w.Count() == 1) {
            if (w.W(0) > 7) return Err(kErrData);
            bank = w.W(0);
        }
    } else if (w.Count() != 0) {
        return Err(kErrData);  // older sensors keep one master, of the current bank
    }
    const bool has = !masters_[static_cast<size_t>(bank)].empty();
    const uint32_t addr = has ? kMasterBase + 0x1000u * static_cast<uint32_t>(bank) : 0xFFFFFFFFu;
    return Ok(GET_MST_ADDR, Out().L(addr));
}

std::vector<uint8_t> SensorModel::ZeroSet(Payload p, bool set) {
    const uint16_t cmd = set ? ZERO_SET : ZERO_CLR;
    if (p.size() < 2) return Err(kErrShort);
    const Words w(p);
    if (p.size() != 2 || w.W(0) > 2) return Err(kErrData);
    const int o = w.W(0);
    const int bank = CurrentBank();
    const int ch = GetRaw(mem_, Fld::OCh, bank, o);
    if (ch > 5) return Err(kErrData);
    if (set) {
        const int32_t v = PreZeroValue(ch);
        if (v == kNoValue || v < -32767 || v > 32767) return Err(kErrData);
        SetRaw(mem_, Fld::ZAdj, bank, v, ch);
        zeroFlag_[static_cast<size_t>(o)] = true;
        channel_[static_cast<size_t>(ch)] = 0;
    } else {
        SetRaw(mem_, Fld::ZAdj, bank, 0, ch);
        zeroFlag_[static_cast<size_t>(o)] = false;
        channel_[static_cast<size_t>(ch)] = PreZeroValue(ch);
    }
    return Ok(cmd);
}

std::vector<uint8_t> SensorModel::Storage(uint16_t cmd, Payload p) {
    if (cfg_.noStorage) return Err(kErrCmd);
    const Words w(p);
    const size_t n = w.Count();
    const Fld rpt = (cfg_.version[2] >= 1 && cfg_.version[2] <= 0x4B) ? Fld::StrRpt2 : Fld::StrRpt3;
    auto get = [&](int32_t v) {
        if (n != 0) return Err(kErrData);
        return Ok(cmd, Out().W(static_cast<uint16_t>(v)));
    };
    auto set = [&](Fld f, int32_t v) {
        if (n < 1) return Err(kErrShort);
        if (n != 1) return Err(kErrData);
        if (!InRange(v, f)) return Err(kErrData);
        SetRaw(mem_, f, 0, v);
        return Ok(cmd);
    };
    const size_t held = records_.size();
    switch (cmd) {
        case GET_STR_COUNT2:
            if (!Soft(0x4C)) return Err(kErrCmd);
            return get(static_cast<int32_t>(std::min<uint32_t>(strCount2_, 0xFFFF)));
        case GET_STR_ADDR:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out().L(kDataStorageBase).L(kProfileStorageBase));
        case STR_RUN: {
            if (n < 1) return Err(kErrShort);
            if (n != 1 || w.W(0) > 2) return Err(kErrData);
            strRun_ = w.W(0);
            if (strRun_ == 0) {
                if (strState_ == 1) records_.clear();  // the start condition never came
                strState_ = 0;
                return Ok(cmd);
            }
            SetRaw(mem_, Fld::StrTgt, 0, strRun_);
            records_.clear();
            storedProfiles_.clear();
            strCount2_ = 0;
            strSkip_ = 0;
            strAfter_ = 0;
            strDelay_ = 0;
            strState_ = 1;
            return Ok(cmd);
        }
        case GET_STR_RUN:
            return get(strRun_);
        case GET_STR_COUNT:
            return get(static_cast<int32_t>(strState_ == 1 ? 0 : std::min<size_t>(held, 0xFFFF)));
        case GET_STR_STATE:
            return get(strState_);
        case SET_STR_BUF:
            return set(Fld::StrBuf, n == 1 ? w.W(0) : 0);
        case GET_STR_BUF:
            return get(GetRaw(mem_, Fld::StrBuf, 0));
        case SET_STR_STT:
            return set(Fld::StrStt, n == 1 ? w.W(0) : 0);
        case GET_STR_STT:
            return get(GetRaw(mem_, Fld::StrStt, 0));
        case SET_STR_STL:
            return set(Fld::StrStl, n == 1 ? w.S(0) : 0);
        case GET_STR_STL:
            return get(GetRaw(mem_, Fld::StrStl, 0));
        case SET_STR_STC:
            return set(Fld::StrStc, n == 1 ? w.W(0) : 0);
        case GET_STR_STC:
            return get(GetRaw(mem_, Fld::StrStc, 0));
        case SET_STR_THD: {
            if (n < 2) return Err(kErrShort);
            if (n != 2) return Err(kErrData);
            const auto v = static_cast<int32_t>(w.L(0));
            if (!InRange(v, Fld::StrThd)) return Err(kErrData);
            SetRaw(mem_, Fld::StrThd, 0, v);
            return Ok(cmd);
        }
        case GET_STR_THD:
            if (n != 0) return Err(kErrData);
            return Ok(cmd, Out().L(static_cast<uint32_t>(GetRaw(mem_, Fld::StrThd, 0))));
        case SET_STR_SMP:
            return set(Fld::StrSmp, n == 1 ? w.W(0) : 0);
        case GET_STR_SMP:
            return get(GetRaw(mem_, Fld::StrSmp, 0));
        case SET_STR_RPT:
            return set(rpt, n == 1 ? w.W(0) : 0);
        case GET_STR_RPT:
            return get(GetRaw(mem_, rpt, 0));
        default:
            return Err(kErrCmd);
    }
}

}  // namespace kdsim
