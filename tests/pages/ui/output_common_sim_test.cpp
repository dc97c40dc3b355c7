// The output page and the common setup page on the offscreen platform against
// the simulated sensor: what the operator types or chooses, what the image
// then holds and the exact frames the sensor received.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "pages/ui/setting_controls.h"
#include "pages/ui/tp_common.h"
#include "pages/ui/tp_output.h"
#include "tests/pages/ui/pages_sim_fixture.h"

using namespace kd;

namespace {

class OutputOnSim : public pagestest::PagesSimFixture {
  protected:
    void SetUp() override {
        PagesSimFixture::SetUp();
        t.State.CurrentPage = kPageOutput;
    }
};

}  // namespace

TEST_F(OutputOnSim, LimitsFollowTheOffsetAndReadyHidesTime) {
    t.Set("O1.Ch", 0);
    t.Set("A1.Func", 0);  // mm
    t.Set("C1.Offset", 1500);
    t.Set("O1.ULimit", 1000);
    t.Set("O1.LLimit", -1000);
    t.Set("O1.Action", 1);
    TPOutput page(t.Ctx);
    page.ShowParams();
    page.show();
    EXPECT_TRUE(NewRequests().empty());          // refilling never sends
    EXPECT_EQ(page.OffsetEdit->text(), "1.50");  // precision 3, offset two decimals
    EXPECT_EQ(page.HiLimitEdit->text(), "2.500");
    EXPECT_EQ(page.LoLimitEdit->text(), "0.500");

    page.HiLimitEdit->setText("3");
    EXPECT_EQ(t.Ctx.GetBank("O1.ULimit"), 1500);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_ULMT 0,1500"}));
    // At or below the lower limit: red, nothing stored or sent.
    page.HiLimitEdit->setText("0.5");
    EXPECT_FALSE(EditValid(page.HiLimitEdit));
    EXPECT_EQ(t.Ctx.GetBank("O1.ULimit"), 1500);
    EXPECT_TRUE(NewRequests().empty());

    // A new offset moves the shown limits, not the stored ones.
    page.OffsetEdit->setText("2");
    EXPECT_EQ(NewRequests(), (Requests{"SET_SHIFT_ZERO 0,200"}));
    EXPECT_EQ(page.HiLimitEdit->text(), "3.500");
    EXPECT_EQ(t.Ctx.GetBank("O1.ULimit"), 1500);

    // Ready hides the time and shows the no-value mark for the output.
    t.Live.Outputs[0] = 1234;
    page.Timer1Timer();
    EXPECT_EQ(page.DisplLabel[0]->text(), "1.234");
    Choose(page.OutActCombo, 3);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_OMODE 0,3"}));
    EXPECT_FALSE(page.OutputTimeEdit->isVisibleTo(&page));
    page.Timer1Timer();
    EXPECT_EQ(page.DisplLabel[0]->text(), "-.---");

    // "Current Displ." without a value changes nothing; with one it is taken.
    t.Live.Outputs[0] = kNoValue32;
    page.ToLowerButton->click();
    EXPECT_EQ(page.LoLimitEdit->text(), "1.000");
    t.Live.Outputs[0] = 2750;
    page.ToLowerButton->click();
    EXPECT_EQ(t.Ctx.GetBank("O1.LLimit"), 750);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_LLMT 0,750"}));

    // Another output: its own keys, the hysteresis list in micrometres.
    t.Display.DisplUnit = 1;
    page.SelectOutput(1);
    EXPECT_EQ(page.HysteresisCombo->itemText(15), "2000");
    Choose(page.HysteresisCombo, 4);
    EXPECT_EQ(t.Ctx.GetBank("O2.Hys"), 4);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_HYS 1,4"}));
    test::SavePng(page.grab().toImage(), "output_page");
}

TEST_F(OutputOnSim, OlderSensorEstimatesTheCurrentFromTheAnalogChannel) {
    t.State.SensorVersion = {0x53, 0x6D, 0x3C};
    t.Set("Ana.Ch", 1);
    t.Set("A2.Func", 0);
    t.Set("C2.Offset", 1000);
    t.Set("O1.Ch", 0);
    t.Set("C1.Offset", 5000);  // the selected output's channel: not the analog output's
    t.Set("Ana.LLimit", 0);
    t.Set("Ana.ULimit", 2000);
    TPOutput page(t.Ctx);
    page.ShowParams();
    page.show();
    EXPECT_TRUE(page.UnitMALabel->isVisibleTo(&page));
    EXPECT_EQ(page.HysteresisCombo->itemText(15), "0.060");
    for (auto [value, ma] : {std::pair{1000, "4.000"}, {3000, "20.000"}, {3500, "24.000"}}) {
        t.Live.Channels[1] = value;
        page.Timer1Timer();
        EXPECT_EQ(page.DisplALabel->text(), ma) << value;
    }
    // The analog pair accepts equal values.
    page.Ana20mAEdit->setText("1");
    EXPECT_TRUE(EditValid(page.Ana20mAEdit));
    EXPECT_EQ(t.Ctx.GetBank("Ana.ULimit"), 0);
    EXPECT_EQ(NewRequests(), (Requests{"SET_GPIO_ULMT 3,0"}));
}

TEST_F(OutputOnSim, CommonPageBaudUnitAndBankOperations) {
    std::vector<std::string> calls;
    TBankOps ops;
    ops.SetBaud = [&](int baud) {
        calls.push_back("baud " + std::to_string(baud));
        return baud;
    };
    ops.BankCopy = [&](int to, int from) {
        calls.push_back("copy " + std::to_string(from) + " " + std::to_string(to));
    };
    ops.Confirm = [&](const std::string&) { return false; };
    TPCommon page(t.Ctx, ops);
    page.ExecDialog = [](QDialog& d) {
        auto& dlg = static_cast<TBankCopyDlg&>(d);
        dlg.FromCombo->setCurrentIndex(2);
        dlg.ToCombo->setCurrentIndex(8);
        return static_cast<int>(QDialog::Accepted);
    };
    page.ShowParams();
    page.show();
    for (const char* text : {"38.4kbps", "bps"}) {
        page.BaudComboX->setEditText(text);
        page.BaudComboXClick();
        EXPECT_EQ(t.Settings.BaudRate, text);
    }
    // The stored rate became the link's when the page was made; a text
    // without a number is kept but changes no rate.
    EXPECT_EQ(calls, (std::vector<std::string>{"baud 2000000", "baud 38400"}));

    Choose(page.DisplUnitCombo, 1);
    EXPECT_EQ(t.Display.DisplUnit, 1);
    EXPECT_FALSE(page.PrecisionCombo->isEnabled());

    // Disconnected: the bank operations are disabled and do nothing.
    t.State.LinkState = 0;
    page.UpdateActions();
    EXPECT_FALSE(page.BankCopyButton->isEnabled());
    EXPECT_FALSE(page.Action("BankClear")->isEnabled());
    t.State.LinkState = 2;
    page.UpdateActions();
    page.BankCopyButton->click();
    EXPECT_EQ(calls.back(), "copy 2 8");
    page.BankClearButton->click();  // cancelled: nothing reaches the sensor
    EXPECT_TRUE(NewRequests().empty());

    // The system settings are rows of the table.
    Choose(page.SysDirCombo, 1);
    EXPECT_EQ(NewRequests(), (Requests{"SET_SYS_DIR 1"}));
    test::SavePng(page.grab().toImage(), "common_page");
}
