#pragma once
// What the measurement page needs from the program around it: the parameter
// image, the live caches, the program-wide link state, the worker's profile
// task and synchronous commands, and the main window's page switching. The
// main window implements it over TKestThread, TKestParam and its state
// structs; tests fill it in.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "measure/measure_access.h"
#include "measure/measure_page_logic.h"
#include "measure/profile_data.h"
#include "measure/value_text.h"

namespace kd {

// Sensor commands the page sends (the same codes as the link catalogue).
namespace measure_cmd {
constexpr uint16_t GET_PROF_CORR = 0x401D;
constexpr uint16_t SET_LASER = 0xA002;
constexpr uint16_t ZERO_SET = 0xA011;
constexpr uint16_t ZERO_CLR = 0xA012;
constexpr uint16_t SET_HOLD_STATE = 0xA015;
constexpr uint16_t SET_INT_TRIG = 0xC005;
constexpr uint16_t RUN_RESET = 0xC009;
}  // namespace measure_cmd

constexpr int kMeasurePageCode = 0x10;
constexpr uint16_t kMemReadSensorMode = 0x111;
constexpr uint32_t kSensorParamBase = 1024;

class IMeasureHost {
  public:
    virtual ~IMeasureHost() = default;

    // --- image and program-wide state ---
    virtual IParamAccess* Params() = 0;
    virtual MeasureLive Live() const = 0;  // caches, version, sampling period
    virtual int LinkState() const = 0;     // 0 none, 1 last poll failed, 2 polling
    virtual int CurrentPage() const = 0;
    virtual bool CameraLive() const = 0;
    virtual int DisplDecimal() const = 0;
    virtual MeasModeTexts ModeTexts() const = 0;

    // --- worker ---
    virtual bool TaskRunning() const = 0;
    virtual void RequestAbort() = 0;
    // StartProfiles connects first (a new connection count); RequestProfiles
    // does not. onDone runs on the user-interface thread for every profile;
    // it may throw EKestError ("illegal prof_size;...") or a link failure,
    // which the caller hands to the program's exception handler.
    virtual void StartProfiles(std::function<void()> onDone) = 0;
    virtual void RequestProfiles(std::function<void()> onDone) = 0;
    virtual int WorkerPointCount() const = 0;
    virtual std::span<const ProfilePoint> WorkerProfile() const = 0;
    // One command through the worker's lock with big-endian 16-bit payload
    // words; returns the reply payload, or nothing when the sensor answers
    // with a data error (ERR_DATA). Other failures throw.
    virtual std::optional<std::vector<uint8_t>> Command(uint16_t code,
                                                        std::vector<uint16_t> words) = 0;
    // MemRead of one word; nothing on a data error, other failures throw.
    virtual std::optional<uint16_t> MemReadWord(uint32_t address, uint16_t mode) = 0;

    // --- main window ---
    virtual void SettingTrigger() {}
    virtual void ViewDataLog() {}
    virtual void CommSettings1() {}
    // The output page's zero-set button k (0..2).
    virtual void SetOutputZeroButton(int /*k*/, bool /*down*/) {}
};

}  // namespace kd
