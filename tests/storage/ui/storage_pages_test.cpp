// The storage pages' wiring on a scripted worker: the edit ranges, the signed
// start position, the threshold's unit and the target list, the repeat list
// by version, the enabling by start condition; the no-storage sensor until
// the next connect; fetches with the trigger mark and the chart's scales,
// zoom steps, loads and failed files; the profile page's fetch, errors and
// paint box; the registry values; the pixels the drawing rules fix.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QToolButton>
#include <filesystem>

#include "common/atomic_file.h"
#include "link/commands.h"
#include "pages/settings_table.h"
#include "params/param_key.h"
#include "shell/config_store.h"
#include "storage/ui/fetch_panel.h"
#include "storage/ui/tp_sto_displ.h"
#include "storage/ui/tp_sto_prof.h"
#include "storage/ui/tp_sto_sett.h"
#include "tests/support/test_context.h"

using namespace kd;
using namespace kd::test;
namespace fs = std::filesystem;

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

// Stored records: value 1000 * record + channel, a record every 5 ms.
struct TRecordingWorker : TFakeWorker {
    void MemRead(void* buffer, uint32_t address, uint16_t mode, int words) override {
        TFakeWorker::MemRead(buffer, address, mode, words);
        auto* w = static_cast<uint16_t*>(buffer);
        for (int k = 0; k < words; ++k) {
            const uint32_t at = address - 0x400000 + uint32_t(k);
            const uint32_t rec = at / 16, field = at % 16 / 2;
            const uint32_t v = field < 6 ? 1000 * rec + field : field == 6 ? rec * 50 : 0;
            w[k] = uint16_t(at % 2 == 0 ? v & 0xFFFF : v >> 16);
        }
    }
};

// Stored profiles of two points, a profile slot every 2048 words.
struct TProfileWorker : TFakeWorker {
    void MemRead(void* buffer, uint32_t address, uint16_t mode, int words) override {
        TFakeWorker::MemRead(buffer, address, mode, words);
        auto* w = static_cast<uint16_t*>(buffer);
        const uint32_t slot = (address - 0x800000) / 2048;
        const uint16_t profile[6] = {
            2 << 5, uint16_t(0x8000 | slot * 40), uint16_t(-10000), uint16_t(-5000), 10000, 15000};
        for (int k = 0; k < words && k < 6; ++k) w[k] = profile[k];
    }
};

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

TEST(StorageSettingsPage, SignedStartPositionTargetsAndThresholdText) {
    App();
    TTestContext t;
    t.Set("StrStl", -100);
    t.Set("A2.Func", 8);  // tilt, in degrees
    t.Set("Op1.A", 1);
    t.Set("Op1.B", 2);
    t.Set("StrThd", 2500);
    TPStoSett page(t.Ctx);
    page.ShowParams();
    EXPECT_EQ(page.StrStlEdit->text(), "-100");
    EXPECT_TRUE(EditValid(page.StrStlEdit));
    EXPECT_EQ(page.StrStcCombo->itemText(0), "Area1: ave");
    EXPECT_EQ(page.StrStcCombo->itemText(4), "Calc1 [A2:tilt + A3:ave]");
    page.ShowParams();  // a second refresh does not add to the items
    EXPECT_EQ(page.StrStcCombo->itemText(1), "Area2: tilt");
    EXPECT_EQ(page.StrThdEdit->text(), "2.500");

    // The unit follows the target: a calculation takes its first area's.
    page.StrStcCombo->setCurrentIndex(4);
    page.StrStcCombo->activated(4);
    EXPECT_EQ(page.StrThdUnitLabel->text(), "deg.");
    t.Display.DisplUnit = 1;
    page.StrStcCombo->setCurrentIndex(0);
    page.StrStcCombo->activated(0);
    EXPECT_EQ(page.StrThdUnitLabel->text(), "um");
    EXPECT_EQ(page.StrThdEdit->text(), "2500");

    // kdctl's set takes the text as the page does.
    const TSetting* thd = FindSettingByKey("StrThd");
    ASSERT_NE(thd, nullptr);
    t.Display.DisplUnit = 0;
    EXPECT_TRUE(ApplySettingText(*thd, t.Ctx, "-1.25").Valid());
    EXPECT_EQ(t.Image.GetSys(pk::StrThd), -1250);
    EXPECT_EQ(SettingText(*thd, t.Ctx), "-1.250");
    EXPECT_EQ(ApplySettingText(*thd, t.Ctx, "abc").Result, TSettingOutcome::NotANumber);
    EXPECT_EQ(ApplySettingText(*thd, t.Ctx, "1000").Result, TSettingOutcome::OutOfRange);
    const TSetting* stl = FindSettingByKey("StrStl");
    ASSERT_NE(stl, nullptr);
    EXPECT_EQ(ShownValue(*stl, t.Ctx), -100);
}

