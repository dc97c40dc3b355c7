#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/commands.h"
#include "measure/measure_model.h"
#include "tests/support/test_context.h"

using namespace kd;
using kd::test::TTestContext;

namespace {

class MeasureModelTest : public ::testing::Test {
  protected:
    MeasureModelTest() {
        t.Worker.Replies[cmd::GET_PROF_CORR] = {0x00, 0x05, 0xFF, 0xFE, 0x12, 0x34};
        model.OnZeroButton = [this](int k, bool down) { buttons.emplace_back(k, down); };
    }
    TTestContext t;
    test::TFakeWorker& worker = t.Worker;
    ProfileShared shared;
    TMeasureModel model{t.Ctx, shared};
    std::vector<std::pair<int, bool>> buttons;
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
    std::pair<int, std::string> Last() const {
        return log.empty() ? std::pair<int, std::string>{} : log.back();
    }
};

}  // namespace

TEST_F(MeasureModelTest, RefreshFromImageSourcesUnitsCurrentLabelAndMidLines) {
    for (auto [key, v] : std::vector<std::pair<const char*, int>>{{"O1.Ch", 0},
                                                                  {"O2.Ch", 3},
                                                                  {"O3.Ch", 7},
                                                                  {"Ana.Ch", 4},
                                                                  {"A1.Func", 0},
                                                                  {"A2.Func", 0},
                                                                  {"A3.Func", 0},
                                                                  {"A4.Func", 6},
                                                                  {"Op1.A", 0},
                                                                  {"Op1.B", 3},
                                                                  {"Op1.Op", 0}})
        t.Set(key, v);
    model.SourceTexts[2] = "kept";
    t.State.SensorVersion.Soft = 78;
    model.RefreshFromImage();
    EXPECT_FALSE(model.ShowMeasuredCurrent);
    EXPECT_EQ(model.SourceTexts[0], "Area1:ave");
    EXPECT_EQ(model.SourceTexts[1], "Area4:edge");
    EXPECT_EQ(model.SourceTexts[2], "kept");  // no such channel: the text is kept
    EXPECT_EQ(model.SourceTexts[3], "[A1:ave + A4:edge]");
    EXPECT_EQ(model.UnitTexts[2], "?");
    EXPECT_EQ(model.Plot.MidLineMask, 0b1000u);
    t.State.SensorVersion.Soft = 0;
    model.RefreshFromImage();
    EXPECT_TRUE(model.ShowMeasuredCurrent);
    EXPECT_EQ(model.InitialValueText(0), "-.---");
}

TEST_F(MeasureModelTest, TickRendersOnlyOnTheVisiblePageAndNothingStaleLooksLive) {
    std::array<GaugeGeometry, 3> g{};
    t.Live.Outputs = {1500, 1500, 1500, 1500};
    EXPECT_TRUE(model.Tick(g).has_value());
    EXPECT_FALSE(model.Tick(g)->Stale);
    // Not polling (connected but silent, or the link ended): the last values
    // give way to the no-value marks in grey.
    for (int link : {1, 0}) {
        t.State.LinkState = link;
        std::optional<MeasureView> v = model.Tick(g);
        ASSERT_TRUE(v.has_value());
        EXPECT_TRUE(v->Stale);
        EXPECT_EQ(v->Outputs[0].Text, "-.---");
        EXPECT_EQ(v->Outputs[0].Color, kJudgeGrey);
        EXPECT_EQ(v->CurrentText, "-.---");
        EXPECT_FALSE(v->Outputs[1].PointerVisible);
    }
    t.State.LinkState = 1;
    t.State.CurrentPage = 0x21;
    EXPECT_FALSE(model.Tick(g).has_value());
    t.State.CurrentPage = kPageMeasure;
    t.State.CameraLive = true;
    EXPECT_FALSE(model.Tick(g).has_value());
}

TEST_F(MeasureModelTest, APollingDroppedWhileTheSensorWasSilentResumesOrReleasesItsButton) {
    std::array<GaugeGeometry, 3> g{};
    t.State.LinkState = 2;
    model.RefRepeat();
    worker.Running = true;
    model.Tick(g);
    // Silent for a moment: the worker drops the polling after its failures.
    t.State.LinkState = 1;
    model.Tick(g);
    worker.Running = false;
    model.Tick(g);
    EXPECT_EQ(worker.Tasks, (std::vector<std::string>{"start"}));
    t.State.LinkState = 2;  // answering again: the repeat goes on
    model.Tick(g);
    EXPECT_EQ(worker.Tasks, (std::vector<std::string>{"start", "request"}));
    EXPECT_TRUE(model.RefRepeatChecked);
    // Polling that ended with the link up releases the button instead.
    model.Tick(g);
    EXPECT_FALSE(model.RefRepeatChecked);
    EXPECT_EQ(worker.Tasks.size(), 2u);
}

