#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "fake_keys.h"
#include "measure/measure_model.h"

using namespace kd;
using kd::test::EnglishTexts;
using kd::test::FakeKeys;

namespace {

class FakeMeasureHost : public IMeasureHost {
  public:
    FakeKeys Keys;
    MeasureLive LiveValues;
    int Link = 2;
    int Page = kMeasurePageCode;
    bool Camera = false;
    bool Running = false;
    int Aborts = 0;
    std::vector<std::string> Tasks;
    std::function<void()> OnDone;
    int PointCount = 0;
    std::vector<ProfilePoint> Profile = std::vector<ProfilePoint>(2048);
    std::vector<std::pair<uint16_t, std::vector<uint16_t>>> Commands;
    std::vector<uint8_t> CorrReply = {0x00, 0x05, 0xFF, 0xFE, 0x12, 0x34};
    uint16_t RefusedCode = 0;  // a command answered with ERR_DATA
    bool RefuseRead = false;
    std::vector<std::pair<uint32_t, uint16_t>> Reads;
    uint16_t ReadValue = 0xFFF6;  // -10
    std::vector<std::pair<int, bool>> OutputButtons;

    IParamAccess* Params() override { return &Keys; }
    MeasureLive Live() const override { return LiveValues; }
    int LinkState() const override { return Link; }
    int CurrentPage() const override { return Page; }
    bool CameraLive() const override { return Camera; }
    int DisplDecimal() const override { return 3; }
    MeasModeTexts ModeTexts() const override { return EnglishTexts(); }
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
    int WorkerPointCount() const override { return PointCount; }
    std::span<const ProfilePoint> WorkerProfile() const override { return Profile; }
    std::optional<std::vector<uint8_t>> Command(uint16_t code, std::vector<uint16_t> w) override {
        Commands.emplace_back(code, w);
        if (code == RefusedCode) return std::nullopt;
        if (code == measure_cmd::GET_PROF_CORR) return CorrReply;
        return std::vector<uint8_t>{};
    }
    std::optional<uint16_t> MemReadWord(uint32_t address, uint16_t mode) override {
        Reads.emplace_back(address, mode);
        if (RefuseRead) return std::nullopt;
        return ReadValue;
    }
    void SetOutputZeroButton(int k, bool down) override { OutputButtons.emplace_back(k, down); }
};

class MeasureModelTest : public ::testing::Test {
  protected:
    FakeMeasureHost host;
    ProfileShared shared;
    TMeasureModel model{host, shared};
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
    std::pair<int, std::string> Last() const {
        return log.empty() ? std::pair<int, std::string>{} : log.back();
    }
};

}  // namespace

TEST_F(MeasureModelTest, RefreshFromImageSourcesUnitsCurrentLabelAndMidLines) {
    host.Keys.Bank = {{"O1.Ch", 0},   {"O2.Ch", 3}, {"O3.Ch", 5}, {"Ana.Ch", 4}, {"A1.Func", 0},
                      {"A4.Func", 6}, {"Op1.A", 0}, {"Op1.B", 3}, {"Op2.A", 7}};
    model.SourceTexts[2] = "kept";
    host.LiveValues.SoftVersion = 78;
    model.RefreshFromImage();
    EXPECT_FALSE(model.ShowMeasuredCurrent);
    EXPECT_EQ(model.SourceTexts[0], "Area1:ave");
    EXPECT_EQ(model.SourceTexts[1], "Area4:edge");
    EXPECT_EQ(model.SourceTexts[2], "kept");  // invalid operands keep the text
    EXPECT_EQ(model.SourceTexts[3], "[A1:ave + A4:edge]");
    EXPECT_EQ(model.UnitTexts[2], "?");
    EXPECT_EQ(model.Plot.MidLineMask, 0b1000u);
    host.LiveValues.SoftVersion = 0;
    model.RefreshFromImage();
    EXPECT_TRUE(model.ShowMeasuredCurrent);
    EXPECT_EQ(model.InitialValueText(0), "-.---");
}

TEST_F(MeasureModelTest, TickRendersOnlyOnTheVisiblePageAndNothingStaleLooksLive) {
    std::array<GaugeGeometry, 3> g{};
    host.LiveValues.Output = {1500, 1500, 1500, 1500};
    EXPECT_TRUE(model.Tick(g).has_value());
    EXPECT_FALSE(model.Tick(g)->Stale);
    // Not polling (connected but silent, or the link ended): the last values
    // give way to the no-value marks in grey.
    for (int link : {1, 0}) {
        host.Link = link;
        std::optional<MeasureView> v = model.Tick(g);
        ASSERT_TRUE(v.has_value());
        EXPECT_TRUE(v->Stale);
        EXPECT_EQ(v->Outputs[0].Text, "-.---");
        EXPECT_EQ(v->Outputs[0].Color, kJudgeGrey);
        EXPECT_EQ(v->CurrentText, "-.---");
        EXPECT_FALSE(v->Outputs[1].PointerVisible);
    }
    host.Link = 1;
    host.Page = 0x21;
    EXPECT_FALSE(model.Tick(g).has_value());
    host.Page = kMeasurePageCode;
    host.Camera = true;
    EXPECT_FALSE(model.Tick(g).has_value());
}