TEST(StorageDisplayPage, NoStorageUntilTheNextConnect) {
    App();
    struct TRefusing : TFakeWorker {
        bool Refuse = true;
        std::vector<uint8_t> DoCommand(uint16_t code, std::span<const uint8_t> p) override {
            if (Refuse && code == cmd::GET_STR_STATE) throw ECommErrCmd("ERR_CMD");
            return TFakeWorker::DoCommand(code, p);
        }
    } refusing;
    TTestContext r(&refusing);
    TPStoDispl page(r.Ctx, nullptr);
    page.show();
    page.PollStatus();
    EXPECT_FALSE(r.State.StoragePoll);
    EXPECT_EQ(r.Services.DataLog, std::vector<bool>{false});
    EXPECT_FALSE(page.BitBtn1->isEnabled());
    refusing.Sent.clear();
    page.PollStatus();  // no more polling
    EXPECT_TRUE(refusing.Sent.empty());

    // The next connect: a sensor with storage is asked once, even with the
    // page out of sight, and the data storage buttons come back.
    page.hide();
    refusing.Refuse = false;
    r.State.StoragePoll = true;
    r.State.NewConnection = true;
    page.PollStatus();
    ASSERT_EQ(refusing.Sent.size(), 1u);
    EXPECT_EQ(refusing.Sent[0].Code, cmd::GET_STR_STATE);
    EXPECT_EQ(r.Services.DataLog.back(), true);
    EXPECT_FALSE(r.State.NewConnection);
    refusing.Sent.clear();
    page.PollStatus();
    EXPECT_TRUE(refusing.Sent.empty());  // out of sight, nothing running
}

TEST(StorageDisplayPage, FetchMarksTheTriggerKeepsTheTimeScaleAndZooms) {
    App();
    TRecordingWorker worker;
    TTestContext t(&worker);
    t.Set("StrStl", -100);
    TPStoDispl page(t.Ctx, nullptr);
    page.resize(800, 480);
    page.show();
    QApplication::processEvents();
    worker.Replies[cmd::GET_STR_ADDR] = {0, 0x40, 0, 0, 0, 0x80, 0, 0};
    worker.Replies[cmd::GET_STR_COUNT] = W(2000);
    t.State.StorageRunState = 1;  // Get during the page's own run fetches at once
    page.StrDisplRecv->trigger();
    ASSERT_EQ(page.Records.Count, 2000);
    EXPECT_EQ(page.Records.TriggerMark, 100);
    EXPECT_FALSE(t.State.CameraLive);  // the polling tick paused only meanwhile
    EXPECT_EQ(page.Records.Values[2][1999], 1999002);
    EXPECT_TRUE(page.Panel->isHidden());
    // 9995 ms at 10 ms a pixel; the height of the box for the values.
    const int box = page.ScrollBox1->viewport()->height();
    EXPECT_EQ(page.ScrollBox1->widget()->width(), 999);
    EXPECT_EQ(page.ScrollBox1->widget()->height(), box);
    EXPECT_NEAR(page.YScale, box / (page.Range.High - page.Range.Low) * 1000, 1e-9);
    EXPECT_EQ(page.Range.Low, 0 - 199900);

    // A click on a zoom button is one step of 2^(1/12).
    page.ZoomButtons[2]->pressed();
    page.ZoomButtons[2]->released();
    EXPECT_NEAR(page.TimeScale, 10 / std::pow(2.0, 1.0 / 12), 1e-9);
    EXPECT_EQ(page.ScrollBox1->widget()->width(), int(9995 / page.TimeScale));
    page.ZoomStep(0);
    EXPECT_EQ(page.ScrollBox1->widget()->height(),
              int((page.Range.High - page.Range.Low) / 1000 * page.YScale));
    // Far beyond what a widget can be: the width of the box instead.
    page.TimeScale = 2e-4;
    page.ZoomStep(2);
    QApplication::processEvents();
    EXPECT_EQ(page.ScrollBox1->widget()->width(), page.ScrollBox1->viewport()->width());
    EXPECT_FALSE(page.CursorGrid->item(0, 1)->text().isEmpty());
}

