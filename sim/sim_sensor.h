#pragma once
// The simulated sensor served on a pseudo-terminal from its own thread. The
// program side opens Path() like a serial port, as often as it likes; the
// sensor keeps serving until Stop().
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/sim_codec.h"
#include "sim/sim_faults.h"
#include "sim/sim_model.h"
#include "sim/sim_options.h"

namespace kdsim {

class SimSensor {
  public:
    explicit SimSensor(SimOptions options);
    ~SimSensor();
    SimSensor(const SimSensor&) = delete;
    SimSensor& operator=(const SimSensor&) = delete;

    // Opens the pseudo-terminal, starts serving and returns the path of the
    // program's side. Throws kd::EKestError when anything cannot be set up.
    std::string Start();
    void Stop();
    const std::string& Path() const { return path_; }

    // Runs f with the model while the serving thread is held off.
    void WithModel(const std::function<void(SensorModel&)>& f);

    // A rig in this process may say when the program wrote each request:
    // paced replies are then timed from that moment, as on a line that starts
    // carrying a request at once, instead of from when this sensor noticed it
    // (its own late wake-up would otherwise count as the program's time).
    void RequestWritten(uint64_t tickUs) { requestWrittenUs_ = tickUs; }

    struct Stats {
        uint64_t requests = 0;  // valid request frames
        uint64_t replies = 0;   // replies sent (whole or damaged)
        uint64_t junkBytes = 0;
        // Paced replies: how late the last byte reached the program against
        // a reply started on time (the request crossed the line, the latency
        // passed), the sensor's own late wake-ups included (histogram in steps
        // of 10 µs, the last open-ended).
        uint64_t lateCount = 0, lateSumUs = 0, lateMaxUs = 0;
        std::array<uint64_t, 20> lateHist{};
        uint64_t ptyUs = 0;  // the pseudo-terminal's delivery time counted as wire time
    };
    Stats GetStats() const;

  private:
    void Serve();
    void HandleFrame(const ScanEvent& ev, uint64_t firstByteUs);
    bool WriteOut(const std::vector<uint8_t>& bytes, uint64_t startUs, uint64_t dueUs);
    void NoteLateness(uint64_t deliveredUs, uint64_t dueUs);
    // When a piece whose last byte is off the wire at wireDoneUs reaches the
    // program through the USB adapter's frames (--usb-frame-us).
    uint64_t UsbDelivery(uint64_t wireDoneUs) const;
    void CalibrateTerminal(int slave);
    bool WaitUntil(uint64_t tickUs);
    uint32_t LineBaud();
    uint64_t ModelNow();
    void Trace(const char* dir, const std::vector<uint8_t>& bytes);
    void TraceNote(const std::string& text);

    SimOptions opt_;
    FaultConfig faults_;
    FaultRng rng_;
    std::unique_ptr<SensorModel> model_;
    std::mutex modelMutex_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    uint64_t startUs_ = 0;
    uint64_t modelClock_ = 0;
    uint32_t lineBaud_ = 0;  // the port's rate, read again every 100 ms
    uint64_t lineBaudAt_ = 0;
    uint64_t ptyUs_ = 0;  // one-way delivery time of the pseudo-terminal (paced only)
    std::atomic<uint64_t> requestWrittenUs_{0};
    uint64_t lastFrameUs_ = 0;  // when the last request frame was taken
    FILE* trace_ = nullptr;
    mutable std::mutex statsMutex_;
    Stats stats_;
};

}  // namespace kdsim
