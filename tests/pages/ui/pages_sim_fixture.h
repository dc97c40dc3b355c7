#pragma once
// A settings page's session against the simulated sensor on a pseudo-terminal:
// the sensor writes its frame trace to a scratch folder, the real worker is
// connected to it and the image holds the sensor's parameters, as the connect
// workflow leaves them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "shell/ui/qt_dispatcher.h"
#include "tests/shell/session/session_fixture.h"
#include "tests/support/test_context.h"
#include "ui_test_util.h"

namespace pagestest {

// Runs the event loop for about ms milliseconds.
inline void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

class PagesSimFixture : public ::testing::Test {
  protected:
    // frameUs: the simulated clock's step per request (0: real time).
    explicit PagesSimFixture(uint32_t frameUs = 5000) : frameUs_(frameUs) {}

    void SetUp() override {
        kd::test::App();
        dir = sessiontest::ScratchDir();
        kdsim::SimOptions o;
        o.frameUs = frameUs_;
        o.trace = dir + "/trace.txt";
        sim = std::make_unique<kdsim::SimSensor>(o);
        th.PortName = sim->Start();
        ASSERT_NO_THROW(th.Connect());
        // The sensor's parameters, as the connect workflow receives them.
        std::array<uint16_t, kd::kImageWords> words{};
        th.MemRead(words.data(), kd::kSensorWordBase, kd::kModeWords, kd::kImageWords);
        for (int i = 0; i < kd::kImageWords; ++i) t.Image.SetWord(i, words[static_cast<size_t>(i)]);
        t.State.SensorVersion = {0x53, 0x6D, 0x50};
        t.State.CurrentBank = t.Ctx.CurrentBank();
        NewRequests();
    }
    // A task still running is stopped before the link goes, the link before
    // the sensor, the sensor before its trace.
    void TearDown() override {
        th.AbortRequested = true;
        for (int i = 0; i < 200 && th.Task != kd::kTaskIdle; ++i) Pump(5);
        th.ForceDisconnect();
        sim->Stop();
        std::filesystem::remove_all(dir);
    }
    // Requests received since the last call, as "NAME w1,w2".
    std::vector<std::string> NewRequests() {
        auto all = sessiontest::ReadRequests(dir + "/trace.txt");
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return fresh;
    }
    static void Choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);  // as the operator's choice
    }
    using Requests = std::vector<std::string>;

    std::string dir;
    std::unique_ptr<kdsim::SimSensor> sim;
    kd::TKestThread th{kd::QtDispatcher()};
    kd::TThreadWorker worker{th};
    kd::test::TTestContext t{&worker};
    size_t seen = 0;
    std::vector<std::string> log;
    kd::ScopedLogSink sink{[this](int, const std::string& l) { log.push_back(l); }};

  private:
    uint32_t frameUs_;
};

}  // namespace pagestest
