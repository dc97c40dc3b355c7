#pragma once
// A page context for tests: the program-wide parts as plain members, a
// worker that records what it is asked and answers from a script, and
// services whose switches are fields.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/comm_error.h"
#include "link/commands.h"
#include "params/param_key.h"
#include "shell/page_context.h"

namespace kd::test {

class TFakeWorker : public TPageWorker {
  public:
    struct TSent {
        uint16_t Code;
        std::vector<uint8_t> Payload;
        bool operator==(const TSent&) const = default;
    };
    std::vector<TSent> Sent;
    std::map<uint16_t, std::vector<uint8_t>> Replies;  // reply payloads by code
    uint16_t RefusedCode = 0;                          // answered with ERR_DATA
    bool Open = true;
    bool Running = false;
    int Aborts = 0;
    std::vector<std::string> Tasks;  // "start", "request"
    std::function<void()> OnDone;
    int Count = 0;
    std::vector<uint16_t> Words = std::vector<uint16_t>(kProfileBufferWords);
    std::vector<std::pair<uint32_t, uint16_t>> Reads;  // address, mode
    uint16_t ReadValue = 0;
    bool RefuseRead = false;
    std::vector<std::pair<int, AreaRect>> Rects;  // AREA_RECT as asked
    bool RefuseRect = false;                      // ERR_DATA
    bool FailRect = false;                        // no reply

    // Puts point i (x, z) into the profile words.
    void SetPoint(size_t i, int16_t x, int16_t z) {
        Words[2 * i] = static_cast<uint16_t>(x);
        Words[2 * i + 1] = static_cast<uint16_t>(z);
    }

    bool IsOpen() override { return Open; }
    bool TaskRunning() const override { return Running; }
    void RequestAbort() override { ++Aborts; }
    void StartProfiles(std::function<void()> f) override {
        Tasks.push_back("start");
        OnDone = std::move(f);
    }
    void RequestProfiles(std::function<void()> f) override {
        Tasks.push_back("request");
        OnDone = std::move(f);
    }
    int ProfileCount() const override { return Count; }
    std::span<const uint16_t> ProfileWords() const override { return Words; }
    void MemRead(void* buffer, uint32_t address, uint16_t mode, int words) override {
        Reads.emplace_back(address, mode);
        if (RefuseRead) throw ECommErrData("MemRead: ERR_DATA");
        auto* w = static_cast<uint16_t*>(buffer);
        for (int i = 0; i < words; ++i) w[i] = ReadValue;
    }

    AreaRect SetAreaRect(int area, int xa, int ya, int xb, int yb) override {
        Rects.emplace_back(area, AreaRect{xa, ya, xb, yb});
        if (RefuseRect) throw ECommErrData("ERR_DATA");
        if (FailRect) throw ECommNoReply("no reply");
        return OrderAndClampAreaRect(xa, ya, xb, yb);
    }

  protected:
    std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> payload) override {
        Sent.push_back({code, std::vector<uint8_t>(payload.begin(), payload.end())});
        if (code == RefusedCode) throw ECommErrData("ERR_DATA");
        auto it = Replies.find(code);
        return it == Replies.end() ? std::vector<uint8_t>{} : it->second;
    }
};

class TTestServices : public TPageServices {
  public:
    bool SyncOn = true;
    uint16_t Period = 0;
    std::vector<std::string> Triggered;
    std::vector<std::string> Exceptions;
    int ActionUpdates = 0;
    bool Sync() const override { return SyncOn; }
    void TriggerAction(const std::string& name) override { Triggered.push_back(name); }
    void HandleException(const std::exception& e) override { Exceptions.push_back(e.what()); }
    void UpdateActions() override { ++ActionUpdates; }
    std::vector<std::pair<std::string, std::string>> Messages;  // caption, text
    std::vector<bool> DataLog;                                  // EnableDataLog calls
    void Message(const std::string& caption, const std::string& text) override {
        Messages.emplace_back(caption, text);
    }
    void EnableDataLog(bool on) override { DataLog.push_back(on); }
    uint16_t SamplingPeriod() const override { return Period; }
};

// The English lists of measurement-mode units and short names.
inline TModeLists EnglishLists() {
    TModeLists l;
    l.MeasModeUnits = {"mm", "mm",   "mm",  "mm", "mm", "mm", "mm",
                       "",   "deg.", "mm2", "mm", "mm", "mm"};
    l.MeasModeShort = {"ave",   "p_hgt", "b_hgt", "width", "p_pos", "b_pos", "edge",
                       "count", "tilt",  "size",  "len",   "dia",   "infl"};
    return l;
}

struct TTestContext {
    TKestParam Image;
    TMasterStore Masters;
    TFakeWorker Worker;
    TShellState State;
    TLiveValues Live;
    TDisplaySettings Display;
    TDisplayColors Colors;
    TShellSettings Settings;
    TModeLists Lists = EnglishLists();
    TTestServices Services;
    TPageContext Ctx;

    // worker: a real one (over a TKestThread) in place of the fake.
    explicit TTestContext(TPageWorker* worker = nullptr)
        : Ctx{Image, Masters, worker ? *worker : Worker, State, Live, Display, Colors, Settings,
              Lists, Services} {
        // Every key reads 0 until a test sets it.
        Image.Masters = &Masters;
        State.LinkState = 2;
        State.CurrentPage = kPageMeasure;
    }
    // A key of the current bank or the Sys block by its name.
    void Set(std::string_view name, int value) {
        std::optional<TKeyRef> ref = FindKeyByName(name);
        if (!ref) throw std::runtime_error("no key " + std::string(name));
        if (ref->Block == TKeyBlock::Sys)
            Image.SetSys(ref->Entry->Key, value);
        else
            Image.SetBank(Ctx.CurrentBank(), ref->Entry->Key, value);
    }
};

}  // namespace kd::test
