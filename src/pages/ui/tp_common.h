#pragma once
// TPCommon: the settings outside the banks. The port and the baud rate of
// the link, the display unit and precision, the language, the three system
// settings of the Sys block (rows of the settings table), the sensor's
// version, and the bank operations: copy (TBankCopyDlg), clear and factory
// initialisation, each confirmed and preceded by a backup.
#include <QDialog>
#include <QWidget>
#include <functional>

#include "pages/common_logic.h"
#include "pages/ui/setting_controls.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kd {

class TBankCopyDlg : public QDialog {
  public:
    explicit TBankCopyDlg(QWidget* parent = nullptr);
    QComboBox* FromCombo;
    QComboBox* ToCombo;
};

class TPCommon : public QWidget {
  public:
    TPCommon(TPageContext& ctx, TBankOps ops, QWidget* parent = nullptr);

    void ShowParams();
    // Enabling of the bank operations by the connection.
    void UpdateActions();
    // The port list: every serial device of the system, and SIM.
    void PortComboDropDown();
    void PortComboClick();
    void BaudComboXClick();
    void DisplUnitComboClick(int index);
    void PrecisionComboClick(int index);
    void LanguageComboSelect();
    void BankCopyExecute();
    void BankClearExecute();
    void FactInitExecute();
    // The language text shown (the main window's language code).
    void SetLanguageText(const std::string& code);
    QAction* Action(const char* name) const;

    // The language choice goes to the main window.
    std::function<void(const std::string& choice)> SelectLanguage;
    // Runs the bank copy dialog; replaceable so tests can answer it.
    std::function<int(QDialog&)> ExecDialog;

    QComboBox* PortCombo;
    QComboBox* BaudComboX;
    QLineEdit* VersionEdit;
    QComboBox* GPIO_ONTCombo;
    QComboBox* BCHG_MTHCombo;
    QComboBox* SysDirCombo;
    QComboBox* DisplUnitCombo;
    QComboBox* PrecisionCombo;
    QComboBox* LanguageCombo;
    QPushButton* BankCopyButton;
    QPushButton* BankClearButton;
    QPushButton* FactInitButton;
    QPushButton* SettingsButton;
    QPushButton* DataLogButton;
    TBankCopyDlg* BankCopyDlg;

  protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    void Guarded(const std::function<void()>& f);

    TPageContext& ctx_;
    TBankOps ops_;
    TSettingControls controls_;
    std::vector<QAction*> actions_;
};

}  // namespace kd