TEST_F(MeasureModelTest, DeliverCopiesProfileAndCorrection) {
    int plotChanges = 0;
    model.OnPlotChanged = [&] { ++plotChanges; };
    worker.Count = 3;
    worker.SetPoint(0, 1, 2);
    worker.SetPoint(2, 5, kMissing);
    model.Deliver();
    EXPECT_EQ(model.Plot.PointCount, 3);
    EXPECT_EQ(shared.ProfileBuffer[2], (ProfilePoint{5, kMissing}));
    EXPECT_EQ(model.Plot.OffsetZ, 10);
    EXPECT_EQ(model.Plot.OffsetX, -4);
    EXPECT_EQ(model.Plot.CorrectionValue3, 0x1234);
    EXPECT_EQ(plotChanges, 1);
    // A short correction reply leaves the offsets as they were.
    worker.Replies[cmd::GET_PROF_CORR] = {0, 1};
    model.Deliver();
    EXPECT_EQ(model.Plot.OffsetZ, 10);
}

TEST_F(MeasureModelTest, IllegalProfileSizeKeepsThePreviousProfile) {
    worker.Count = 2;
    worker.SetPoint(0, 7, 7);
    model.Deliver();
    for (int bad : {1024, -1, 99999}) {
        worker.Count = bad;
        worker.SetPoint(0, 9, 9);
        try {
            model.Deliver();
            FAIL() << bad;
        } catch (const EKestError& e) {
            EXPECT_EQ(std::string(e.what()), "illegal prof_size;" + std::to_string(bad));
        }
        EXPECT_EQ(model.Plot.PointCount, 2);
        EXPECT_EQ(shared.ProfileBuffer[0], (ProfilePoint{7, 7}));
    }
    worker.Count = 1023;
    EXPECT_NO_THROW(model.Deliver());
}

TEST_F(MeasureModelTest, RefOnceFetchesOneProfileOrAbortsARunningTask) {
    worker.Count = 4;
    model.RefOnce();
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogAction, "PROFILE ONCE"}));
    ASSERT_EQ(worker.Tasks, (std::vector<std::string>{"start"}));
    worker.OnDone();
    EXPECT_EQ(model.Plot.PointCount, 4);
    EXPECT_EQ(worker.Aborts, 1);  // one profile only
    // A failing delivery still ends the task.
    worker.Count = 5000;
    EXPECT_THROW(worker.OnDone(), EKestError);
    EXPECT_EQ(worker.Aborts, 2);
    // While a task runs, RefOnce aborts instead of fetching.
    worker.Running = true;
    model.RefRepeatChecked = true;
    model.RefOnce();
    EXPECT_EQ(worker.Tasks.size(), 1u);
    EXPECT_EQ(worker.Aborts, 3);
    EXPECT_FALSE(model.RefRepeatChecked);
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogRed, "ABORT"}));
}

TEST_F(MeasureModelTest, RepeatStartRestartAndStop) {
    model.RefRepeat();
    EXPECT_TRUE(model.RefRepeatChecked);
    EXPECT_EQ(Last().second, "PROFILE START");
    worker.Count = 2;
    worker.OnDone();
    worker.OnDone();
    EXPECT_EQ(worker.Aborts, 0);  // repeat keeps polling
    model.RefRepeat();
    EXPECT_FALSE(model.RefRepeatChecked);
    EXPECT_EQ(worker.Aborts, 1);
    EXPECT_EQ(Last().second, "ABORT");
    model.RestartRepeat();
    EXPECT_EQ(worker.Tasks.back(), "request");
    EXPECT_TRUE(model.RefRepeatChecked);
    model.StopRepeat();
    EXPECT_FALSE(model.RefRepeatChecked);
    model.StartRepeat();
    EXPECT_EQ(worker.Tasks.back(), "start");
    EXPECT_TRUE(model.RefRepeatChecked);
}

