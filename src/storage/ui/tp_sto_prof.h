#pragma once
// TPStoProf: starts and stops the sensor's profile storage, downloads the
// stored profiles with progress and abort, shows them as one profile, as a
// depth-coloured 3D stack along time or overlaid in a scroll box three times
// the page's size, with the measurement areas over them, zooms while a
// button is held, and saves or loads them as CSV files (also automatically).
#include <QImage>
#include <QWidget>
#include <array>
#include <memory>

#include "storage/held_repeat.h"
#include "storage/profile_set.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QTimer;
class QToolButton;

namespace kd {

struct TPageContext;
struct TStorageControls;
class TConfigStore;
class TFetchPanel;
class TProfileChart;
class TColorBar;

// What DrawProfileSet draws and where. Scales are pixels per unit of the
// painter (logical pixels); the image's device pixel ratio is applied to the
// points.
struct TProfileView {
    int View = 1;  // 0 one profile, 1 3D, 2 overwrite
    int Selected = 0;
    double Xs = 0.01, Ys = 0.005;  // pixels per micrometre
    double Ts = 0.5;               // pixels per millisecond along the 3D direction
    bool TimeShift = true;
    int Near = -25000, Far = 25000;
    double X0 = 0, Y0 = 0;  // origin (x 0, z 0) of the front profile in the image
    bool DrawAreas = false;
    std::array<std::array<int, 4>, 4> Areas{};  // left, top, right, bottom per area
    std::array<uint32_t, 4> AreaColors{};       // 0xBBGGRR
    // The cross cursor of the debug function, when shown.
    bool Cross = false;
    int CrossX = 0, CrossZ = 0;
    bool Micrometres = false;  // DisplUnit 1: the cursor texts in integers
};

// Draws the set into an image: the grid copies, the measuring field, the
// profiles by depth colour with consecutive points joined (written straight
// into the image's pixels), the areas and the cross cursor.
void DrawProfileSet(QImage& img, const TProfileSet& set, const TProfileView& v);

class TPStoProf : public QWidget {
  public:
    explicit TPStoProf(TPageContext& ctx, QWidget* parent = nullptr, TConfigStore* store = nullptr);
    ~TPStoProf() override;

    void UpdateActions();
    // The page's registry group (read when the page is made).
    void SaveRegistry(TConfigStore& store) const;
    void StartStop();
    void Fetch();
    bool Save(const QString& file);
    bool Load(const QString& file);
    void Clear();
    void PollStatus();
    // 0 one profile, 1 3D, 2 overwrite.
    int View() const;
    void AfterNewSet();
    // One zoom step: 0/1 x in/out, 2/3 y in/out, 4/5 time in/out.
    void ZoomStep(int button);
    // The view as the chart draws it (origin in the chart's coordinates).
    TProfileView ViewState() const;
    // The colour limits changed: the chart follows 100 ms later.
    void LimitsChanged();

    std::unique_ptr<TProfileSet> Set;
    double XScale = 0.01, YScale = 0.005, TScale = 0.5;
    int Near = -25000, Far = 25000;
    int CursorX = 0, CursorZ = 0;
    QString AutoSaveName;
    QString LastMessage;

    QAction* StrProfStart;
    QAction* StrProflRecv;
    QAction* StrProfSave;
    QAction* StrProfLoad;
    QPushButton* StartButton;
    QPushButton* BitBtn1;
    QPushButton* SaveButton;
    QPushButton* LoadButton;
    QPushButton* StrDataClear;
    QCheckBox* AutoSaveCheck;
    QCheckBox* TimeScaleCheck;
    QCheckBox* AreaCheck;
    QCheckBox* CrossCursor;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QSlider* TrackBar1;
    QLineEdit* Edit1;
    QLabel* StrCountLabel;
    QLabel* StatusLabel;
    QScrollArea* ScrollBox1;
    TProfileChart* ProfChart;
    TColorBar* ColorScale;
    // ZoomUpHoriz, ZoomDownHoriz, ZoomUpVert, ZoomDownVert, Image2, Image3.
    std::array<QToolButton*, 6> ZoomButtons{};
    TFetchPanel* Panel;
    QTimer* Timer1;

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    TStorageControls Controls() const;
    void Layout();
    TPageContext& ctx_;
    THeldRepeat zoom_;
    uint32_t limitsChangedMs_ = 0;
    bool limitsPending_ = false;
};

}  // namespace kd