TEST_F(MeasureModelTest, DeliverCopiesProfileAndCorrection) {
    int plotChanges = 0;
    model.OnPlotChanged = [&] { ++plotChanges; };
    host.PointCount = 3;
    host.Profile[0] = {1, 2};
    host.Profile[2] = {5, kMissing};
    model.Deliver();
    EXPECT_EQ(model.Plot.PointCount, 3);
    EXPECT_EQ(shared.ProfileBuffer[2], (ProfilePoint{5, kMissing}));
    EXPECT_EQ(model.Plot.OffsetZ, 10);
    EXPECT_EQ(model.Plot.OffsetX, -4);
    EXPECT_EQ(model.Plot.CorrectionValue3, 0x1234);
    EXPECT_EQ(plotChanges, 1);
    // A short correction reply leaves the offsets as they were.
    host.CorrReply = {0, 1};
    model.Deliver();
    EXPECT_EQ(model.Plot.OffsetZ, 10);
}

TEST_F(MeasureModelTest, IllegalProfileSizeKeepsThePreviousProfile) {
    host.PointCount = 2;
    host.Profile[0] = {7, 7};
    model.Deliver();
    for (int bad : {1024, -1, 99999}) {
        host.PointCount = bad;
        host.Profile[0] = {9, 9};
        try {
            model.Deliver();
            FAIL() << bad;
        } catch (const EKestError& e) {
            EXPECT_EQ(std::string(e.what()), "illegal prof_size;" + std::to_string(bad));
        }
        EXPECT_EQ(model.Plot.PointCount, 2);
        EXPECT_EQ(shared.ProfileBuffer[0], (ProfilePoint{7, 7}));
    }
    host.PointCount = 1023;
    EXPECT_NO_THROW(model.Deliver());
}

TEST_F(MeasureModelTest, RefOnceFetchesOneProfileOrAbortsARunningTask) {
    host.PointCount = 4;
    model.RefOnce();
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogAction, "PROFILE ONCE"}));
    ASSERT_EQ(host.Tasks, (std::vector<std::string>{"start"}));
    host.OnDone();
    EXPECT_EQ(model.Plot.PointCount, 4);
    EXPECT_EQ(host.Aborts, 1);  // one profile only
    // A failing delivery still ends the task.
    host.PointCount = 5000;
    EXPECT_THROW(host.OnDone(), EKestError);
    EXPECT_EQ(host.Aborts, 2);
    // While a task runs, RefOnce aborts instead of fetching.
    host.Running = true;
    model.RefRepeatChecked = true;
    model.RefOnce();
    EXPECT_EQ(host.Tasks.size(), 1u);
    EXPECT_EQ(host.Aborts, 3);
    EXPECT_FALSE(model.RefRepeatChecked);
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogRed, "ABORT"}));
}

TEST_F(MeasureModelTest, RepeatStartRestartAndStop) {
    model.RefRepeat();
    EXPECT_TRUE(model.RefRepeatChecked);
    EXPECT_EQ(Last().second, "PROFILE START");
    host.PointCount = 2;
    host.OnDone();
    host.OnDone();
    EXPECT_EQ(host.Aborts, 0);  // repeat keeps polling
    model.RefRepeat();
    EXPECT_FALSE(model.RefRepeatChecked);
    EXPECT_EQ(host.Aborts, 1);
    EXPECT_EQ(Last().second, "ABORT");
    model.RestartRepeat();
    EXPECT_EQ(host.Tasks.back(), "request");
    EXPECT_TRUE(model.RefRepeatChecked);
    model.StopRepeat();
    EXPECT_FALSE(model.RefRepeatChecked);
    model.StartRepeat();
    EXPECT_EQ(host.Tasks.back(), "start");
    EXPECT_TRUE(model.RefRepeatChecked);
}

