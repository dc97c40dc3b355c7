#pragma once
// The comparison window (a parameter file beside the sensor's parameters,
// with writing of chosen differences) and the EEPROM grid (the sensor's image
// as words), and their wiring to the main window.
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compare/compare_rows.h"
#include "params/kest_param.h"

class QCheckBox;

namespace kd {

class TConfigStore;
class TKestTrel;
class TKestSession;
class TSessionHost;

// Widths of the two caption columns of the comparison grid, which stay in
// place while the bank columns scroll.
constexpr int kGroupColumnWidth = 65;
constexpr int kLabelColumnWidth = 125;

class TFilerForm : public QWidget {
    Q_OBJECT
  public:
    TFilerForm(TKestTrel& window, TKestSession& session, TSessionHost& host);

    void LoadCompareFile(const std::string& name);
    void RefreshCompare();
    // Finds text from the remembered cell on; false (and a beep) when nothing matches.
    bool FindNext(const QString& text, bool fromBelow);
    // Writes the differences of the selected cells to the sensor, after the
    // operator confirmed the list of changes.
    void WriteChosen();
    // Lists the backups; the one chosen is opened in this window, which is
    // shown. False when none was chosen.
    bool ShowBackups();

    TKestParam& FileImage() { return file_; }
    QTableWidget* Grid() { return grid_; }
    int SelectedColumn() const { return selCol_; }
    // The decimal separator the cell texts are written with.
    char DecimalSeparator() const { return separator_; }
    // The (row, bank) cells the selection covers (bank -1 for Sys rows).
    std::vector<std::pair<int, int>> ChosenCells() const;
    int Beeps = 0;

  protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    TCompareTexts Texts() const;
    void UpdateWriteButton();

    TKestTrel& window_;
    TKestSession& session_;
    TSessionHost& host_;
    TMasterStore fileMasters_;
    TKestParam file_;
    std::string fileName_;
    QTableWidget* grid_;
    QLineEdit* find_;
    QPushButton* write_;
    int selCol_ = 2;
    int findRow_ = -1, findCol_ = -1;
    int lastScroll_ = 0;
    char separator_ = '.';
};

class TEepGridForm : public QWidget {
    Q_OBJECT
  public:
    // store keeps the stay-on-top choice (group "EepGrid"); may be null.
    TEepGridForm(QWidget* parent, TConfigStore* store);
    ~TEepGridForm() override;
    // mark false: the refresh marks nothing (the first one after showing).
    void RefreshGrid(const TKestParam& image, bool mark = true);
    void setVisible(bool visible) override;
    QTableWidget* SysGrid;
    QTableWidget* BankGrid;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    // Texts of the refresh before the last one, per grid (empty: none yet).
    std::vector<QStringList> SysPrev, BankPrev;

  private:
    TConfigStore* store_;
};

// Makes both windows and hands them to the main window's actions.
struct TCompareWindows {
    TCompareWindows(TKestTrel& window, TKestSession& session, TSessionHost& host,
                    std::function<void()>& refreshEepGridHook);
    // The EEPROM grid goes first, while the settings store is still there.
    ~TCompareWindows();
    TCompareWindows(const TCompareWindows&) = delete;
    TCompareWindows& operator=(const TCompareWindows&) = delete;
    // Owned by the main window (Qt parent ownership).
    QPointer<TFilerForm> Filer;
    QPointer<TEepGridForm> EepGrid;
};

}  // namespace kd
