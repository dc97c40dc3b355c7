// The comparison window and the EEPROM grid in the whole program, offscreen:
// tints, the Sys rows following the selected pair, find with its beep, dropped
// files, the grid's change marks, and a chosen difference written to the
// simulated sensor from the window.
#include <gtest/gtest.h>

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "app/program.h"
#include "app_test_util.h"
#include "shell/ui/dialogs.h"

namespace {

using namespace kd;

struct TProgram : TKestProgram {
    explicit TProgram(const std::vector<std::string>& args) : TKestProgram(args) {
        Window.CreateWindows();
        Window.show();
    }
};

int RowOf(int key) {
    for (int r = 0; r < kCompareRowCount; ++r)
        if (CompareRows()[static_cast<size_t>(r)].Key == key) return r;
    return -1;
}

// A parameter file that differs from image in the shutter of bank 3 (index 2)
// and of bank 6, and in a Sys setting.
std::string WriteDiffering(const TKestParam& image, const QTemporaryDir& dir, const char* name) {
    TMasterStore m;
    TKestParam p;
    p.Masters = &m;
    p.Image = image.Image;
    p.SetBank(2, pk::Shutter, 1235);
    p.SetBank(5, pk::Shutter, 735);
    p.SetSys(pk::InputFilter, 100);
    const std::string path = dir.filePath(name).toStdString();
    p.SaveToFile(path);
    return path;
}

QString Text(QTableWidget* g, int r, int c) {
    return g->item(r, c) ? g->item(r, c)->text() : QString();
}

void Shoot(QWidget* w, const std::string& name) {
    const QByteArray dir = qgetenv("KD_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    w->grab().save(QString::fromUtf8(dir) + "/" + QString::fromStdString(name) + ".png");
}

TEST(CompareWindows, DifferencesSysRowsFindAndDroppedFiles) {
    apptest::KestApp();
    QTemporaryDir dir;
    TProgram p({"-loc", "en"});
    TFilerForm& f = *p.Compare.Filer;
    p.Window.State.SensorVersion = {0x53, 0x6D, 0x50};
    p.Window.Image().NotLoaded = false;
    const std::string a = WriteDiffering(p.Window.Image(), dir, "a.kd");
    const std::string b = WriteDiffering(p.Window.Image(), dir, "b.kd");
    p.Window.ShowCompare(a);
    QTableWidget* g = f.Grid();
    const int shutter = RowOf(pk::Shutter);
    EXPECT_EQ(Text(g, shutter, 2 + 2 * 2), "1235\tusec");
    EXPECT_NE(Text(g, shutter, 3 + 2 * 2), Text(g, shutter, 2 + 2 * 2));
    EXPECT_EQ(Text(g, shutter, 2 + 2 * 1), Text(g, shutter, 3 + 2 * 1));

    // a cell of bank 6's file column: the Sys rows are chosen only there
    g->setCurrentCell(shutter, 2 + 2 * 5);
    EXPECT_EQ(f.SelectedColumn(), 12);
    g->clearSelection();
    g->selectColumn(2 + 2 * 5);
    const auto cells = f.ChosenCells();
    EXPECT_TRUE(std::count(cells.begin(), cells.end(), std::make_pair(RowOf(pk::InputFilter), -1)));
    g->clearSelection();
    g->selectColumn(2 + 2 * 4);
    g->setCurrentCell(shutter, 2 + 2 * 5);
    for (const auto& c : f.ChosenCells()) EXPECT_NE(c.second, -1);

    // find: "hold" is there, a text that is nowhere beeps
    EXPECT_TRUE(f.FindNext("hold", false));
    EXPECT_NE(Text(g, g->currentRow(), g->currentColumn()).toUpper().indexOf("HOLD"), -1);
    EXPECT_FALSE(f.FindNext("no such text", false));
    EXPECT_EQ(f.Beeps, 1);

    // two files dropped at once: the second one stays loaded
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                  QUrl::fromLocalFile(QString::fromStdString(b))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // straight to the window, as the platform's drag and drop hands it over
    static_cast<QObject&>(f).event(&drop);
    EXPECT_EQ(g->horizontalHeaderItem(2)->text(), "b.kd");
}

TEST(CompareWindows, EepGridMarksTheEditedBankAndTheChangedWord) {
    apptest::KestApp();
    TProgram p({"-loc", "en"});
    p.Window.Image().LoadDefaultImage();
    p.Window.Image().ValidMask = kValidAll;
    p.Window.ShowEepGrid();
    TEepGridForm& e = *p.Compare.EepGrid;
    EXPECT_EQ(e.BankGrid->horizontalHeaderItem(1)->text(), "B1(curr)");
    EXPECT_EQ(e.BankGrid->horizontalHeaderItem(3)->text(), "B3");
    EXPECT_EQ(Text(e.SysGrid, 0, 0), "0x000");
    EXPECT_EQ(Text(e.BankGrid, 123, 0), "0x07B,123");
    p.Window.Image().SetBank(2, pk::Shutter, 1235);
    e.RefreshGrid(p.Window.Image());
    EXPECT_EQ(e.BankGrid->horizontalHeaderItem(3)->text(), "B3*");
    int changed = 0;
    for (int r = 0; r < kBankWords; ++r)
        for (int c = 1; c <= kBankCount; ++c)
            changed += e.BankPrev[static_cast<size_t>(r)][c] != Text(e.BankGrid, r, c);
    EXPECT_EQ(changed, 1);
}

TEST(CompareWindows, WritesTheChosenCellsToTheSensor) {
    apptest::KestApp();
    QTemporaryDir dir;
    TProgram p({"-port", "SIM", "-loc", "en"});
    p.Session.BackupDir = dir.filePath("backup").toStdString();
    p.Session.SysUpdateDelayMs = 0;
    p.Window.ExecDialog = [](QDialog&) { return int(QDialog::Accepted); };
    std::vector<std::string> messages;
    p.Host.ShowMessage = [&](const std::string&, const std::string& t) { messages.push_back(t); };
    ASSERT_TRUE(p.Session.TryConnect()) << p.Session.LastConnectError;
    const std::string a = WriteDiffering(p.Window.Image(), dir, "a.kd");
    p.Window.ShowCompare(a);
    TFilerForm& f = *p.Compare.Filer;
    QTableWidget* g = f.Grid();
    const int shutter = RowOf(pk::Shutter);
    g->clearSelection();
    g->setCurrentCell(shutter, 2 + 2 * 2);  // bank 3's shutter only
    f.WriteChosen();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(p.Window.Image().GetBank(2, pk::Shutter), 1235);
    EXPECT_NE(p.Window.Image().GetBank(5, pk::Shutter), 735);
    EXPECT_NE(p.Window.Image().GetSys(pk::InputFilter), 100);
    EXPECT_EQ(Text(g, shutter, 3 + 2 * 2), "1235\tusec");
    p.Session.Disconnect();
}

TEST(CompareWindows, Screenshots) {
    apptest::KestApp();
    QTemporaryDir dir;
    for (const char* loc : {"en", "ja", "cn", "ko"}) {
        TProgram p({"-loc", loc});
        p.Window.State.SensorVersion = {0x53, 0x6D, 0x50};
        p.Window.Image().NotLoaded = false;
        p.Window.ShowCompare(WriteDiffering(p.Window.Image(), dir, "changed.kd"));
        p.Compare.Filer->resize(1100, 700);
        p.Compare.Filer->Grid()->setCurrentCell(RowOf(pk::Shutter), 4);
        EXPECT_FALSE(p.Compare.Filer->grab().isNull());
        Shoot(p.Compare.Filer, std::string("cmp_") + loc);
        p.Window.ShowEepGrid();
        p.Window.Image().SetBank(2, pk::Shutter, 1235);
        p.Compare.EepGrid->RefreshGrid(p.Window.Image());
        Shoot(p.Compare.EepGrid, std::string("eep_") + loc);
    }
}

}  // namespace
