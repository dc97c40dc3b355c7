#pragma once
// The simulated sensor behind the frames: parameter memory, masters, the
// moving scene, live profiles, camera pictures, measurements, outputs and
// storage. Single-threaded: the serving thread owns it. Time is given by the
// caller in microseconds, so the model is deterministic for a given sequence
// of requests and times.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_measure.h"
#include "sim/sim_params.h"

namespace kdsim {

// Memory map (16-bit word addresses).
constexpr uint32_t kMasterTransfer = 0xD000;  // 4096 words
constexpr uint32_t kMasterTransferWords = 4096;
// The permanent memory file: the image, "KDSM" and eight records at most that long.
constexpr size_t kMaxEepromFileBytes = 2048 + 4 + 8 * (2 + 2 * size_t{kMasterTransferWords});
constexpr uint32_t kLiveProfileBase = 0x10000;  // 8 slots of 0x1000 words
constexpr uint32_t kLiveSlots = 8;
constexpr uint32_t kLiveSlotWords = 0x1000;
constexpr uint32_t kMasterBase = 0x20000;  // one 0x1000-word record per bank
constexpr uint32_t kImageBase = 0x100000;  // 4 slots of 0x80000 words
constexpr uint32_t kImageSlots = 4;
constexpr uint32_t kImageSlotWords = 0x80000;
constexpr uint32_t kDataStorageBase = 0x400000;
constexpr uint32_t kProfileStorageBase = 0x800000;
constexpr uint32_t kStoredProfileWords = 2048;
constexpr int kMaxStoredProfiles = 8000;

constexpr int kSensorPixels = 800;
constexpr double kXPerPixel = 37.5;  // µm of x per sensor column
constexpr double kZPerPixel = 72.5;  // µm of z per view row

struct ModelConfig {
    std::array<uint16_t, 3> version = {0x53, 0x6D, 0x50};  // FPGA, BIOS, software
    bool noStorage = false;
    int epmExeFaults = 0;    // answer the first n EEPROM writes with ERR_EXE
    int memWriteOk = -1;     // >= 0: answer memory writes after the first n with ERR_EXE
    std::string eepromPath;  // permanent memory file; empty: kept in memory only
    uint64_t seed = 1;       // noise of the scene
    // Least time between two profiles worked out in full (shorter sampling
    // periods still count every profile); the demo sets more to spare the
    // machine it shares with the program.
    uint64_t computeUs = 1000;
    // Storage set up for a recording that ends (1000 records, every sample,
    // no repeat), so that the demo's Start gives a whole recording.
    bool demoStorage = false;
};

struct Correction {
    int dz = 0;    // µm
    int dx = 0;    // µm
    int tilt = 0;  // 1/128 degree
};

class SensorModel {
  public:
    explicit SensorModel(ModelConfig config);

    // One request at model time nowUs; returns the whole reply frame.
    std::vector<uint8_t> Handle(uint16_t command, std::span<const uint8_t> payload, uint64_t nowUs);
    // Lets the sensor run up to nowUs (profiles, measurements, outputs, storage).
    void Advance(uint64_t nowUs);

    // Inspection for tests and the in-process host.
    const ParamWords& Params() const { return mem_; }
    ParamWords& MutableParams() { return mem_; }
    const ParamWords& Eeprom() const { return eeprom_; }
    uint16_t ReadWord(uint32_t address);
    int CurrentBank() const { return GetRaw(mem_, Fld::Bank, 0) & 7; }
    uint32_t SamplingPeriodUnits() const;  // 5 µs units
    uint32_t ProfileNumber() const { return profileNo_; }
    const std::vector<ProfilePt>& LastProfile() const { return lastProfile_; }
    int32_t ChannelValue(int ch) const { return channel_[static_cast<size_t>(ch)]; }
    uint16_t StatusWord() const;
    Correction LastCorrection() const { return corr_; }
    uint64_t Now() const { return now_; }
    // The scene's surface at x (µm) and time; reflectance through refl.
    double SceneZ(double x, double tSec, double* refl) const;
    mutable double poseT_ = -1, poseDrift_ = 0, poseBob_ = 0;  // SceneZ's pose of the part
    // Loads the permanent memory file; throws kd::EKestError on a bad file.
    void LoadEeprom(const std::string& path);
    // The same from the file's bytes; path names the file in messages.
    void LoadEepromData(const std::string& data, const std::string& path);
    // One sample with an explicit profile instead of the scene (tests).
    void InjectProfile(const std::vector<ProfilePt>& profile);

  private:
    struct Reply;
    using Payload = std::span<const uint8_t>;

