// The area and operation pages on the offscreen platform against the
// simulated sensor: what the operator types or chooses, what the image then
// holds and the frames the sensor received.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "measure/ui/chart_frame.h"
#include "measure/ui/profile_frame.h"
#include "pages/ui/setting_controls.h"
#include "pages/ui/tp_area.h"
#include "pages/ui/tp_operation.h"
#include "tests/pages/ui/pages_sim_fixture.h"

using namespace kd;

namespace {

using pagestest::Pump;

class AreaOperationOnSim : public pagestest::PagesSimFixture {
  protected:
    void SetUp() override {
        PagesSimFixture::SetUp();
        t.State.LinkState = 2;
    }
};

}  // namespace

TEST_F(AreaOperationOnSim, AreaRectangleInTheDisplayUnitClampedAndReadBack) {
    t.Set("A2.Left", -5000);
    t.Set("A2.Top", -5000);
    t.Set("A2.Right", 8000);
    t.Set("A2.Bottom", 5000);
    ProfileShared shared;
    TPArea page(t.Ctx, shared);
    page.ShowParams();
    page.show();
    EXPECT_TRUE(NewRequests().empty());  // refilling never sends
    page.SelectArea(1);
    EXPECT_EQ(log.back(), "set curr AREA1");
    QLineEdit* left = page.RectEdit[0];

    // mm: 3.5 stores 3500 um; with Sync off nothing goes out.
    t.Services.SyncOn = false;
    left->setText("3.5");
    EXPECT_EQ(t.Ctx.GetBank("A2.Left"), 3500);
    EXPECT_TRUE(NewRequests().empty());
    // Half-typed text is red and stores nothing.
    left->setText("-");
    EXPECT_FALSE(EditValid(left));
    EXPECT_EQ(t.Ctx.GetBank("A2.Left"), 3500);
    left->setText("3.5");

    // Sync off: the right edge and the top as typed, each held within its
    // key's limits, not ordered against the left; the others rewritten.
    page.RectEdit[2]->setText("-25");
    EXPECT_EQ(t.Ctx.GetBank("A2.Right"), -14934);
    EXPECT_EQ(t.Ctx.GetBank("A2.Left"), 3500);
    EXPECT_EQ(left->text(), "3.500");
    page.RectEdit[1]->setText("-30");
    EXPECT_EQ(t.Ctx.GetBank("A2.Top"), -27998);
    EXPECT_TRUE(NewRequests().empty());

    // -20 mm with Sync on: the sensor orders and clamps what the four edits
    // hold; stored so, and every edit but the typed one rewritten from it.
    t.Services.SyncOn = true;
    left->setText("-20");
    const Requests r = NewRequests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], Format("AREA_RECT 1,%d,%d,%d,%d", static_cast<uint16_t>(-27998 >> 1),
                           static_cast<uint16_t>(-14998 >> 1), 5000 >> 1,
                           static_cast<uint16_t>(-14934 >> 1)));
    EXPECT_EQ(t.Ctx.GetBank("A2.Left"), -14998);
    EXPECT_EQ(t.Ctx.GetBank("A2.Right"), -14934);
    EXPECT_EQ(t.Ctx.GetBank("A2.Top"), -27998);
    EXPECT_EQ(left->text(), "-20");  // the edit being typed in stays
    EXPECT_EQ(page.RectEdit[2]->text(), "-14.934");
    EXPECT_EQ(page.RectEdit[1]->text(), "-27.998");
    EXPECT_EQ(shared.AreaRects[1].Left, -14998);

    // um: 3500.9 is truncated to 3500 (stored as typed with Sync off).
    t.Services.SyncOn = false;
    t.Display.DisplUnit = 1;
    page.ShowParams();
    EXPECT_EQ(page.UnitLabel->text(), "um");
    EXPECT_EQ(left->text(), "-14998");
    left->setText("3500.9");
    EXPECT_EQ(t.Ctx.GetBank("A2.Left"), 3500);
}

TEST_F(AreaOperationOnSim, AreaFunctionsByVersionMidLineAndInflectSign) {
    ProfileShared shared;
    TPArea page(t.Ctx, shared);
    page.ShowParams();
    page.SelectArea(1);
    EXPECT_EQ(page.AreaModeCombo->count(), 13);

    // Width for Area2: sent, middle line through Area2, directions hidden.
    Choose(page.AreaModeCombo, 3);
    EXPECT_EQ(NewRequests(), (Requests{"SET_AREA_MOD 1,3"}));
    EXPECT_EQ(log.back(), "SET_AREA_MOD(ch1, 3)");
    EXPECT_EQ(page.Frame()->MidLineMask & 2u, 2u);
    EXPECT_FALSE(page.AreaDirCombo->isVisibleTo(&page));
    // Size shows the direction, and the Dir key goes out with SET_AREA_SDR.
    Choose(page.AreaModeCombo, 9);
    EXPECT_EQ(page.Frame()->MidLineMask & 2u, 0u);
    EXPECT_TRUE(page.AreaDirCombo->isVisibleTo(&page));
    Choose(page.AreaDirCombo, 1);
    EXPECT_EQ(t.Ctx.GetBank("A2.Dir"), 1);
    EXPECT_EQ(NewRequests(), (Requests{"SET_AREA_MOD 1,9", "SET_AREA_SDR 1,1"}));

    // Inflect: "+10" accepted and shown with its sign after the next fill.
    Choose(page.AreaModeCombo, 12);
    EXPECT_TRUE(page.InflEdit->isVisibleTo(&page));
    NewRequests();
    page.InflEdit->setText("+10");
    EXPECT_EQ(t.Ctx.GetBank("A2.Infl"), 10);
    EXPECT_EQ(NewRequests(), (Requests{"SET_AREA_INFL 1,10"}));
    EXPECT_EQ(log.back(), "SET_AREA_INFL(chA, 10)");
    page.InflEdit->setText("256");
    EXPECT_FALSE(EditValid(page.InflEdit));
    page.ShowParams();
    EXPECT_EQ(page.InflEdit->text(), "+10");

    // Software 74: twelve functions; a stored Inflect shows no selection and
    // cannot be set through the table either.
    t.State.SensorVersion.Soft = 74;
    page.ShowParams();
    EXPECT_EQ(page.AreaModeCombo->count(), 12);
    EXPECT_EQ(page.AreaModeCombo->currentIndex(), -1);
    EXPECT_FALSE(ChooseSetting(*FindSettingByKey("A2.Func"), t.Ctx, 12).Valid());
    EXPECT_TRUE(NewRequests().empty());
}

