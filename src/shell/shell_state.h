#pragma once
// Program-wide state of the application shell, kept in plain structs owned by
// the main window (or a kdctl session) and handed on by reference.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "params/kest_param.h"
#include "params/sensor_version.h"

namespace kd {

// Page codes; the high nibble is the group.
constexpr uint8_t kPageMeasure = 0x10;
constexpr uint8_t kPageTrigger = 0x21;
constexpr uint8_t kPageCamera = 0x22;
constexpr uint8_t kPageProfile = 0x23;
constexpr uint8_t kPageArea = 0x24;
constexpr uint8_t kPageOperation = 0x25;
constexpr uint8_t kPageOutput = 0x26;
constexpr uint8_t kPageStoSett = 0x31;
constexpr uint8_t kPageStoDispl = 0x32;
constexpr uint8_t kPageStoProf = 0x33;
constexpr uint8_t kPageCommon = 0x90;

// System mode a page needs: 1 for camera, profile and area pages.
constexpr int SysModeOfPage(int code) {
    return (code == kPageCamera || code == kPageProfile || code == kPageArea) ? 1 : 0;
}

constexpr int32_t kNoValue32 = 0x7FFFFFFF;
constexpr int16_t kNoValue16 = 0x7FFF;

// Live values filled by the polling tick.
struct TLiveValues {
    std::array<int32_t, 6> Channels{};  // Area1..Area4, Calc1, Calc2
    std::array<int32_t, 4> Outputs{};   // OUT1..OUT3, analog output
    std::array<int16_t, 4> AreaResults{};
    int32_t AnalogCurrent = 0;  // microamperes; kept over a disconnection
    uint32_t OutputBits = 0;
    uint32_t OutputDisplayBits = 0;
    bool LaserOn = false;
    bool HoldOn = false;
    bool InternalTrigger = false;

    TLiveValues() { ResetValues(); }
    // The no-value marks of start-up and of every disconnection.
    void ResetValues() {
        Channels.fill(kNoValue32);
        Outputs.fill(kNoValue32);
        AreaResults.fill(kNoValue16);
    }
};

// Display unit and decimals of millimetre values.
struct TDisplaySettings {
    uint8_t DisplUnit = 0;  // 0 millimetres, 1 micrometres
    int DisplDecimal = 3;
};

// Link and page state shared by the main window and the workflows.
struct TShellState {
    int LinkState = 0;  // 0 not connected, 1 last poll failed, 2 polling
    uint8_t CurrentPage = 0;
    int CurrentBank = 0;
    bool SysModeActive = false;
    bool CameraLive = false;
    int StorageRunState = 0;  // 0 idle, 1 data storage, 2 profile storage
    int StorageRepeat = 0;
    // The storage pages' status poll; off from a sensor's refusal of the
    // storage commands (it has no storage) until the next connect.
    bool StoragePoll = true;
    // Set when a connection starts; the storage pages clear it once they
    // have asked the new sensor whether it has a storage.
    bool NewConnection = false;
    // The storage state word and the counts the data storage page polled last.
    int StorageState = 0;
    int StorageCount = 0;
    int StorageCount2 = 0;
    TSensorVersion SensorVersion;
    std::array<double, 2> SharedZoom{-1.0, -1.0};
};

}  // namespace kd