TEST_F(MeasureModelTest, ZeroSetReadsBackTheZeroAdjustment) {
    host.Keys.Bank["O2.Ch"] = 4;
    host.Keys.WordIndex["C5.ZAdj"] = 32 + 84;
    model.ZeroSetToggle(1);
    ASSERT_EQ(host.Commands.size(), 1u);
    EXPECT_EQ(host.Commands[0].first, measure_cmd::ZERO_SET);
    EXPECT_EQ(host.Commands[0].second, (std::vector<uint16_t>{1}));
    EXPECT_TRUE(model.ZeroSetChecked[1]);
    ASSERT_EQ(host.Reads.size(), 1u);
    EXPECT_EQ(host.Reads[0], (std::pair<uint32_t, uint16_t>{1024 + 116, 0x111}));
    EXPECT_EQ(host.Keys.Bank["C5.ZAdj"], -10);
    EXPECT_EQ(host.OutputButtons.back(), (std::pair<int, bool>{1, true}));
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogPlain, "OUT2: 0set"}));
    // Second press clears.
    model.ZeroSetToggle(1);
    EXPECT_EQ(host.Commands.back().first, measure_cmd::ZERO_CLR);
    EXPECT_FALSE(model.ZeroSetChecked[1]);
    EXPECT_EQ(host.OutputButtons.back(), (std::pair<int, bool>{1, false}));
    EXPECT_EQ(Last().second, "OUT2: 0clr");
}

TEST_F(MeasureModelTest, ZeroSetDataErrorChangesNothing) {
    host.RefusedCode = measure_cmd::ZERO_SET;
    model.ZeroSetToggle(0);
    EXPECT_FALSE(model.ZeroSetChecked[0]);
    EXPECT_TRUE(host.Reads.empty());
    EXPECT_EQ(host.Keys.Writes, 0);
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogPlain, "OUT1: 0set failed, NO DISPL"}));
    EXPECT_EQ(host.OutputButtons.back(), (std::pair<int, bool>{0, false}));
    // Source channel outside 0..5: no read-back at all.
    host.RefusedCode = 0;
    host.Keys.Bank["O3.Ch"] = 9;
    model.ZeroSetToggle(2);
    EXPECT_TRUE(model.ZeroSetChecked[2]);
    EXPECT_TRUE(host.Reads.empty());
    model.ZeroSetToggle(7);  // no such output
    EXPECT_EQ(host.Commands.size(), 2u);
}

TEST_F(MeasureModelTest, DirectControlsSendAndLog) {
    model.HoldToggle(true);
    EXPECT_EQ(host.Commands.back(),
              (std::pair<uint16_t, std::vector<uint16_t>>{measure_cmd::SET_HOLD_STATE, {1}}));
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogAction, "SET_HOLD_STATE(1)"}));
    model.TriggerToggle(false);
    EXPECT_EQ(host.Commands.back().first, measure_cmd::SET_INT_TRIG);
    EXPECT_EQ(Last().second, "SET_INT_TRIG(0)");
    model.LaserToggle(true);
    EXPECT_EQ(host.Commands.back().first, measure_cmd::SET_LASER);
    EXPECT_EQ(Last().second, "SET_LASER(1)");
    model.Reset();
    EXPECT_EQ(host.Commands.back(),
              (std::pair<uint16_t, std::vector<uint16_t>>{measure_cmd::RUN_RESET, {}}));
    EXPECT_EQ(Last().second, "RUN_RESET");
}

TEST_F(MeasureModelTest, EnablingRulesLogOnlyChanges) {
    host.Link = 0;
    model.UpdateEnabled();
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(model.Enabled("RefOnce"));
    host.Link = 2;
    host.Keys.Sys["INPUT2"] = 1;  // hold by an input: no hold button
    model.UpdateEnabled();
    EXPECT_TRUE(model.Enabled("RefOnce"));
    EXPECT_TRUE(model.Enabled("TriggerToggle"));
    EXPECT_FALSE(model.Enabled("HoldToggle"));
    EXPECT_EQ(log.size(), 8u);
    EXPECT_EQ(log.front().second, "Action RefOnce.Enabled=2");
    log.clear();
    model.UpdateEnabled();
    EXPECT_TRUE(log.empty());
    host.Keys.Sys["INPUT3"] = 2;
    model.UpdateEnabled();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].second, "Action TriggerToggle.Enabled=2");
    EXPECT_FALSE(model.Enabled("NoSuchAction"));
}

TEST_F(MeasureModelTest, ProfileTextFileHoldsWhatThePlotShows) {
    auto dir = std::filesystem::temp_directory_path() / ("kd_mm_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    host.PointCount = 10;
    for (int i = 0; i < 10; ++i)
        host.Profile[static_cast<size_t>(i)] = {static_cast<int16_t>(i * 1000), 250};
    model.Deliver();
    const std::string path = (dir / "prof.csv").string();
    model.SaveProfile(path);
    std::string text = ReadFileAll(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
    EXPECT_EQ(text.substr(0, 20), "   1.000,    0.250\r\n");
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogAction, "save profile '" + path + "'"}));
    EXPECT_THROW(model.SaveProfile((dir / "no" / "x.csv").string()), EKestError);
    std::filesystem::remove_all(dir);
}
