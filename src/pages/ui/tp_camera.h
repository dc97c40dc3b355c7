#pragma once
// TPCamera: the camera picture with the laser stripe and the profile's line
// positions, the intensity section through one picture column, the camera
// window dragged on the 16-pixel grid, the zoom, and the camera settings of
// the settings table (mode, gain, shutter times, threshold, reject level)
// with the automatic exposure.
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "pages/camera_logic.h"
#include "pages/ui/setting_controls.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QScrollArea;
class QTimer;
class QToolButton;

namespace kd {

class TPCamera : public QWidget {
  public:
    explicit TPCamera(TPageContext& ctx, QWidget* parent = nullptr);
    ~TPCamera() override;

    void ShowParams();
    // Forgets the picture (after a connection).
    void Clear();
    void UpdateActions();
    // A picture, or the abort of the running fetch (CamRefresh).
    void CamRefreshExecute();
    // Automatic exposure with its read-back (RunAE).
    void RunAEExecute();
    // Window editing on and off (CamRect).
    void CamRectToggled(bool down);
    void ReleaseCamRectButton();
    void SetScaleX(double s);
    void SetScaleY(double s);
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }
    void Zoom(bool up, bool vertical);

    QAction* Action(const char* name) const;
    bool Fetching() const { return fetching_; }

    // Save Image: the view picture as a bitmap or PNG file (by its
    // extension), the name asked in a file dialog, "KD_camera_image.bmp" at
    // first. SaveImageTo writes it (whole or not at all).
    void SaveImageExecute();
    void SaveImageTo(const QString& path);
    // The file dialog; replaceable so tests can answer it. Empty: cancelled.
    std::function<QString(const QString& defaultName)> SaveFileName;

    // The service tools behind the hidden service menu: the mask painter
    // (CamMask, MaskCombo, the paint and erase brushes) and the colour pair
    // of an HDR picture (HdrCheck).
    void ShowServiceTools(bool on);
    void MaskToggled(bool down);
    void MaskComboClick(int position);
    // The mask being painted, 128 x 128 (black: not masked).
    QImage Mask;

    // State the tests and the benchmark look at.
    camera::TViewRect Window;
    camera::TViewRect ImageWindow;
    camera::TWindowDrag Drag;
    int SectionColumn = -1;
    camera::TSectionPeak Peak;
    std::vector<uint8_t> Section;
    TBitmap ViewPicture;
    std::vector<camera::TLinePoint> Line;

    QWidget* CamImage;
    QWidget* CamSection;
    QScrollArea* ScrollBox1;
    QComboBox* CameraModeCombo;
    QComboBox* GainCombo;
    QLineEdit* ShutterEdit;
    QLineEdit* HdrShutterEdit;
    QLineEdit* ThresholdEdit;
    QLineEdit* RejectLevelEdit;
    QFrame* HDRPanel;
    QCheckBox* HighQualityCheck;
    QCheckBox* WithProfileCheck;
    QCheckBox* HdrCheck;
    QToolButton* CamRefreshButton;
    QToolButton* CamAutoButton;
    QToolButton* CamRectButton;
    QLabel* CamRefreshLabel;
    QLabel* AbortLabel;
    QLabel* TTimePanel;
    QFrame* ProgressShape;
    QFrame* Shape2;
    QFrame* ThresholdShape;
    QFrame* RejectLevelShape;
    QToolButton* SaveImageButton;
    QFrame* MaskPanel;
    QLabel* CameraMaskLabel;
    QToolButton* CamMaskButton;
    QToolButton* Image1;  // paint brush
    QToolButton* Image2;  // eraser
    QComboBox* MaskCombo;

    // A picture in view orientation, as a fetch leaves it.
    void SetViewPicture(TBitmap picture);
    // Painting, as the paint boxes do it (the benchmark times it).
    void PaintPicture(QPainter& p, const QRect& clip);
    void PaintSection(QPainter& p);
    // Mouse on the picture, in paint box pixels.
    void PictureMouse(int type, QPoint pos, bool leftHeld);

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    QAction* MakeAction(const char* name, const QString& caption, bool checkable);
    void Guarded(const std::function<void()>& f);
    void Layout();
    void PictureDone();
    void FetchEnded();
    void SetProgress(int percent);
    void RecomputeSection();
    void WriteSampling(bool query);
    void UpdateHdrPanel(int position);
    void TimerTick();
    void ShowFetching(bool on);
    void PaintMask(int type, QPoint pos);

    TPageContext& ctx_;
    TSettingControls controls_;
    std::vector<QAction*> actions_;
    QTimer* timer_;
    QImage viewImage_;  // ViewPicture for drawing
    double scaleX_ = 1.0, scaleY_ = 1.0;
    bool fetching_ = false;
    bool aeRunning_ = false;
    bool aeStop_ = false;
    bool pressed_ = false;
    QPoint press_;
    int hoverCode_ = 0;
    uint32_t fetchStart_ = 0;
    uint16_t period_ = 0;
    bool blinkRed_ = false;
    bool service_ = false;
    bool erase_ = false;
    QPoint lastMask_;
    int lastScroll_ = -1;
    std::shared_ptr<bool> alive_;
};

}  // namespace kd
