#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <cmath>
#include <cstdio>

#include "common/atomic_file.h"
#include "common/log.h"
#include "link/commands.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "tests/support/test_context.h"
#include "ui_test_util.h"

using namespace kd;
using namespace kd::test;

namespace {

// Puts points into the worker's profile words.
void SetProfile(TFakeWorker& w, const std::vector<ProfilePoint>& pts, int n) {
    for (int i = 0; i < n; ++i)
        w.SetPoint(static_cast<size_t>(i), pts[static_cast<size_t>(i)].X,
                   pts[static_cast<size_t>(i)].Z);
    w.Count = n;
}

// A part on a belt: flat belt, a raised block with sloped sides, a groove.
void SensorLikeProfile(std::vector<ProfilePoint>& pts, int n) {
    for (int i = 0; i < n; ++i) {
        const int x = -12000 + i * 24000 / (n - 1);
        double z = 8000;  // belt, below the centre
        if (x > -6000 && x < 6000) z = 2000;
        if (x > -7000 && x <= -6000) z = 8000 - (x + 7000) * 6;
        if (x >= 6000 && x < 7000) z = 2000 + (x - 6000) * 6;
        if (x > -1000 && x < 1000) z = 3500;  // groove
        z += 30 * std::sin(i * 0.7);          // surface noise
        const bool dropout = (i > 120 && i < 128);
        pts[static_cast<size_t>(i)] = {static_cast<int16_t>(x),
                                       dropout ? kMissing : static_cast<int16_t>(z)};
    }
}

class TPMeasureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        for (auto [key, v] : std::vector<std::pair<const char*, int>>{
                 {"O1.Ch", 0},     {"O2.Ch", 1},        {"O3.Ch", 4},         {"Ana.Ch", 0},
                 {"A1.Func", 0},   {"A2.Func", 3},      {"Op1.A", 0},         {"Op1.B", 1},
                 {"Op1.Op", 0},    {"O1.ULimit", 5000}, {"O1.LLimit", -5000}, {"O2.ULimit", 1000},
                 {"O2.LLimit", 0}, {"O3.ULimit", 100},  {"O3.LLimit", 0},     {"O3.Action", 3},
                 {"O1.Action", 0}, {"O2.Action", 0},    {"Ana.ULimit", 8000}, {"Ana.LLimit", 0},
                 {"C1.Offset", 0}, {"C2.Offset", 0},    {"C5.Offset", 0}})
            t.Set(key, v);
        t.Worker.Replies[cmd::GET_PROF_CORR] = {0, 0, 0, 0, 0, 0};
        page = std::make_unique<TPMeasure>(t.Ctx, shared);
    }
    TTestContext t;
    TFakeWorker& worker = t.Worker;
    std::vector<ProfilePoint> profile = std::vector<ProfilePoint>(2048);
    ProfileShared shared;
    std::unique_ptr<TPMeasure> page;
    std::vector<std::pair<int, std::string>> log;
    ScopedLogSink sink{[this](int a, const std::string& l) { log.emplace_back(a, l); }};
};

}  // namespace

