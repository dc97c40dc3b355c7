#pragma once
// TPStoSett: how the sensor records. The rows come from the settings table;
// the page adds the threshold in the target channel's unit, the repeat list
// by software version, the enabling by start condition and the read-back.
#include <QWidget>

#include "pages/ui/setting_controls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kd {

class TPStoSett : public QWidget {
  public:
    explicit TPStoSett(TPageContext& ctx, QWidget* parent = nullptr);

    void ShowParams();
    void ResetDefaults();
    // GET_STR_BUF .. GET_STR_RPT into the image and the controls.
    void ReadBack();
    void UpdateEnabling();
    // The threshold's unit for the chosen target.
    std::string ThresholdUnit() const;

    QLineEdit* StrBufEdit;
    QComboBox* StrSttCombo;
    QLineEdit* StrStlEdit;
    QComboBox* StrStcCombo;
    QLineEdit* StrThdEdit;
    QLineEdit* StrSmpEdit;
    QComboBox* StrRpt0;
    QComboBox* StrRpt1;
    QLabel* StrStlLabel;
    QLabel* StrStcLabel;
    QLabel* StrThdLabel;
    QLabel* StrThdUnitLabel;

  private:
    // The start target list: each channel's name with what it measures.
    void FillTargetItems();
    bool loading_ = false;
    TPageContext& ctx_;
    TSettingControls controls_;
};

}  // namespace kd
