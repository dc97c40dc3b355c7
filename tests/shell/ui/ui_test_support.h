#pragma once
// Shared pieces of the widget tests: the application object, a recording
// sensor link, a recording workflow and a log capture.
#include <QApplication>
#include <mutex>
#include <string>
#include <vector>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "shell/page_context.h"
#include "shell/shell_seams.h"
#include "shell/ui/kest_application.h"

namespace kd::test {

TKestApplication& App();

struct TSentCommand {
    uint16_t Code;
    std::vector<uint8_t> Payload;
    bool operator==(const TSentCommand&) const = default;
};

// The main window's worker as a recorder of the commands it is given.
class TRecordingLink : public TPageWorker {
  public:
    bool TaskRunning() const override { return taskRunning; }
    void RequestAbort() override { ++aborts; }
    std::string PortName() const override { return port; }
    void SetPortName(const std::string& name) override { port = name; }
    void Terminate() override { ++terminated; }

    std::vector<TSentCommand> sent;
    bool failNext = false;
    bool taskRunning = false;
    int aborts = 0;
    int terminated = 0;
    std::string port;

  protected:
    std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> payload) override {
        if (failNext) {
            failNext = false;
            throw ECommNoReply("Command no reply");
        }
        sent.push_back({code, std::vector<uint8_t>(payload.begin(), payload.end())});
        return {};
    }
};

class TRecordingWorkflow : public TShellWorkflow {
  public:
    void Connect() override { calls.push_back("Connect"); }
    void Disconnect() override { calls.push_back("Disconnect"); }
    void ReceiveAll() override { calls.push_back("ReceiveAll"); }
    void SendAll() override { calls.push_back("SendAll"); }
    void SendBank() override { calls.push_back("SendBank"); }
    void WriteToEeprom(int bank) override {
        calls.push_back("WriteToEeprom(" + std::to_string(bank) + ")");
        if (failWrite) throw EKestError("EPM_WRITE retey over");
    }
    void BankChange(int bank) override {
        calls.push_back("BankChange(" + std::to_string(bank) + ")");
    }
    void FileNew() override { calls.push_back("FileNew"); }
    void FileOpen(const std::string& path) override {
        calls.push_back("FileOpen(" + path + ")");
        if (failOpen) throw EKestError("cannot read " + path);
    }
    void FileSaveAs(const std::string& path) override {
        calls.push_back("FileSaveAs(" + path + ")");
        if (failSave) throw EKestError("cannot write " + path + ": No space left on device");
    }
    void RefreshAll() override { calls.push_back("RefreshAll"); }
    void PollTick() override {}

    std::vector<std::string> calls;
    bool failWrite = false;
    bool failOpen = false;
    bool failSave = false;
};

struct TLogCapture {
    std::vector<std::pair<int, std::string>> lines;
    ScopedLogSink sink{[this](int a, const std::string& l) { lines.emplace_back(a, l); }};
    bool Has(const std::string& text) const {
        for (auto& l : lines)
            if (l.second == text) return true;
        return false;
    }
    int AttributeOf(const std::string& text) const {
        for (auto& l : lines)
            if (l.second == text) return l.first;
        return -2;
    }
};

}  // namespace kd::test
