#pragma once
// A session against the simulated sensor on a pseudo-terminal, through the
// real worker and serial code, with a host that records what the windows were
// asked to do and a reader of the sensor's frame trace.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/log.h"
#include "link/commands.h"
#include "link/kest_thread.h"
#include "params/kest_param.h"
#include "shell/session/kest_session.h"
#include "sim/sim_sensor.h"
#include "tests/support/test_timeouts.h"

namespace sessiontest {

// One request frame from the sensor's trace, in a form that is easy to compare:
// "NAME a,b" with the payload as decimal words; memory frames as
// "MEM_READ 0x420 124" (address, words) and EPM_WRITE as "EPM_WRITE flag,bank".
inline std::string DescribeRequest(const std::vector<uint8_t>& f) {
    if (f.size() < 6) return "short frame";
    const uint16_t code = static_cast<uint16_t>(f[2] << 8 | f[3]);
    const size_t n = 2 * size_t{f[1]};
    if (f.size() < 6 + n) return "cut frame";
    const uint8_t* p = f.data() + 4;
    std::string name = kd::CommandName(code);
    if ((code == kd::cmd::MEM_READ || code == kd::cmd::MEM_READ_WIDE) && n >= 6) {
        const uint32_t addr =
            uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
        const uint8_t mode = p[5];
        int elem = (mode >> 4) & 0xF;
        if (elem == 0) elem = 1;
        const int words = p[4] * elem * (code == kd::cmd::MEM_READ_WIDE ? 4 : 1);
        return kd::Format("%s 0x%X %d", name.c_str(), addr, words);
    }
    if (code == kd::cmd::MEM_WRITE && n >= 4) {
        const uint32_t addr =
            uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
        return kd::Format("MEM_WRITE 0x%X %d", addr, static_cast<int>((n - 4) / 2));
    }
    if (code == kd::cmd::EPM_WRITE && n == 2) return kd::Format("EPM_WRITE %d,%d", p[0], p[1]);
    std::string out = name;
    for (size_t i = 0; i + 1 < n + 1 && i < n; i += 2) {
        out += (i == 0 ? " " : ",") + std::to_string(p[i] << 8 | p[i + 1]);
    }
    return out;
}

// Every request the sensor received, in order ("IN" lines of its trace).
inline std::vector<std::string> ReadRequests(const std::string& tracePath) {
    std::vector<std::string> out;
    std::ifstream in(tracePath);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string time, dir;
        ls >> time >> dir;
        if (dir != "IN") continue;
        std::vector<uint8_t> bytes;
        std::string hex;
        while (ls >> hex) bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        out.push_back(DescribeRequest(bytes));
    }
    return out;
}

inline int CountNotes(const std::string& tracePath, const std::string& what) {
    std::ifstream in(tracePath);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) n += line.find("NOTE " + what) != std::string::npos;
    return n;
}

class TRecordingHost : public kd::TSessionHost {
  public:
    bool Confirm(const std::string& text) override {
        Events.push_back("confirm:" + text);
        return ConfirmAnswer;
    }
    void Message(const std::string& caption, const std::string& text) override {
        Events.push_back("message:" + caption + "|" + text);
    }
    void BeginWait() override {
        ++WaitDepth;
        ++WaitCount;
    }
    void EndWait() override { --WaitDepth; }
    bool Sync() const override { return SyncOn; }
    void SetSync(bool on) override { SyncOn = on; }
    bool Displ() const override { return DisplOn; }
    void ShowStatusWord(uint16_t s) override { StatusShown = kd::Format("%04X", s); }
    void SetBankSelector(int bank) override {
        Selector = bank;
        Events.push_back("selector:" + std::to_string(bank));
    }
    bool BankListDropped() const override { return Dropped; }
    void RefreshPages() override {
        ++Refreshes;
        Events.push_back("refresh");
    }
    void ShowPage(int code) override { Events.push_back(kd::Format("page:%02X", code)); }
    void ShowConnected(bool c) override { Connected = c; }
    void SetTargetLabel(const std::string& text, int color) override {
        Label = text;
        LabelColor = color;
    }
    void SetFileName(const std::string& name) override { FileName = name; }
    void SetOutputLamp(int o, bool on) override { Lamps[static_cast<size_t>(o)] = on; }
    void SetLaserIndicator(bool) override { ++LaserChanges; }
    void SetHoldIndicator(bool) override { ++HoldChanges; }
    void SetZeroToggle(int o, bool on) override { Zero[static_cast<size_t>(o)] = on; }
    void ChartValue(int ch, int32_t v) override { ChartRow[static_cast<size_t>(ch)] = v; }
    void ChartAdvance(bool drawOperation) override {
        ++ChartSamples;
        OperationDraws += drawOperation;
    }
    void LinkStateChanged(int state) override { LinkChanges.push_back(state); }
    void StopRepeats() override { Events.push_back("stop-repeats"); }
    void SaveRegistry() override { Events.push_back("save-registry"); }

