// The comparison window and the EEPROM grid in the whole program, offscreen:
// tints, the Sys rows following the selected pair, find with its beep, dropped
// files, the grid's change marks, and a chosen difference written to the
// simulated sensor from the window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <set>

#include "app/program.h"
#include "app_test_util.h"
#include "shell/config_store.h"
#include "shell/session/settings_backup.h"
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
// and of bank 6, the X correction of bank 5, and in a Sys setting; its
// current bank is bank 3.
std::string WriteDiffering(const TKestParam& image, const QTemporaryDir& dir, const char* name) {
    TMasterStore m;
    TKestParam p;
    p.Masters = &m;
    p.Image = image.Image;
    p.SetBank(2, pk::Shutter, 1235);
    p.SetBank(4, pk::HCorrect, 1500);
    p.SetBank(5, pk::Shutter, 735);
    p.SetSys(pk::InputFilter, 100);
    p.SetSys(pk::Bank, 2);
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

int Pixels(const QImage& img, const QRect& r, const QColor& c) {
    int n = 0;
    for (int y = std::max(r.top(), 0); y <= std::min(r.bottom(), img.height() - 1); ++y)
        for (int x = std::max(r.left(), 0); x <= std::min(r.right(), img.width() - 1); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

void Click(QWidget* w, QPoint at) {
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, at, w->mapToGlobal(at), Qt::LeftButton,
                      t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}

TEST(CompareWindows, FramesTintsFixedCaptionsPairedScrollingAndRowChoice) {
    apptest::KestApp();
    QTemporaryDir dir;
    TProgram p({"-loc", "en"});
    p.Window.State.SensorVersion = {0x53, 0x6D, 0x50};
    p.Window.Image().NotLoaded = false;
    p.Window.ShowCompare(WriteDiffering(p.Window.Image(), dir, "a.kd"));
    TFilerForm& f = *p.Compare.Filer;
    QTableWidget* g = f.Grid();
    EXPECT_EQ(f.minimumWidth(), f.width());

    // the file's current bank (3) framed blue, the sensor's (1) red, nothing else
    QHeaderView* h = g->horizontalHeader();
    const QImage head = h->grab().toImage();
    auto section = [&](int c) {
        return QRect(h->sectionViewportPosition(c), 0, h->sectionSize(c), h->height());
    };
    EXPECT_GT(Pixels(head, section(6), Qt::blue), 20);
    EXPECT_GT(Pixels(head, section(3), Qt::red), 20);
    EXPECT_EQ(Pixels(head, section(2), Qt::blue) + Pixels(head, section(7), Qt::red), 0);

    // bank 3's shutter differs: both cells of the pair tinted, bank 2's not
    const int shutter = RowOf(pk::Shutter);
    const QImage cells = g->viewport()->grab().toImage();
    const QColor tint(0xE0, 0xD0, 0xFF);
    auto cell = [&](int c) { return g->visualRect(g->model()->index(shutter, c)); };
    EXPECT_GT(Pixels(cells, cell(6), tint), 100);
    EXPECT_GT(Pixels(cells, cell(7), tint), 100);
    EXPECT_EQ(Pixels(cells, cell(4), tint) + Pixels(cells, cell(5), tint), 0);

    // bank pairs scroll together; the captions stay
    QScrollBar* bar = g->horizontalScrollBar();
    bar->setValue(3);
    EXPECT_EQ(bar->value(), 4);
    EXPECT_EQ(g->columnAt(0), 6);
    bar->setValue(3);
    EXPECT_EQ(bar->value(), 2);
    EXPECT_TRUE(g->verticalHeader()->isVisible());
    EXPECT_GE(g->verticalHeader()->width(), kGroupColumnWidth + kLabelColumnWidth);

    // a click on the captions chooses the row in every bank
    QHeaderView* v = g->verticalHeader();
    Click(v->viewport(), QPoint(100, v->sectionViewportPosition(shutter) + 5));
    std::set<int> banks;
    for (const auto& [r, b] : f.ChosenCells()) {
        EXPECT_EQ(r, shutter);
        banks.insert(b);
    }
    EXPECT_EQ(banks.size(), 8u);

    // another language: captions and lists follow
    p.Window.LocaleCode = "ja";
    p.Window.ReloadLanguage();
    EXPECT_EQ(Text(g, RowOf(pk::TiltCorPos), 1), QString::fromUtf8("ロール補正"));
    EXPECT_EQ(Text(g, RowOf(pk::TiltCorrect), 1), QString::fromUtf8("傾き補正"));
}

TEST(CompareWindows, EepGridMarksTheEditedBankAndTheChangedWord) {
    apptest::KestApp();
    TProgram p({"-loc", "en"});
    p.Window.Image().LoadDefaultImage();
    p.Window.Image().ValidMask = kValidAll;
    TEepGridForm& e = *p.Compare.EepGrid;
    p.Session.RefreshAll();  // refreshed while hidden too
    EXPECT_EQ(e.BankGrid->horizontalHeaderItem(1)->text(), "B1(curr)");
    p.Window.ShowEepGrid();
    EXPECT_TRUE(e.BankPrev.empty());  // appearing marks nothing
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

    // the offset row writes the offset of the channel the sensor's output 1 uses
    TKestParam& img = p.Window.Image();
    const int offsetKey = pk::ChOffset(1) + img.GetBank(0, pk::OutCh(1));
    const int offset = img.GetBank(0, offsetKey);
    TMasterStore m;
    TKestParam other;
    other.Masters = &m;
    other.Image = img.Image;
    other.SetBank(0, offsetKey, offset + 500);
    const std::string b = dir.filePath("b.kd").toStdString();
    other.SaveToFile(b);
    p.Window.ShowCompare(b);
    const int offsetRow = RowOf(pk::OutCh(1)) + 1;
    EXPECT_NE(Text(g, offsetRow, 2), Text(g, offsetRow, 3));
    g->clearSelection();
    g->setCurrentCell(offsetRow, 2);
    f.WriteChosen();
    EXPECT_EQ(img.GetBank(0, offsetKey), offset + 500);
    EXPECT_EQ(Text(g, offsetRow, 2), Text(g, offsetRow, 3));
    p.Session.Disconnect();
}

TEST(CompareWindows, BackupsFromTheFileMenuOpenInTheComparison) {
    apptest::KestApp();
    QTemporaryDir dir;
    TProgram p({"-loc", "en"});
    p.Session.BackupDir = dir.filePath("backup").toStdString();
    p.Window.Image().NotLoaded = false;
    const std::string kept = WriteSettingsBackup(p.Window.Image(), p.Session.BackupDir, "open");
    QStringList row;
    p.Window.ExecDialog = [&](QDialog& d) {
        auto* list = d.findChild<QTreeWidget*>("BackupList");
        if (!list || !list->currentItem()) return int(QDialog::Rejected);
        for (int c = 0; c < 3; ++c) row << list->currentItem()->text(c);
        FitAndCentre(d, &p.Window);
        d.show();
        Shoot(&d, "backups_en");
        return int(QDialog::Accepted);
    };
    p.Window.Action("FileBackups1")->trigger();
    ASSERT_EQ(row.size(), 3);
    EXPECT_FALSE(row[0].isEmpty());
    EXPECT_EQ(row[1], "open");
    EXPECT_TRUE(p.Compare.Filer->isVisible());
    EXPECT_EQ(p.Compare.Filer->Grid()->horizontalHeaderItem(2)->text(),
              QString::fromStdString(kept).section('/', -1));
}

TEST(CompareWindows, EepGridStayOnTopComesFromAndGoesToTheStore) {
    apptest::KestApp();
    TMemoryConfigStore store;
    store.WriteFlag("EepGrid", "StayOnTop", true);
    {
        TKestProgram p({"-loc", "en"}, &store);
        p.Window.CreateWindows();
        p.Window.ShowEepGrid();
        EXPECT_TRUE(p.Compare.EepGrid->CheckBox1->isChecked());
        EXPECT_TRUE(p.Compare.EepGrid->windowFlags() & Qt::WindowStaysOnTopHint);
        p.Compare.EepGrid->CheckBox1->setChecked(false);
    }
    EXPECT_EQ(store.ReadFlag("EepGrid", "StayOnTop"), std::optional<bool>(false));
}

TEST(CompareWindows, Screenshots) {
    apptest::KestApp();
    QTemporaryDir dir;
    for (const char* loc : {"en", "ja", "cn", "ko"}) {
        TProgram p({"-loc", loc});
        p.Window.State.SensorVersion = {0x53, 0x6D, 0x50};
        p.Window.Image().NotLoaded = false;
        p.Window.ShowCompare(WriteDiffering(p.Window.Image(), dir, "changed.kd"));
        TFilerForm& f = *p.Compare.Filer;
        f.resize(1100, 700);
        // bank 6's pair chosen, so the Sys rows show there; scrolled to banks 5-8
        f.Grid()->setCurrentCell(RowOf(pk::Shutter), 2 + 2 * 5);
        f.Grid()->clearSelection();
        f.Grid()->horizontalScrollBar()->setValue(8);
        EXPECT_EQ(f.Grid()->columnAt(f.Grid()->viewport()->width() - 1), 17);
        EXPECT_FALSE(f.grab().isNull());
        Shoot(&f, std::string("cmp_") + loc);
        p.Window.ShowEepGrid();
        p.Window.Image().SetBank(2, pk::Shutter, 1235);
        p.Compare.EepGrid->RefreshGrid(p.Window.Image());
        p.Compare.EepGrid->BankGrid->setCurrentCell(0, 3);
        Shoot(p.Compare.EepGrid, std::string("eep_") + loc);
    }
}

}  // namespace
