// The trigger and profile pages on the offscreen platform against the
// simulated sensor: what the operator does in a control, what the image then
// holds, and the exact frames the sensor received (its frame trace).
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "measure/ui/profile_frame.h"
#include "pages/ui/setting_controls.h"
#include "pages/ui/tp_profile.h"
#include "pages/ui/tp_trigger.h"
#include "tests/pages/ui/pages_sim_fixture.h"

using namespace kd;

namespace {

using pagestest::Pump;

class PagesOnSim : public pagestest::PagesSimFixture {};

}  // namespace

TEST_F(PagesOnSim, TriggerPageTruncatesMapsAndSendsOnlyInStep) {
    TPTrigger page(t.Ctx);
    page.ShowParams();
    page.show();
    EXPECT_TRUE(NewRequests().empty());  // refilling never sends

    // 7 us: the image keeps 5, the sensor gets 1, the log says 7; the edit keeps 7.
    page.TrigFilterEdit->setText("7");
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_IFILL 1"}));
    EXPECT_EQ(t.Ctx.GetSys("InputFilter"), 5);
    EXPECT_EQ(log.back(), "SET_GPIO_IFILL(7)");
    EXPECT_EQ(page.TrigFilterEdit->text(), "7");
    EXPECT_TRUE(EditValid(page.TrigFilterEdit));
    // An empty edit is red and changes nothing.
    page.TrigFilterEdit->setText("");
    EXPECT_FALSE(EditValid(page.TrigFilterEdit));
    EXPECT_TRUE(NewRequests().empty());
    EXPECT_EQ(t.Ctx.GetSys("InputFilter"), 5);

    // PulseCount: stored 3, sent 2; count and delay shown; Continuous hides both.
    Choose(page.TrigModeCombo, 2);
    EXPECT_EQ(NewRequests(), (Requests{"SET_TMD 2"}));
    EXPECT_EQ(t.Ctx.GetBank("TrigAction"), 3);
    EXPECT_TRUE(page.TrigCountEdit->isVisibleTo(&page));
    EXPECT_TRUE(page.TrigDelayEdit->isVisibleTo(&page));
    page.TrigDelayEdit->setText("12");
    page.TrigCountEdit->setText("300");
    EXPECT_EQ(NewRequests(), (Requests{"SET_TDLY 2", "SET_PCNT 300"}));
    EXPECT_EQ(t.Ctx.GetBank("TrigDelay"), 10);
    Choose(page.TrigModeCombo, 0);
    EXPECT_FALSE(page.TrigCountEdit->isVisibleTo(&page));
    EXPECT_FALSE(page.TrigDelayEdit->isVisibleTo(&page));
    EXPECT_EQ(NewRequests(), (Requests{"SET_TMD 0"}));

    // Input 4 as "Laser OFF" hides the offset target and updates the actions.
    const int updates = t.Services.ActionUpdates;
    Choose(page.INCombo[3], 1);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_IMODE 3,1"}));
    EXPECT_FALSE(page.ZeroTargetCombo->isVisibleTo(&page));
    EXPECT_EQ(t.Services.ActionUpdates, updates + 1);

    // Some but not all polarity bits: no selection, and refilling sends nothing.
    t.Set("InputsPolar", (t.Ctx.GetSys("InputsPolar") & ~0x55) | 0x05);
    page.ShowParams();
    EXPECT_EQ(page.ExtPolarCombo->currentIndex(), -1);
    Choose(page.ExtPolarCombo, 1);
    EXPECT_EQ(t.Ctx.GetSys("InputsPolar") & 0x55, 0x55);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_IPOLAR 1"}));

    // A stored action outside 0, 1, 3 leaves the list as it is.
    const int shown = page.TrigModeCombo->currentIndex();
    ASSERT_GE(shown, 0);
    t.Set("TrigAction", 2);
    page.ShowParams();
    EXPECT_EQ(page.TrigModeCombo->currentIndex(), shown);

    // Sync off: the image changes, the sensor hears nothing, the log stays quiet.
    t.Services.SyncOn = false;
    const size_t lines = log.size();
    page.TrigFilterEdit->setText("1275");
    Choose(page.ZeroTargetCombo, 2);
    EXPECT_EQ(t.Ctx.GetSys("InputFilter"), 1275);
    EXPECT_EQ(t.Ctx.GetSys("ZeroTarget"), 2);
    EXPECT_TRUE(NewRequests().empty());
    EXPECT_EQ(log.size(), lines);
    test::SavePng(page.grab().toImage(), "trigger_page");
}