TEST_F(TPMeasureTest, CreationShowsNoValueMarks) {
    EXPECT_EQ(page->size(), QSize(800, 480));
    EXPECT_EQ(page->DisplLabel(0)->text(), "-.---");
    EXPECT_EQ(page->DisplLabel(3)->text(), "-.---");
    EXPECT_EQ(page->ProfileFrame()->size(), QSize(440, 338));
    EXPECT_TRUE(page->ProfileFrame()->ShowAreas);
    EXPECT_FALSE(page->ProfileFrame()->EditAreas);
    EXPECT_EQ(page->GaugeBack(0)->size(), QSize(80, 6));
    EXPECT_EQ(page->GaugePointer(0)->size(), QSize(7, 10));
    EXPECT_EQ(page->GaugeBack(3), nullptr);
    EXPECT_EQ(page->SampleEdit()->alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST_F(TPMeasureTest, TickShowsValuesColoursAndGauges) {
    page->RefreshFromImage();
    t.Live.Outputs = {1234, 2000, 50, 0};
    t.Live.Channels[0] = 4000;
    t.Live.OutputDisplayBits = 0b010;
    t.State.SensorVersion.Soft = 70;
    t.Services.Period = 400;
    t.Live.HoldOn = true;
    page->MeasTimerTimer();
    EXPECT_EQ(page->DisplLabel(0)->text(), "1.234");
    EXPECT_EQ(page->DisplLabel(0)->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(page->DisplLabel(1)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(page->GaugeBack(1)->palette().color(QPalette::Window), QColor(255, 0, 0));
    const int left = page->GaugeBack(1)->x();
    EXPECT_EQ(page->GaugePointer(1)->x(), left + 75);          // above U: right end
    EXPECT_FALSE(page->GaugePointer(2)->isHidden() == false);  // Ready: hidden
    EXPECT_EQ(page->DisplLabel(2)->text(), "-.---");
    EXPECT_EQ(page->DisplLabel(2)->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    EXPECT_EQ(page->DisplALabel()->text(), "12.000");  // estimated: 4000 of 0..8000
    EXPECT_EQ(page->SampleEdit()->text(), "2.00");
    EXPECT_TRUE(page->Action("HoldToggle")->isChecked());
    SavePng(page->grab().toImage(), "measure_values");
}

TEST_F(TPMeasureTest, ActionsFollowTheLinkAndProfileArrives) {
    t.State.LinkState = 0;
    page->MeasTimerTimer();
    EXPECT_FALSE(page->Action("RefOnce")->isEnabled());
    t.State.LinkState = 2;
    page->MeasTimerTimer();
    EXPECT_TRUE(page->Action("RefOnce")->isEnabled());
    page->Action("RefRepeat")->trigger();
    EXPECT_TRUE(page->Action("RefRepeat")->isChecked());
    SensorLikeProfile(profile, 800);
    SetProfile(worker, profile, 800);
    ASSERT_TRUE(worker.OnDone);
    worker.OnDone();
    EXPECT_EQ(page->ProfileFrame()->PointCount, 800);
    page->Action("RefRepeat")->trigger();
    EXPECT_FALSE(page->Action("RefRepeat")->isChecked());
    EXPECT_EQ(worker.Aborts, 1);
    // A bad profile size is logged, not thrown out of the event handler.
    page->Action("RefOnce")->trigger();
    worker.Count = 4000;
    worker.OnDone = [this, f = worker.OnDone] {
        try {
            f();
        } catch (const std::exception& e) {
            WriteLog(kLogError, "%s", e.what());
        }
    };
    worker.OnDone();
    EXPECT_EQ(log.back().second, "illegal prof_size;4000");
    EXPECT_EQ(page->ProfileFrame()->PointCount, 800);
}

TEST_F(TPMeasureTest, LiveProfileScreenshot) {
    page->RefreshFromImage();
    shared.SetArea(0, -5000, 1000, -2000, 4000);
    shared.SetArea(1, -1500, 2000, 1500, 5000);
    shared.SetArea(2, 4000, 0, 9000, 10000);
    shared.SetArea(3, -11000, 6000, -8000, 10000);
    shared.AreaResults = {2000, 3500, 6500, kNoResult};
    t.Set("A3.Func", 6);
    SensorLikeProfile(profile, 1000);
    SetProfile(worker, profile, 1000);
    page->Action("RefOnce")->trigger();
    worker.OnDone();
    page->SetScales(0.0141, 0.00705);
    t.Live.Outputs = {2012, 3498, 0, 0};
    t.Live.Channels[0] = 2012;
    t.Services.Period = 200;
    page->MeasTimerTimer();
    page->show();
    QImage img = page->grab().toImage();
    SavePng(img, "measure_live");
    const ProfileColors c;
    // The profile line crosses the plot somewhere in its colour.
    QImage plot = page->ProfileFrame()->PlotImage();
    int hits = 0;
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x) hits += Rgb(plot, x, y) == FromRef(c.ProfileLine);
    EXPECT_GT(hits, 200);
}

TEST_F(TPMeasureTest, ZeroSetButtonsFollowTheSensorAndTheModel) {
    page->SetZeroSetState(1, true);
    EXPECT_TRUE(page->Action("ZeroSetToggle2")->isChecked());
    page->MeasTimerTimer();                     // enables the actions
    page->Action("ZeroSetToggle2")->trigger();  // checked: clears
    EXPECT_EQ(worker.Sent.back().Code, cmd::ZERO_CLR);
    EXPECT_FALSE(page->Action("ZeroSetToggle2")->isChecked());
    page->Action("ZeroSetToggle1")->trigger();
    EXPECT_EQ(worker.Sent.back().Code, cmd::ZERO_SET);
    EXPECT_TRUE(page->Action("ZeroSetToggle1")->isChecked());
    page->SetZeroSetState(7, true);  // no such output: ignored
}

TEST_F(TPMeasureTest, SourceCaptionsComeFromThePageLabels) {
    page->findChild<QLabel*>("AreaLabel")->setText("Bereich");
    page->findChild<QLabel*>("ALabel")->setText("B");
    page->RefreshFromImage();
    EXPECT_EQ(page->findChild<QLabel*>("Source1Label")->text(), "Bereich1:ave");
    EXPECT_EQ(page->findChild<QLabel*>("Source3Label")->text(), "[B1:ave + B2:width]");
    EXPECT_EQ(page->findChild<QLabel*>("Unit2Label")->text(), "mm");
}

TEST_F(TPMeasureTest, SavedTextFileHoldsThePlottedProfile) {
    const std::string dir = testing::TempDir();
    const std::string in = dir + "/kd_tp_in.csv", out = dir + "/kd_tp_out.csv";
    WriteFileAtomic(in, "#KEST profile\r\n0,0\r\n1000,2000\r\n-500,\r\n3000,4000\r\n");
    page->ProfileFrame()->LoadProfileFrom(in);
    ASSERT_EQ(page->ProfileFrame()->PointCount, 4);
    page->SaveProfileTo(out);
    EXPECT_EQ(ReadFileAll(out),
              "   1.000,    2.000\r\n  -0.500,   32.767\r\n   3.000,    4.000\r\n");
    std::remove(in.c_str());
    std::remove(out.c_str());
}

TEST_F(TPMeasureTest, PageButtonsCallTheMainWindow) {
    auto* b = page->findChild<QWidget*>("SettingsButton");
    ASSERT_NE(b, nullptr);
    QMetaObject::invokeMethod(b, "click");
    EXPECT_EQ(t.Services.Triggered, (std::vector<std::string>{"SettingTrigger"}));
}

// At the smallest client area and at larger ones every row lies inside the
// page with a margin, inside its outline and clear of the plot.
TEST_F(TPMeasureTest, RowsFitInsideTheClientAreaAtEverySize) {
    page->show();
    for (QSize size : {QSize(800, 480), QSize(1024, 600), QSize(1366, 705), QSize(1920, 1017)}) {
        page->resize(size);
        const QRect inner = page->rect().adjusted(4, 4, -4, -4);
        const QRect plot = page->ProfileFrame()->geometry();
        EXPECT_TRUE(page->PlotOutline().adjusted(2, 2, -2, -2).contains(plot));
        for (QObject* o : page->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || !w->isVisibleTo(page.get()) || w == page->ProfileFrame()) continue;
            const QRect g = w->geometry();
            const std::string what = w->objectName().toStdString() + " at " +
                                     std::to_string(size.width()) + "x" +
                                     std::to_string(size.height());
            EXPECT_TRUE(inner.contains(g)) << what;
            EXPECT_FALSE(g.intersects(plot)) << what;
            if (g.left() >= page->PlotOutline().left()) {
                EXPECT_TRUE(page->PlotOutline().adjusted(2, 2, -2, -2).contains(g)) << what;
            } else if (g.top() < page->ValuesOutline().bottom()) {
                EXPECT_TRUE(page->ValuesOutline().adjusted(2, 2, -2, -2).contains(g)) << what;
            }
        }
    }
}