    std::vector<uint8_t> Dispatch(uint16_t cmd, Payload p);
    std::vector<uint8_t> MemRead(uint16_t cmd, Payload p, bool wide);
    std::vector<uint8_t> MemWrite(Payload p);
    std::vector<uint8_t> EpmWrite(Payload p);
    std::vector<uint8_t> EepromInit(Payload p);
    std::vector<uint8_t> MstWrite(Payload p);
    std::vector<uint8_t> GetMstAddr(Payload p);
    std::vector<uint8_t> Storage(uint16_t cmd, Payload p);
    std::vector<uint8_t> ZeroSet(Payload p, bool set);
    void SaveEeprom();

    // Sampling.
    void Sample(uint64_t tUs, const std::vector<ProfilePt>* injected);
    std::vector<ProfilePt> MakeProfile(uint64_t tUs, std::vector<uint16_t>& second);
    void StoreLiveProfile(const std::vector<ProfilePt>& prof, const std::vector<uint16_t>& second,
                          uint64_t tUs);
    Correction ComputeCorrection(const std::vector<ProfilePt>& prof) const;
    void UpdateChannels(const std::array<AreaOutcome, 4>& areas);
    void UpdateOutputs(uint64_t tUs);
    bool OutputAt(int o, uint64_t tUs) const;  // logical state after the output's action
    void UpdateStorage(uint64_t tUs, const std::vector<ProfilePt>& prof);
    void RenderImage(uint32_t number);
    int PeakIntensity(double refl, int shutterRaw) const;
    bool Masked(double viewX, double viewY) const;
    void FinishAe();
    int32_t PreZeroValue(int ch) const { return preZero_[static_cast<size_t>(ch)]; }
    bool Soft(uint16_t atLeast) const { return cfg_.version[2] >= atLeast; }

    ModelConfig cfg_;
    ParamWords mem_{};
    ParamWords eeprom_{};
    std::array<std::vector<uint16_t>, kBanks> masters_;  // empty: no master
    std::array<std::vector<uint16_t>, kBanks> eepromMasters_;
    std::vector<uint16_t> transfer_ = std::vector<uint16_t>(kMasterTransferWords, 0);
    std::array<uint8_t, 2048> mask_{};
    int epmExeLeft_ = 0;
    int memWrites_ = 0;

    uint64_t now_ = 0;
    uint64_t nextSample_ = 0;
    uint64_t lastComputed_ = 0;
    uint32_t profileNo_ = 0;
    // Live profiles go round the slots, passing over the one the program was
    // last given, so that a slow read of it is never overwritten.
    std::array<std::vector<uint16_t>, kLiveSlots> liveSlots_;
    uint32_t newestSlot_ = 0;
    uint32_t latchedSlot_ = kLiveSlots;  // none
    static constexpr uint32_t kTimeRing = 64;
    std::array<uint64_t, kTimeRing> sampleTimes_{};  // time of profile (and image) n % 64
    uint32_t latchedImage_ = 0;                      // number given by the last GET_IMG_NO
    uint64_t latchedImageTime_ = 0;
    uint64_t ImageTime(uint32_t number) const;
    bool ImageAvailable(uint32_t number) const;
    std::vector<ProfilePt> lastProfile_;
    std::vector<int> heldZ_;      // last z per point, for the alarm limit
    std::vector<int> missCount_;  // profiles missed in a row per point
    Correction corr_;
    std::array<AreaOutcome, 4> areas_{};

    struct Image {
        uint32_t number = 0xFFFFFFFF;
        std::vector<uint8_t> pixels;
    };
    std::array<Image, kImageSlots> images_;

    // Channels and outputs.
    std::array<std::deque<int32_t>, 6> avgWindow_;
    std::array<int32_t, 6> preZero_{};
    std::array<int32_t, 6> channel_{};
    std::array<int32_t, 6> held_{};
    std::array<bool, 6> heldValid_{};
    std::array<bool, 3> judge_{};           // judgement: on while the value lies within the limits
    std::array<uint64_t, 3> actionMark_{};  // time of the edge or sample an action times from
    std::array<bool, 3> markValid_{};
    std::array<bool, 3> zeroFlag_{};
    bool laserOn_ = true;
    bool holdOn_ = false;
    bool intTrig_ = false;
    bool camRunning_ = true;
    int sysMode_ = 0;
    uint32_t burstLeft_ = 0;
    uint32_t burstIdle_ = 0;
    uint64_t aeUntil_ = 0;
    bool aeRunning_ = false;

    // Storage.
    struct Record {
        std::array<int32_t, 8> v;
    };
    int strRun_ = 0;    // 0 stopped, 1 data, 2 profiles and data
    int strState_ = 0;  // 0 idle, 1 waiting for the start condition, 2 recording, 3 paused
    uint32_t strSkip_ = 0;
    int32_t strAfter_ = 0;  // records still to store after the trigger (positive start pos)
    int32_t strDelay_ = 0;  // records to skip after the trigger (positive start pos)
    uint32_t strCount2_ = 0;
    std::deque<Record> records_;
    std::deque<std::vector<uint16_t>> storedProfiles_;
};

}  // namespace kdsim