TEST_F(PagesOnSim, ProfilePageListsLinesAndMaster) {
    ProfileShared shared;
    TPProfile page(t.Ctx, shared);
    page.resize(680, 390);
    page.ShowParams();
    page.show();
    page.UpdateActions();
    NewRequests();
    EXPECT_TRUE(page.WavePanel->isVisibleTo(&page));

    // Gap/Trans: the image holds 2, the sensor is sent the position 1.
    Choose(page.ModeCombo, 1);
    EXPECT_EQ(t.Ctx.GetBank("Extract"), 2);
    EXPECT_EQ(NewRequests(), (Requests{"SET_PRF_FUNC 1"}));

    page.PrfOrigButton->click();
    EXPECT_TRUE(page.AdjPanel->isVisibleTo(&page));
    EXPECT_FALSE(page.MasterChangeLabel->isVisibleTo(page.AdjPanel));
    TProfileFrame* frame = page.Frame();
    QWidget* plot = frame->PlotWidget();
    auto release = [&] {
        test::SendMouse(plot, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    };

    // A line dragged to 10001 um: sent as 5000, kept as 10000; the notice shows.
    page.Action("XAdjust")->trigger();
    EXPECT_EQ(frame->LineMode, 1);
    frame->LinePos = 10001;
    release();
    EXPECT_EQ(NewRequests(), (Requests{"SET_HCORRECT 5000"}));
    EXPECT_EQ(t.Ctx.GetBank("HCorrect"), 10000);
    EXPECT_EQ(log.back(), "cmd4015(5000)");
    EXPECT_TRUE(page.MasterChangeLabel->isVisibleTo(page.AdjPanel));

    // With Sync off a list stays in the image, while a release without a
    // drag still sends the unchanged line.
    t.Services.SyncOn = false;
    Choose(page.SmoothCombo, 3);
    EXPECT_EQ(t.Ctx.GetBank("Smoothing"), 3);
    page.Action("ZAdjust")->trigger();
    EXPECT_EQ(frame->LineMode, 2);
    EXPECT_FALSE(page.Action("XAdjust")->isChecked());
    const int v = t.Ctx.GetBank("VCorrect");
    release();
    EXPECT_EQ(NewRequests(), (Requests{Format("SET_VCORRECT %d", static_cast<uint16_t>(v / 2))}));
    t.Services.SyncOn = true;

    // Tilt correction off while its line is edited: editing ends, its button is disabled.
    Choose(page.TiltCorrectCombo, 1);
    EXPECT_TRUE(page.TiltOffsetButton->isEnabled());
    page.Action("RollAdjust")->trigger();
    EXPECT_EQ(frame->LineMode, 3);
    Choose(page.TiltCorrectCombo, 0);
    EXPECT_FALSE(page.TiltOffsetButton->isEnabled());
    EXPECT_EQ(frame->LineMode, 0);
    EXPECT_EQ(NewRequests(), (Requests{"SET_PROF_TILT 1", "SET_PROF_TILT 0"}));

    // Reading the master of a bank without one leaves its count 0.
    t.Masters.MasterCount[static_cast<size_t>(t.State.CurrentBank)] = 5;
    page.Action("RecvMaster")->trigger();
    EXPECT_EQ(t.Masters.MasterCount[static_cast<size_t>(t.State.CurrentBank)], 0);
    EXPECT_EQ(NewRequests(), (Requests{Format("GET_MST_ADDR %d", t.State.CurrentBank)}));

    // Registration: SET_PROF_MST, one profile, the master read back; the notice goes.
    page.Action("Register")->trigger();
    for (int i = 0; i < 400 && (th.Task != kTaskIdle || frame->PointCount == 0); ++i) Pump(5);
    EXPECT_GT(frame->PointCount, 0);
    const Requests r = NewRequests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.front(), "SET_PROF_MST");
    EXPECT_NE(std::find(r.begin(), r.end(), Format("GET_MST_ADDR %d", t.State.CurrentBank)),
              r.end());
    EXPECT_FALSE(page.MasterChangeLabel->isVisibleTo(page.AdjPanel));
    // Hiding the page ends line editing.
    page.Action("XAdjust")->trigger();
    page.hide();
    EXPECT_EQ(frame->LineMode, 0);
    EXPECT_FALSE(page.Action("XAdjust")->isChecked());
}
