#pragma once
// What a profile frame needs from the program around it: the parameter image
// of the current bank, the device link for AREA_RECT, the master profile of
// the bank shown, and the program-wide switches. The main window implements
// it; tests use the defaults or fill in their own.
#include <optional>
#include <span>

#include "measure/measure_access.h"
#include "measure/profile_data.h"

namespace kd {

class IProfileFrameHost {
  public:
    virtual ~IProfileFrameHost() = default;
    // The parameter image; nullptr reads every key as 0.
    virtual IParamAccess* Params() { return nullptr; }
    // True while the device link is open.
    virtual bool LinkOpen() const { return false; }
    // Sends an area rectangle (AREA_RECT through the worker, which orders and
    // clamps it) and returns the values sent. Returns nothing when the sensor
    // refuses it with a data error; other link failures throw.
    virtual std::optional<AreaBounds> SendAreaRect(int /*area*/, const AreaBounds& r) { return r; }
    // Master profile of the bank shown by the main window (may be empty).
    virtual std::span<const ProfilePoint> MasterProfile() const { return {}; }
    // CameraLive: the camera page is fetching a picture.
    virtual bool CameraLive() const { return false; }
    // Display unit: 0 millimetres, 1 micrometres.
    virtual int DisplUnit() const { return 0; }
};

}  // namespace kd
