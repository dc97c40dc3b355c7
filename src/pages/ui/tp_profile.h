#pragma once
// TPProfile: how the sensor extracts the profile (the WaveForm group) and
// how it corrects its position (the correction group): lists of the
// settings table, the three correction lines dragged on the embedded profile
// frame and sent on release, one profile fetch, and the registration of the
// master profile with its notice.
#include <QWidget>
#include <array>
#include <functional>

#include "measure/profile_data.h"
#include "pages/ui/setting_controls.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

namespace kd {

class TProfileFrame;

class TPProfile : public QWidget {
  public:
    TPProfile(TPageContext& ctx, ProfileShared& shared, QWidget* parent = nullptr);

    void ShowParams();
    // Enabling of the page's actions by the connection.
    void UpdateActions();
    // The fetch of one profile, or the abort of a running task (RecvProf).
    void RecvProfExecute();
    // SET_PROF_MST, one profile, then the bank's master read back (Register).
    void RegisterExecute();
    // The bank's master read from the sensor (RecvMaster).
    void RecvMasterExecute();
    // The correction line buttons (XAdjust, ZAdjust, RollAdjust): mode 1..3.
    void AdjustToggled(int mode, bool down);
    // After the frame's own handling of a mouse release.
    void FrameMouseUp();
    void SetNotice(bool shown);

    QAction* Action(const char* name) const;
    TProfileFrame* Frame() const { return frame_; }
    // Every fetched profile's point count, for the area page's frame.
    std::function<void(int count)> OnProfileFetched;

    QPushButton* PrfWaveButton;
    QPushButton* PrfOrigButton;
    QFrame* WavePanel;
    QFrame* AdjPanel;
    QComboBox* ModeCombo;
    QComboBox* AlmCountCombo;
    QComboBox* SmoothCombo;
    QComboBox* OffsetFlowCombo;
    QComboBox* TiltCorrectCombo;
    QToolButton* HOffsetButton;
    QToolButton* VOffsetButton;
    QToolButton* TiltOffsetButton;
    QToolButton* RegisterButton;
    QToolButton* RecvMasterButton;
    QToolButton* CamRefreshButton;
    QLabel* MasterChangeLabel;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    QAction* MakeAction(const char* name, const QString& caption, bool checkable);
    void WaveButtonClick();
    void OrigButtonClick();
    void TakeProfile();
    void Guarded(const std::function<void()>& f);

    TPageContext& ctx_;
    ProfileShared& shared_;
    TSettingControls controls_;
    TProfileFrame* frame_ = nullptr;
    std::array<QAction*, 3> adjust_{};
    std::vector<QAction*> actions_;
    bool fitted_ = false;
};

}  // namespace kd
