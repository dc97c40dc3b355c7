#pragma once
// TPOperation: the six channels' post-processing. For an area channel its
// averaging count, hold mode and span; for a calculation its operand areas,
// operator, hold mode and span; the live value of the chosen channel, and the
// program's chart with one check box per channel.
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "measure/chart_data.h"
#include "pages/settings_table.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

namespace kd {

class TChartFrame;

class TPOperation : public QWidget {
  public:
    TPOperation(TPageContext& ctx, TChartData* chart, QWidget* parent = nullptr);

    void ShowParams();
    void SelectTarget(int ch);
    int TargetCh() const { return target_; }
    // The operand lists' items: "Area1:Average", "Area2:mode15".
    void CalcTarget1ComboDropDown();
    // MeasTimer's work: the live value of the chosen channel.
    void MeasTimerTimer();
    // The chart's channels and their check boxes.
    void SetChartMask(uint32_t mask);
    uint32_t ChartMask() const;
    TChartFrame* Chart() const { return ChartFrame1; }

    // The area page's function captions (by the sensor's software).
    std::function<QStringList()> AreaFunctionNames;
    // The pages that show channel captions and units refill themselves.
    std::function<void()> OnCalcChanged;

    QComboBox* AdjTargetCombo;
    QLineEdit* AverageEdit;
    QLabel* AverageLabel;
    QLabel* AverageTimesLabel;
    QComboBox* HoldCombo;
    QLineEdit* SpanEdit;
    QComboBox* CalcTarget1Combo;
    QComboBox* OperatorCombo;
    QComboBox* CalcTarget2Combo;
    QLabel* DisplLabel;
    QLabel* UnitOLabel;
    QLabel* AreaLabel;  // hidden: the word before an area's number
    std::array<QCheckBox*, 6> ChannelCheck{};
    TChartFrame* ChartFrame1;
    QTimer MeasTimer;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    const TSetting& Row(const char* control) const;
    int OperandArea() const;
    void UpdateUnit();
    void CalcChanged(const char* control, int index);
    void SpanEditChange(const QString& text);
    void Guarded(const std::function<void()>& f);

    TPageContext& ctx_;
    int target_ = 0;
    bool loading_ = false;
};

}  // namespace kd