TEST(StorageDisplayPage, LoadScalesTheChartAndFailedFilesAreShown) {
    App();
    TTestContext t;
    TPStoDispl page(t.Ctx, nullptr);
    page.resize(800, 480);
    page.show();
    const fs::path dir = fs::temp_directory_path() / ("kd_sto_page_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "a.csv").string();
    WriteFileAtomic(file, "#sec,A1\r\n0, 0\r\n10, 3000\r\n20, x\r\n");
    EXPECT_FALSE(page.Load(QString::fromStdString(file)));
    EXPECT_EQ(page.Records.Count, 2);
    ASSERT_EQ(t.Services.Messages.size(), 1u);
    EXPECT_NE(t.Services.Messages[0].second.find("line 4"), std::string::npos);
    EXPECT_NE(t.Services.Messages[0].second.find(file), std::string::npos);
    // 0..3000 widened by 300: the chart is trunc(3600 / 1000) x y_scale high.
    EXPECT_EQ(page.Range.Low, -300);
    EXPECT_EQ(page.ScrollBox1->widget()->height(), int(3 * page.YScale));

    EXPECT_FALSE(page.Load(QString::fromStdString(dir.string())));  // a folder
    EXPECT_FALSE(page.Save(QString::fromStdString((dir / "no" / "b.csv").string())));
    ASSERT_EQ(t.Services.Messages.size(), 3u);
    EXPECT_NE(t.Services.Messages[2].second.find("b.csv"), std::string::npos);
    EXPECT_EQ(page.Records.Count, 2);  // a failed load keeps the set
    fs::remove_all(dir);
}

TEST(StoragePages, RegistryValuesOutliveThePages) {
    App();
    TTestContext t;
    TMemoryConfigStore store;
    {
        TPStoDispl d(t.Ctx, nullptr, nullptr, &store);
        EXPECT_EQ(d.YScale, 5.0);
        d.YScale = 7.5;
        d.TimeScale = 2.5;
        d.AutoSaveName = "/tmp/log.csv";
        TPStoProf p(t.Ctx, nullptr, &store);
        EXPECT_EQ(p.Far, 25000);
        p.XScale = 0.02;
        p.Near = -1000;
        p.AreaCheck->setChecked(false);
        d.SaveRegistry(store);
        p.SaveRegistry(store);
    }
    store.WriteDouble("DisplProfile", "time_scale", -1);  // a bad value keeps the default
    TPStoDispl d(t.Ctx, nullptr, nullptr, &store);
    EXPECT_EQ(d.YScale, 7.5);
    EXPECT_EQ(d.TimeScale, 10.0);
    EXPECT_EQ(d.AutoSaveName, "/tmp/log.csv");
    TPStoProf p(t.Ctx, nullptr, &store);
    EXPECT_EQ(p.XScale, 0.02);
    EXPECT_EQ(p.Near, -1000);
    EXPECT_FALSE(p.AreaCheck->isChecked());
}

TEST(ProfileStoragePage, FetchErrorsAndThePaintBox) {
    App();
    TProfileWorker worker;
    TTestContext t(&worker);
    TPStoProf page(t.Ctx);
    page.resize(800, 480);
    page.show();
    QApplication::processEvents();
    // The paint box is three times the box, shown from its bottom.
    const QSize box = page.ScrollBox1->viewport()->size();
    EXPECT_EQ(page.ScrollBox1->widget()->size(), 3 * box);
    EXPECT_EQ(page.ScrollBox1->verticalScrollBar()->value(),
              page.ScrollBox1->verticalScrollBar()->maximum());
    EXPECT_GT(page.ScrollBox1->verticalScrollBar()->maximum(), 0);

    worker.Replies[cmd::GET_STR_ADDR] = {0, 0x40, 0, 0, 0, 0x80, 0, 0};
    worker.Replies[cmd::GET_STR_COUNT] = W(3);
    page.StrProflRecv->trigger();
    ASSERT_EQ(page.Set->Held(), 3);
    EXPECT_EQ(page.Set->Time(2), 80u);
    EXPECT_EQ(page.TrackBar1->value(), 2);
    EXPECT_FALSE(t.State.CameraLive);

    worker.Replies[cmd::GET_STR_COUNT] = W(0);  // Get clears the set first
    page.StrProflRecv->trigger();
    EXPECT_EQ(page.Set->Held(), 0);

    worker.Replies[cmd::GET_STR_COUNT] = W(2);
    worker.RefuseRead = true;
    page.StrProflRecv->trigger();
    ASSERT_EQ(t.Services.Messages.size(), 1u);
    EXPECT_EQ(t.Services.Messages[0].first, "Profile Storage ERROR");
    EXPECT_FALSE(t.State.CameraLive);

    const double x = page.XScale;
    page.ZoomButtons[0]->pressed();  // the press steps at once
    page.ZoomButtons[0]->released();
    EXPECT_NEAR(page.XScale, x * std::pow(2.0, 1.0 / 12), 1e-12);
}

TEST(ProfileDrawing, PointsAreJoinedAndAreasLieOverThem) {
    App();  // the labels need the fonts
    auto set = std::make_unique<TProfileSet>();
    const std::vector<uint16_t> words{2 << 5, 0, uint16_t(-10000), uint16_t(-10000), 10000, 10000};
    set->AddFetched(words, 2);
    set->ComputeTimes();
    QImage img(400, 400, QImage::Format_RGB32);
    TProfileView v;
    v.View = 0;
    v.Xs = v.Ys = 0.01;
    v.X0 = v.Y0 = 200;
    DrawProfileSet(img, *set, v);
    const uint32_t far = DepthColor(10000, v.Near, v.Far);
    const QRgb expect = qRgb(int(far & 0xFF), int(far >> 8 & 0xFF), int(far >> 16 & 0xFF));
    EXPECT_EQ(img.pixel(200, 200), expect);  // midway between the two points
    EXPECT_EQ(img.pixel(150, 150), expect);
    v.DrawAreas = true;
    v.Areas[0] = {-5000, -5000, 5000, 5000};
    v.AreaColors[0] = 0x0000FF;
    DrawProfileSet(img, *set, v);
    EXPECT_EQ(img.pixel(150, 150), qRgb(255, 0, 0));  // the area's corner over the profile
}