TEST_F(MeasureModelTest, ZeroSetReadsBackTheZeroAdjustment) {
    t.Set("O2.Ch", 4);
    worker.ReadValue = 0xFFF6;  // -10
    model.ZeroSetToggle(1);
    ASSERT_EQ(worker.Sent.size(), 1u);
    EXPECT_EQ(worker.Sent[0].Code, cmd::ZERO_SET);
    EXPECT_EQ(worker.Sent[0].Payload, (std::vector<uint8_t>{0, 1}));
    EXPECT_TRUE(model.ZeroSetChecked[1]);
    ASSERT_EQ(worker.Reads.size(), 1u);
    // C5.ZAdj: word 100 of bank 0, image word 132, sensor word 1024 + 132.
    EXPECT_EQ(worker.Reads[0], (std::pair<uint32_t, uint16_t>{1024 + 132, 0x111}));
    EXPECT_EQ(t.Ctx.GetBank("C5.ZAdj"), -10);
    EXPECT_EQ(buttons.back(), (std::pair<int, bool>{1, true}));
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogPlain, "OUT2: 0set"}));
    // Second press clears.
    model.ZeroSetToggle(1);
    EXPECT_EQ(worker.Sent.back().Code, cmd::ZERO_CLR);
    EXPECT_FALSE(model.ZeroSetChecked[1]);
    EXPECT_EQ(buttons.back(), (std::pair<int, bool>{1, false}));
    EXPECT_EQ(Last().second, "OUT2: 0clr");
}

TEST_F(MeasureModelTest, ZeroSetDataErrorChangesNothing) {
    t.Image.SetSensorModified(false);
    worker.RefusedCode = cmd::ZERO_SET;
    model.ZeroSetToggle(0);
    EXPECT_FALSE(model.ZeroSetChecked[0]);
    EXPECT_TRUE(worker.Reads.empty());
    EXPECT_FALSE(t.Image.SensorModified);  // nothing written
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogPlain, "OUT1: 0set failed, NO DISPL"}));
    EXPECT_EQ(buttons.back(), (std::pair<int, bool>{0, false}));
    // Source channel outside 0..5: no read-back at all.
    worker.RefusedCode = 0;
    t.Set("O3.Ch", 9);
    model.ZeroSetToggle(2);
    EXPECT_TRUE(model.ZeroSetChecked[2]);
    EXPECT_TRUE(worker.Reads.empty());
    model.ZeroSetToggle(7);  // no such output
    EXPECT_EQ(worker.Sent.size(), 2u);
    // A refused read-back changes no key.
    t.Set("O1.Ch", 0);
    t.Set("C1.ZAdj", 5);
    worker.RefuseRead = true;
    model.ZeroSetToggle(0);
    EXPECT_EQ(t.Ctx.GetBank("C1.ZAdj"), 5);
    EXPECT_EQ(Last().second, "OUT1: 0set failed, NO DISPL");
}

TEST_F(MeasureModelTest, DirectControlsSendAndLog) {
    model.HoldToggle(true);
    EXPECT_EQ(worker.Sent.back(), (test::TFakeWorker::TSent{cmd::SET_HOLD_STATE, {0, 1}}));
    EXPECT_EQ(Last(), (std::pair<int, std::string>{kLogAction, "SET_HOLD_STATE(1)"}));
    model.TriggerToggle(false);
    EXPECT_EQ(worker.Sent.back(), (test::TFakeWorker::TSent{cmd::SET_INT_TRIG, {0, 0}}));
    EXPECT_EQ(Last().second, "SET_INT_TRIG(0)");
    model.LaserToggle(true);
    EXPECT_EQ(worker.Sent.back().Code, cmd::SET_LASER);
    EXPECT_EQ(Last().second, "SET_LASER(1)");
    model.Reset();
    EXPECT_EQ(worker.Sent.back(), (test::TFakeWorker::TSent{cmd::RUN_RESET, {}}));
    EXPECT_EQ(Last().second, "RUN_RESET");
}

TEST_F(MeasureModelTest, EnablingRulesLogOnlyChanges) {
    t.State.LinkState = 0;
    model.UpdateEnabled();
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(model.Enabled("RefOnce"));
    t.State.LinkState = 2;
    t.Set("INPUT2", 1);  // hold by an input: no hold button
    t.Set("INPUT3", 0);
    model.UpdateEnabled();
    EXPECT_TRUE(model.Enabled("RefOnce"));
    EXPECT_TRUE(model.Enabled("TriggerToggle"));
    EXPECT_FALSE(model.Enabled("HoldToggle"));
    EXPECT_EQ(log.size(), 8u);
    EXPECT_EQ(log.front().second, "Action RefOnce.Enabled=2");
    log.clear();
    model.UpdateEnabled();
    EXPECT_TRUE(log.empty());
    t.Set("INPUT3", 1);
    model.UpdateEnabled();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].second, "Action TriggerToggle.Enabled=2");
    EXPECT_FALSE(model.Enabled("NoSuchAction"));
}

TEST_F(MeasureModelTest, ProfileTextFileHoldsWhatThePlotShows) {
    auto dir = std::filesystem::temp_directory_path() / ("kd_mm_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    worker.Count = 10;
    for (int i = 0; i < 10; ++i)
        worker.SetPoint(static_cast<size_t>(i), static_cast<int16_t>(i * 1000), 250);
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
