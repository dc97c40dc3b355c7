#pragma once
// TPMeasure: the measurement page. Output values with gauges and judgement
// colours, the analog current, the sampling period, the live profile and the
// operator's direct controls. Behaviour lives in TMeasureModel; this window
// shows it and forwards its controls.
#include <QWidget>
#include <array>
#include <memory>

#include "measure/measure_model.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

namespace kd {

class TProfileFrame;

class TPMeasure : public QWidget {
  public:
    TPMeasure(TPageContext& ctx, ProfileShared& shared, QWidget* parent = nullptr);
    ~TPMeasure() override;

    // Called by RefreshAll, at first showing and after a language change.
    void RefreshFromImage();
    void StartRepeat();
    void RestartRepeat();
    void StopRepeat();
    // The rendering tick (MeasTimer), callable directly.
    void MeasTimerTimer();
    // The polling tick's view of the sensor's zero-set state of output k.
    void SetZeroSetState(int k, bool on);
    // Colours a round indicator ("HoldInd", "LaserInd") as the polling tick does.
    void SetIndicator(const char* name, uint32_t colorRef);
    // Run first in every rendering tick (the owner copies live data there).
    std::function<void()> OnTick;
    // Saved plot scales (registry group "Profile").
    void SetScales(double scaleX, double scaleY);

    TMeasureModel& Model() { return *model_; }
    TProfileFrame* ProfileFrame() const { return frame_; }
    QAction* Action(const char* name) const;
    QLabel* DisplLabel(int n) const { return displ_[static_cast<size_t>(n)]; }
    QFrame* GaugeBack(int n) const { return gaugeBack_[static_cast<size_t>(n)]; }
    QFrame* GaugePointer(int n) const { return gaugePointer_[static_cast<size_t>(n)]; }
    QLabel* DisplALabel() const { return displA_; }
    QLineEdit* SampleEdit() const { return sampleEdit_; }
    // Saves the shown profile as a text file (the SaveProfile action without its dialog).
    void SaveProfileTo(const std::string& path);
    // The outlines drawn around the values and around the plot with its rows.
    QRect ValuesOutline() const;
    // The actions' enabling by the connection (also from the main window's
    // UpdateActions, so a connection enables them at once).
    void ApplyEnabled();
    QRect PlotOutline() const;

  protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    QAction* MakeAction(const char* name, const QString& caption, bool checkable);
    QToolButton* MakeButton(const char* name, QAction* a, QRect geometry);
    void ApplyPlot();
    void Guarded(const std::function<void()>& f);

    TPageContext& ctx_;
    std::unique_ptr<TMeasureModel> model_;
    TProfileFrame* frame_ = nullptr;
    std::array<QLabel*, 4> displ_{};
    std::array<QLabel*, 4> unit_{};
    std::array<QLabel*, 4> source_{};
    std::array<QFrame*, 4> gaugeBack_{};     // the fourth stays empty
    std::array<QFrame*, 4> gaugePointer_{};  // the fourth stays empty
    std::array<QToolButton*, 3> zeroButtons_{};
    QLabel* displA_ = nullptr;
    QLabel* mALabel_ = nullptr;
    QLabel* unitMALabel_ = nullptr;
    QLabel* areaLabel_ = nullptr;
    QLabel* aLabel_ = nullptr;
    QLabel* holdInd_ = nullptr;
    QLabel* laserInd_ = nullptr;
    QLineEdit* sampleEdit_ = nullptr;
    QToolButton* repeatButton_ = nullptr;
    QTimer* timer_ = nullptr;
    std::vector<QAction*> actions_;
    // Controls under the plot follow the bottom edge; the plot grows with the page.
    std::vector<std::pair<QWidget*, QPoint>> bottomAnchored_;
};

}  // namespace kd
