#pragma once
// The comparison window (a parameter file beside the sensor's parameters,
// with writing of chosen differences) and the EEPROM grid (the sensor's image
// as words), and their wiring to the main window.
#include <QLineEdit>
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

class TKestTrel;
class TKestSession;
class TSessionHost;

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
    void ShowBackups();

    TKestParam& FileImage() { return file_; }
    QTableWidget* Grid() { return grid_; }
    int SelectedColumn() const { return selCol_; }
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
};

class TEepGridForm : public QWidget {
    Q_OBJECT
  public:
    explicit TEepGridForm(QWidget* parent);
    void RefreshGrid(const TKestParam& image);
    QTableWidget* SysGrid;
    QTableWidget* BankGrid;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    // Texts of the refresh before the last one, per grid (empty: none yet).
    std::vector<QStringList> SysPrev, BankPrev;
};

// Makes both windows and hands them to the main window's actions.
struct TCompareWindows {
    TCompareWindows(TKestTrel& window, TKestSession& session, TSessionHost& host,
                    std::function<void()>& refreshEepGridHook);
    // Owned by the main window (Qt parent ownership).
    TFilerForm* Filer;
    TEepGridForm* EepGrid;
};

}  // namespace kd
