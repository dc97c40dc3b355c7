#pragma once
// TPArea: the four measurement areas. For the area being edited: its
// function (the list by the sensor's software), the directions, the
// inflection threshold, the position correction and the rectangle typed in
// the display unit or dragged in the embedded profile frame; live profiles
// under the areas with the master and the correction offsets.
#include <QFrame>
#include <QWidget>
#include <array>
#include <functional>

#include "measure/profile_data.h"
#include "pages/settings_table.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

namespace kd {

class TProfileFrame;

// A rounded swatch that selects its area on a press.
class TAreaShape : public QFrame {
  public:
    TAreaShape(QWidget* parent, int tag) : QFrame(parent), Tag(tag) {}
    int Tag;
    std::function<void(int)> OnPress;

  protected:
    void mousePressEvent(QMouseEvent* e) override;
};

class TPArea : public QWidget {
  public:
    TPArea(TPageContext& ctx, ProfileShared& shared, QWidget* parent = nullptr);
    ~TPArea() override;

    void ShowParams();
    void SelectArea(int n);
    int EditedArea() const { return area_; }
    void UpdateActions();
    // Live profiles: start with the master read, or stop (RecvProf).
    void RecvProfExecute();
    // Page switching: restart when the button is down, refresh the plot.
    void Enter();
    // Stops the polling (page left, disconnection, shut-down).
    void StopRepeat();
    bool Polling() const;
    // Takes the measurement page's profile when it has one.
    void TakeOverProfile(int pointCount);
    // A profile fetched by the profile page: the frame shows its points.
    void SetPointCount(int pointCount);
    void FuncChanged(int p);  // what a new function changes beyond its row
    TProfileFrame* Frame() const { return frame_; }
    QAction* RecvProf() const { return recvProf_; }
    // Other pages that show the areas' functions refill themselves.
    std::function<void()> OnFunctionChanged;

    QComboBox* MeasModeCombo;  // hidden: the localised function list
    QComboBox* AreaModeCombo;
    QComboBox* PosDirCombo;
    QComboBox* AreaDirCombo;
    QComboBox* OrgOffsetCombo;
    QLineEdit* InflEdit;
    std::array<QLineEdit*, 4> RectEdit{};  // left, top, right, bottom
    QLabel* PosDirLabel;
    QLabel* AreaDirLabel;
    QLabel* InflectLabel;
    QLabel* UnitLabel;
    QCheckBox* ViewMasterCheck;
    QToolButton* RefreshRepeatButton;
    std::array<TAreaShape*, 4> AreaShape{};
    QFrame* Shape5;
    QMenu* AreaPopupMenu;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    const TSetting& Row(const char* field) const;
    void FillArea();
    void UpdateVisibility(int func);
    void RefillFunctions();
    void ShapesFor(int n);
    void AreaEditChange(int edge);
    void TakeProfile();
    void Guarded(const std::function<void()>& f);

    TPageContext& ctx_;
    ProfileShared& shared_;
    TProfileFrame* frame_ = nullptr;
    QAction* recvProf_ = nullptr;
    int area_ = 0;
    bool loading_ = false;
    bool fitted_ = false;
    bool lastEnabled_ = false;
};

}  // namespace kd
