#pragma once
// A measurement page host whose worker side is a real TMeasureLink: the page
// is on, linked and in English; a test supplies the parameters and the caches.
#include "fake_keys.h"
#include "measure/measure_host.h"
#include "measure/measure_link.h"

namespace kd::test {

class LinkForwardingHost : public IMeasureHost {
  public:
    explicit LinkForwardingHost(TKestThread& th) : link(th) {}
    TMeasureLink link;

    int LinkState() const override { return 2; }
    int CurrentPage() const override { return kMeasurePageCode; }
    bool CameraLive() const override { return false; }
    int DisplDecimal() const override { return 3; }
    MeasModeTexts ModeTexts() const override { return EnglishTexts(); }
    bool TaskRunning() const override { return link.TaskRunning(); }
    void RequestAbort() override { link.RequestAbort(); }
    void StartProfiles(std::function<void()> f) override { link.StartProfiles(std::move(f)); }
    void RequestProfiles(std::function<void()> f) override { link.RequestProfiles(std::move(f)); }
    int WorkerPointCount() const override { return link.WorkerPointCount(); }
    std::span<const ProfilePoint> WorkerProfile() const override {
        return const_cast<TMeasureLink&>(link).WorkerProfile();
    }
    std::optional<std::vector<uint8_t>> Command(uint16_t code, std::vector<uint16_t> w) override {
        return link.Command(code, w);
    }
    std::optional<uint16_t> MemReadWord(uint32_t address, uint16_t mode) override {
        return link.MemReadWord(address, mode);
    }
};

}  // namespace kd::test