    std::vector<std::string> Events;
    std::vector<int> LinkChanges;
    bool ConfirmAnswer = true;
    bool SyncOn = false;
    bool DisplOn = true;
    bool Dropped = false;
    bool Connected = false;
    int Selector = -1;
    int Refreshes = 0;
    int WaitDepth = 0, WaitCount = 0;
    std::string Label, FileName, StatusShown;
    int LabelColor = -1;
    std::array<bool, 3> Lamps{}, Zero{};
    int LaserChanges = 0, HoldChanges = 0;
    std::array<int32_t, 6> ChartRow{};
    int ChartSamples = 0, OperationDraws = 0;

    bool Has(const std::string& e) const {
        return std::find(Events.begin(), Events.end(), e) != Events.end();
    }
};

inline kdsim::SimOptions SimVersion(uint16_t fpga, uint16_t bios, uint16_t soft) {
    kdsim::SimOptions o;
    o.version = {fpga, bios, soft};
    return o;
}

// A scratch folder per test.
inline std::string ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    auto dir = std::filesystem::temp_directory_path() /
               ("kd_session_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

struct SessionRig {
    explicit SessionRig(kdsim::SimOptions o = {}) : dir(ScratchDir()) {
        if (o.frameUs == 0) o.frameUs = 1;  // a still scene: values stay put between requests
        trace = dir + "/sim_trace.txt";
        o.trace = trace;
        sensor = std::make_unique<kdsim::SimSensor>(o);
        thread = std::make_unique<kd::TKestThread>(kd::DirectDispatcher());
        thread->PortName = sensor->Start();
        image.Masters = &masters;
        image.SensorVersion = &state.SensorVersion;
        state.CurrentPage = kd::kPageMeasure;
        session = std::make_unique<kd::TKestSession>(
            kd::TSessionParts{*thread, image, masters, state, live, host});
        session->BackupDir = dir + "/backup";
        session->SysUpdateDelayMs = 0;
    }
    ~SessionRig() {
        thread->ForceDisconnect();
        thread.reset();
        sensor->Stop();
        std::filesystem::remove_all(dir);
    }
    void Connect() { ASSERT_TRUE(session->TryConnect()) << session->LastConnectError; }
    // Requests received since the last call.
    std::vector<std::string> NewRequests() {
        auto all = ReadRequests(trace);
        std::vector<std::string> fresh(
            all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return fresh;
    }
    kdsim::ParamWords SensorParams() {
        kdsim::ParamWords w{};
        sensor->WithModel([&](kdsim::SensorModel& m) { w = m.Params(); });
        return w;
    }
    kdsim::ParamWords SensorEeprom() {
        kdsim::ParamWords w{};
        sensor->WithModel([&](kdsim::SensorModel& m) { w = m.Eeprom(); });
        return w;
    }
    void WithModel(const std::function<void(kdsim::SensorModel&)>& f) { sensor->WithModel(f); }

    std::string dir;
    std::string trace;
    std::unique_ptr<kdsim::SimSensor> sensor;
    std::unique_ptr<kd::TKestThread> thread;
    kd::TKestParam image;
    kd::TMasterStore masters;
    kd::TShellState state;
    kd::TLiveValues live;
    TRecordingHost host;
    std::unique_ptr<kd::TKestSession> session;
    size_t seen = 0;
};

// The requests of a whole-image read: wide (1012 + 12) or normal blocks of 253.
inline std::vector<std::string> WholeImageRead(bool wide) {
    if (wide) return {"MEM_READ_WIDE 0x400 1012", "MEM_READ 0x7F4 12"};
    return {"MEM_READ 0x400 253", "MEM_READ 0x4FD 253", "MEM_READ 0x5FA 253", "MEM_READ 0x6F7 253",
            "MEM_READ 0x7F4 12"};
}

// Captures the log lines written while it lives.
struct LogCapture {
    LogCapture() : sink([this](int, const std::string& l) { lines.push_back(l); }) {}
    bool Has(const std::string& l) const {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    }
    std::vector<std::string> lines;
    kd::ScopedLogSink sink;
};

}  // namespace sessiontest
