#pragma once
// TPStoProf: starts and stops the sensor's profile storage, downloads the
// stored profiles with progress and abort, shows them as one profile, as a
// depth-coloured 3D stack along time or overlaid, and saves or loads them as
// CSV files (also automatically).
#include <QImage>
#include <QWidget>
#include <memory>

#include "storage/profile_set.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace kd {

struct TPageContext;
class TFetchPanel;
class TProfileChart;
class TColorBar;

class TPStoProf : public QWidget {
  public:
    explicit TPStoProf(TPageContext& ctx, QWidget* parent = nullptr);
    ~TPStoProf() override;

    void UpdateActions();
    void StartStop();
    void Fetch();
    bool Save(const QString& file);
    bool Load(const QString& file);
    void Clear();
    void PollStatus();
    // 0 one profile, 1 3D, 2 overwrite.
    int View() const;
    void AfterNewSet();

    std::unique_ptr<TProfileSet> Set;
    double XScale = 0.01, YScale = 0.005, TScale = 0.5;
    int Near = -25000, Far = 25000;
    QString AutoSaveName;
    QString LastMessage;

    QPushButton* StartButton;
    QPushButton* BitBtn1;
    QPushButton* SaveButton;
    QPushButton* LoadButton;
    QPushButton* StrDataClear;
    QCheckBox* AutoSaveCheck;
    QCheckBox* TimeScaleCheck;
    QCheckBox* AreaCheck;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QSlider* TrackBar1;
    QLineEdit* Edit1;
    QLabel* StrCountLabel;
    QLabel* StatusLabel;
    TProfileChart* ProfChart;
    TColorBar* ColorScale;
    TFetchPanel* Panel;
    QTimer* Timer1;

  private:
    TPageContext& ctx_;
    bool pendingFetch_ = false;
};

// Draws the set into an image: the measuring field, the grid copies and the
// profiles by depth colour (pixels written straight into the image).
void DrawProfileSet(QImage& img, const TProfileSet& set, int view, int selected, double xs,
                    double ys, double ts, bool timeShift, int nearZ, int farZ);

}  // namespace kd
