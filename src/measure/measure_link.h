#pragma once
// The measurement views' use of the communication worker: the profile task,
// one-command exchanges with the sensor's data error as a plain answer, the
// zero-adjust read-back and AREA_RECT. The main window's IMeasureHost and
// IProfileFrameHost forward their worker calls here.
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "link/kest_thread.h"
#include "measure/profile_data.h"

namespace kd {

// Points of the worker's profile buffer (host-order words, x then z), from
// its first entry on: the entry 0 is the buffer's head, as the plots expect.
void ProfilePointsFromWords(std::span<const uint16_t> words, std::span<ProfilePoint> out);
// Big-endian bytes of 16-bit payload words.
std::vector<uint8_t> PayloadWords(std::span<const uint16_t> words);

class TMeasureLink {
  public:
    explicit TMeasureLink(TKestThread& worker) : worker_(worker) {}

    bool LinkOpen() { return worker_.IsOpen(); }
    bool TaskRunning() const { return worker_.Task.load() != kTaskIdle; }
    void RequestAbort() { worker_.AbortRequested = true; }
    void StartProfiles(std::function<void()> onDone) { worker_.StartProfiles(std::move(onDone)); }
    void RequestProfiles(std::function<void()> onDone) {
        worker_.RequestProfiles(std::move(onDone));
    }
    int WorkerPointCount() const { return worker_.ProfileCount; }
    // The worker's profile as points; valid inside OnDone.
    std::span<const ProfilePoint> WorkerProfile();
    // ERR_DATA gives nothing; other failures throw.
    std::optional<std::vector<uint8_t>> Command(uint16_t code, std::span<const uint16_t> words);
    std::optional<uint16_t> MemReadWord(uint32_t address, uint16_t mode);
    std::optional<AreaBounds> SendAreaRect(int area, const AreaBounds& r);

  private:
    TKestThread& worker_;
    ProfileBufferArray points_{};
};

}  // namespace kd
