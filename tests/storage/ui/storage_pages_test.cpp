// The storage pages' wiring on a scripted worker: the edit ranges, the
// threshold's unit, the repeat list by version, the enabling by start
// condition, a refused status, a fetch and a load with a bad line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "common/atomic_file.h"
#include "link/commands.h"
#include "params/param_key.h"
#include "storage/ui/fetch_panel.h"
#include "storage/ui/tp_sto_displ.h"
#include "storage/ui/tp_sto_sett.h"
#include "tests/support/test_context.h"

using namespace kd;
using namespace kd::test;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down in the exit handlers crashes.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::vector<uint8_t> W(int v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}

}  // namespace

TEST(StorageSettingsPage, RangesUnitsAndEnabling) {
    App();
    TTestContext t;
    t.State.SensorVersion = {0x53, 0x6D, 75};
    TPStoSett page(t.Ctx);
    page.ShowParams();
    EXPECT_FALSE(page.StrRpt0->isHidden());
    EXPECT_TRUE(page.StrRpt1->isHidden());
    t.State.SensorVersion.Soft = 76;
    page.ShowParams();
    EXPECT_TRUE(page.StrRpt0->isHidden());
    EXPECT_EQ(page.StrRpt1->count(), 3);

    for (auto [text, ok] :
         {std::pair{"0", false}, {"65536", false}, {"1", true}, {"65535", true}}) {
        page.StrBufEdit->setText(text);
        EXPECT_EQ(EditValid(page.StrBufEdit), ok) << text;
    }
    EXPECT_EQ(t.Image.GetSys(pk::StrBuf), 65535);
    page.StrSmpEdit->setText("8192");  // the 13-bit field ends at 8191
    EXPECT_FALSE(EditValid(page.StrSmpEdit));
    page.StrSmpEdit->setText("0");
    EXPECT_TRUE(EditValid(page.StrSmpEdit));
    EXPECT_EQ(t.Image.GetSys(pk::StrSmp), 0);

    page.StrSttCombo->setCurrentIndex(2);
    page.StrSttCombo->activated(2);
    EXPECT_TRUE(page.StrStcCombo->isEnabled());
    EXPECT_FALSE(page.StrThdEdit->isEnabled());
    page.StrSttCombo->setCurrentIndex(4);
    page.StrSttCombo->activated(4);
    EXPECT_TRUE(page.StrThdEdit->isEnabled());

    t.Worker.Sent.clear();
    page.StrThdEdit->setText("2.5");  // mm
    EXPECT_EQ(t.Image.GetSys(pk::StrThd), 2500);
    ASSERT_FALSE(t.Worker.Sent.empty());
    EXPECT_EQ(t.Worker.Sent.back().Code, cmd::SET_STR_THD);
    EXPECT_EQ(t.Worker.Sent.back().Payload, (std::vector<uint8_t>{0, 0, 0x09, 0xC4}));
    page.StrThdEdit->setText("1000");
    EXPECT_FALSE(EditValid(page.StrThdEdit));
    EXPECT_EQ(t.Image.GetSys(pk::StrThd), 2500);

    page.ResetDefaults();
    EXPECT_EQ(t.Image.GetSys(pk::StrBuf), 1000);
    EXPECT_EQ(t.Image.GetSys(pk::StrSmp), 10);
    EXPECT_EQ(page.StrBufEdit->text(), "1000");
}

TEST(StorageDisplayPage, NoStorageDisablesAndAFetchFillsTheChart) {
    App();
    TTestContext t;
    t.State.SensorVersion = {0x53, 0x6D, 0x50};
    TPStoDispl page(t.Ctx, nullptr);
    page.show();
    // ERR_CMD to the status query: no storage until the next connect.
    struct TRefusing : TFakeWorker {
        std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> p) override {
            if (code == cmd::GET_STR_STATE) throw ECommErrCmd("ERR_CMD");
            return TFakeWorker::DoCommand(code, p);
        }
    } refusing;
    TTestContext r(&refusing);
    TPStoDispl none(r.Ctx, nullptr);
    none.show();
    none.PollStatus();
    EXPECT_FALSE(r.State.StoragePoll);
    EXPECT_FALSE(none.BitBtn1->isEnabled());

    t.Worker.Replies[cmd::GET_STR_ADDR] = {0, 0x40, 0, 0, 0, 0x80, 0, 0};
    t.Worker.Replies[cmd::GET_STR_COUNT] = W(100);
    t.Worker.ReadValue = 3;
    page.Fetch();
    EXPECT_EQ(page.Records.Count, 100);
    EXPECT_EQ(page.Records.Values[0][99], 3 | (3 << 16));
    EXPECT_TRUE(page.Panel->isHidden());

    namespace fs = std::filesystem;
    const std::string file = (fs::temp_directory_path() / "kd_sto_page_test.csv").string();
    WriteFileAtomic(file, "#sec,A1\r\n0, 1\r\n10, 2\r\n20, x\r\n");
    EXPECT_FALSE(page.Load(QString::fromStdString(file)));
    EXPECT_EQ(page.Records.Count, 2);
    EXPECT_TRUE(page.StatusLabel->text().contains("line 4"))
        << page.StatusLabel->text().toStdString();
    fs::remove(file);
}