TEST_F(AreaOperationOnSim, AreaLiveProfilesWithMasterAndStop) {
    ProfileShared shared;
    TPArea page(t.Ctx, shared);
    t.State.CurrentPage = kPageArea;
    page.ShowParams();
    page.show();
    page.UpdateActions();
    page.RecvProf()->trigger();
    EXPECT_TRUE(page.Polling());
    for (int i = 0; i < 400 && page.Frame()->PointCount == 0; ++i) Pump(5);
    EXPECT_GT(page.Frame()->PointCount, 0);
    const Requests r = NewRequests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.front(), Format("GET_MST_ADDR %d", t.State.CurrentBank));
    EXPECT_NE(std::find(r.begin(), r.end(), "GET_PROF_CORR"), r.end());
    test::SavePng(page.grab().toImage(), "area_page_live");
    // A disconnection stops the poll and releases the button.
    page.StopRepeat();
    EXPECT_FALSE(page.Polling());
    EXPECT_EQ(log.back(), "ABORT");
    for (int i = 0; i < 200 && th.Task != kTaskIdle; ++i) Pump(5);
    EXPECT_EQ(th.Task, kTaskIdle);
}

TEST_F(AreaOperationOnSim, OperationEditsCalculationsAndChart) {
    TChartData chart(100);
    TPOperation page(t.Ctx, &chart);
    page.AreaFunctionNames = [] {
        return QStringList{"Average", "Peak Height", "Bottom Height", "Width"};
    };
    page.ShowParams();
    page.show();
    NewRequests();

    // Averaging: 0 and 1024 red, 1023 taken; the value the image holds sends nothing.
    struct {
        const char* Text;
        bool Valid;
    } const aves[] = {{"0", false}, {"1024", false}, {"x", false}, {"1023", true}};
    for (const auto& a : aves) {
        page.AverageEdit->setText(a.Text);
        EXPECT_EQ(EditValid(page.AverageEdit), a.Valid) << a.Text;
    }
    EXPECT_EQ(t.Ctx.GetBank("A1.Ave"), 1023);
    EXPECT_EQ(NewRequests(), (Requests{"SET_CAL_AVG 0,1023"}));
    page.AverageEdit->setText("01023");
    EXPECT_TRUE(NewRequests().empty());

    // Span: 0.5 gives 500; 0.0004 and 2 are red.
    struct {
        const char* Text;
        bool Valid;
    } const spans[] = {{"0.0004", false}, {"2", false}, {"0.5", true}};
    for (const auto& s : spans) {
        page.SpanEdit->setText(s.Text);
        EXPECT_EQ(EditValid(page.SpanEdit), s.Valid) << s.Text;
    }
    EXPECT_EQ(t.Ctx.GetBank("C1.Span"), 500);
    EXPECT_EQ(NewRequests(), (Requests{"SET_CAL_SPAN 0,500"}));
    EXPECT_EQ(log.back(), "SET_CAL_SPAN(a0, 500)");

    // Calc1: operands shown, averaging hidden; the unit follows operand A.
    t.Set("A1.Func", 3);
    t.Set("A2.Func", 15);
    t.Set("A3.Func", 8);
    Choose(page.AdjTargetCombo, 4);
    EXPECT_EQ(page.TargetCh(), 4);
    EXPECT_TRUE(page.CalcTarget1Combo->isVisibleTo(&page));
    EXPECT_FALSE(page.AverageEdit->isVisibleTo(&page));
    EXPECT_EQ(page.CalcTarget1Combo->itemText(1), "Area2:mode15");
    EXPECT_EQ(page.CalcTarget2Combo->itemText(0), "Area1:Width");
    Choose(page.CalcTarget1Combo, 2);
    EXPECT_EQ(t.Ctx.GetBank("Op1.A"), 2);
    EXPECT_EQ(page.UnitOLabel->text(), "deg.");
    Choose(page.OperatorCombo, 1);
    Choose(page.HoldCombo, 2);
    EXPECT_EQ(NewRequests(), (Requests{"SET_CAL_A 4,2", "SET_CAL_CMD 4,1", "SET_CAL_HLD 4,2"}));
    EXPECT_EQ(t.Ctx.GetBank("Op1.Hold"), 2);

    // The chart's channels follow the boxes.
    page.SetChartMask(0x3F);
    page.ChannelCheck[2]->setChecked(false);
    EXPECT_EQ(page.ChartMask(), 0x3Bu);
    EXPECT_FALSE(page.ChannelCheck[2]->isChecked());
}
