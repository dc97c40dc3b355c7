#pragma once
// TPTrigger: the settings page of the four digital inputs and of how
// measurements are triggered. Every control is a row of the settings table;
// the page adds the visibility of the dependent controls.
#include <QWidget>

#include "pages/ui/setting_controls.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace kd {

class TPTrigger : public QWidget {
  public:
    explicit TPTrigger(TPageContext& ctx, QWidget* parent = nullptr);

    // Fills every control from the image.
    void ShowParams();
    // Shows or hides the controls that depend on the input 4 and trigger lists.
    void UpdateVisibility();

    std::array<QComboBox*, 4> INCombo{};
    std::array<QLabel*, 4> INLabel{};
    QComboBox* ZeroTargetCombo;
    QLabel* ZeroTargetLabel;
    QComboBox* ExtPolarCombo;
    QLineEdit* TrigFilterEdit;
    QComboBox* TrigModeCombo;
    QLineEdit* TrigCountEdit;
    QLabel* TrigCountLabel;
    QLabel* TrigCountLabel2;
    QLineEdit* TrigDelayEdit;
    QLabel* TrigDelayLabel;
    QLabel* TrigDelayLabel2;
    QGroupBox* InputGroup;
    QGroupBox* TrigGroup;
    QFrame* TrgExtPanel;

  private:
    TPageContext& ctx_;
    TSettingControls controls_;
};

}  // namespace kd
