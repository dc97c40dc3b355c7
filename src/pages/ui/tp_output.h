#pragma once
// TPOutput: the three switching outputs and the 4-20 mA analog output. The
// page shows one switching output at a time; its controls are the rows of
// the selected output in the settings table, the limits shown with the
// channel's offset added. A 100 ms timer shows the live values while the
// page is visible.
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "shell/page_context.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace kd {

class TPOutput : public QWidget {
  public:
    explicit TPOutput(TPageContext& ctx, QWidget* parent = nullptr);

    void ShowParams();
    void RefreshLimits();
    void SelectOutput(int o);
    void Timer1Timer();
    // "Current Displ." of the upper/lower limit and the 20 mA/4 mA values.
    void ToLimitClick(bool upper);
    void ToAnalogClick(bool upper);
    int SelectedOut() const { return selectedOut_; }
    // The measurement page's caption refresh after a channel or action change.
    std::function<void()> RefreshMeasure;

    std::array<QLabel*, 3> OutputShape{}, OutputLabel{}, DisplLabel{}, UnitLabel{};
    QLabel* Displ4Label;
    QLabel* UnitALabel;
    QLabel* DisplALabel;
    QLabel* mALabel;
    QLabel* UnitMALabel;
    QComboBox* OutTarget1Combo;
    QLineEdit* OffsetEdit;
    QLabel* UnitOLabel;
    QLineEdit* HiLimitEdit;
    QLabel* UnitULabel;
    QLineEdit* LoLimitEdit;
    QLabel* UnitLLabel;
    QComboBox* HysteresisCombo;
    QComboBox* OutActCombo;
    QLineEdit* OutputTimeEdit;
    QLabel* OutputTimeLabel;
    QLabel* MsecLabel;
    QComboBox* OutPolarCombo;
    QComboBox* AnaTarget1Combo;
    QLineEdit* Ana20mAEdit;
    QLabel* UnitAULabel;
    QLineEdit* Ana4mAEdit;
    QLabel* UnitALLabel;
    QPushButton* ToUpperButton;
    QPushButton* ToLowerButton;
    QPushButton* To20mAButton;
    QPushButton* To4mAButton;
    QPushButton* SendButton;
    std::array<QToolButton*, 3> ZeroSetButton{};
    QTimer Timer1;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    void Guarded(const std::function<void()>& f);
    std::string Key(std::string_view field) const;
    std::string UnitOf(int channel) const;
    int OffsetOf(int channel) const;
    void ChooseList(QComboBox* list, int o, const char* field, int index);
    void LimitChanged(QLineEdit* edit, int o, const char* field);
    void OffsetChanged();
    void TimeChanged();
    void UpdateTimeVisibility(int action);
    void ColourShapes();

    TPageContext& ctx_;
    int selectedOut_ = 0;
    int selectedCh_ = 0;
    int offsetVal_ = 0;
    bool updating_ = false;
};

}  // namespace kd
