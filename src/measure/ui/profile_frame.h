#pragma once
// TProfileFrame: the plot of one height profile with the measuring range, a
// millimetre grid, the measurement areas with their results, the master
// profile and the correction lines; zoom in fixed steps, fit to window, area
// and line dragging, and the "#KEST profile" file.
#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "measure/profile_data.h"
#include "measure/profile_geometry.h"
#include "shell/page_context.h"

class QAction;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolButton;

class QMenu;

namespace kd {

struct ProfileColors {
    std::array<uint32_t, 4> AreaSel = {0x7FAAFF, 0x79DCF2, 0x7FFF99, 0xFF9C99};
    std::array<uint32_t, 4> AreaFont = {0x215ED9, 0x21C9D9, 0x21D952, 0xD92121};
    uint32_t ProfileLine = 0x3336FF;
};

class TProfileFrame;

// PaintBox1: the plot surface inside the scroll box.
class ProfilePlotWidget : public QWidget {
  public:
    explicit ProfilePlotWidget(TProfileFrame* frame);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    void leaveEvent(QEvent*) override;

  private:
    TProfileFrame* frame_;
};

class TProfileFrame : public QFrame {
  public:
    static constexpr size_t kPolylinePoints = 2000;

    // ctx: the page context the frame reads the image, the link, the master
    // store and the display settings from; without one every key reads 0,
    // nothing is sent and no master is drawn.
    TProfileFrame(ProfileShared& shared, TPageContext* ctx = nullptr, QWidget* parent = nullptr);
    ~TProfileFrame() override;

    // Per-frame state; hosts set the flags once after creating the frame.
    int PointCount = 0;
    // The sensor's profile while the link is not polling: drawn grey, so it
    // does not look live. A profile loaded from a file is never greyed.
    void SetSensorProfileStale(bool stale);
    // Marks the profile in the buffer as the sensor's (true) or a file's.
    void SetProfileFromSensor(bool fromSensor) { fromSensor_ = fromSensor; }
    bool ShowAreas = false;
    bool ShowAreaLabels = false;
    bool EditAreas = false;
    bool ShowMaster = false;
    bool ShowShiftedAreas = false;
    bool ShowCorrectionLines = true;
    int LineMode = 0;
    int LinePos = 0;
    int LineDragging = 0;
    uint32_t MidLineMask = 0;
    int OffsetX = 0;
    int OffsetZ = 0;
    int CorrectionValue3 = 0;  // third word of GET_PROF_CORR, kept with the frame

    std::function<void()> OnAreaSelect;
    std::function<void()> OnAreaChanged;
    // Raised after the frame's own handling of a mouse release (any button).
    std::function<void(Qt::MouseButton)> OnMouseUp;
    // A menu of the host page added to the plot's context menu (not owned).
    QMenu* ExtraMenu = nullptr;

    double ScaleX() const { return scale_.X; }
    double ScaleY() const { return scale_.Y; }
    void SetScaleX(double v);
    void SetScaleY(double v);
    void Redraw();
    void SetArea(int index, int left, int top, int right, int bottom);
    void SelectArea(int index);
    // No area selected (SelectedArea = -1).
    void Deselect() { editor_.SelectedArea = -1; }
    int SelectedArea() const { return editor_.SelectedArea; }
    const AreaEditor& Editor() const { return editor_; }
    void FitToWindowClick();
    // One zoom step by the zoom image's tag (1..4), logged.
    void ZoomBy(int tag);
    void SetColors(const ProfileColors& c);
    void SetContext(TPageContext* ctx);
    ProfileShared& Shared() { return shared_; }
    TPageContext* Context() const { return ctx_; }
    // The master profile of the bank shown by the main window (may be empty).
    std::span<const ProfilePoint> MasterProfile();

    // The profile file through dialogs (actions LoadProfile, SaveProfile) and
    // without them.
    void LoadProfileFrom(const std::string& path);
    void SaveProfileTo(const std::string& path);
    QAction* LoadProfileAction() const { return loadAction_; }
    QAction* SaveProfileAction() const { return saveAction_; }

    // Timer1's work, callable directly (tests drive it with a clock value).
    void TimerTick(uint32_t nowMs);
    ZoomButtonState& ZoomState() { return zoomState_; }

    // The plot image, in the screen's pixels; redrawn first when stale.
    const QImage& PlotImage();
    // Draws the plot into img in plot pixels (img's device pixel ratio over).
    void DrawPlot(QImage& img);
    bool Stale() const { return stale_; }
    ProfilePlotWidget* PlotWidget() const { return plot_; }
    QScrollArea* ScrollBox() const { return scroll_; }

  private:
    friend class ProfilePlotWidget;
    void resizeEvent(QResizeEvent* e) override;
    void PaintPlot(QPainter& p, const QRect& visible);
    void DrawAxisLabels(QPainter& p, const QRect& visible);
    void MousePress(QMouseEvent* e);
    void MouseMove(QMouseEvent* e);
    void MouseRelease(QMouseEvent* e);
    void FinishAreaDrag(int area);
    int Bank(const char* key) const;
    int Sys(const char* key) const;
    std::pair<int, int> AreaShiftPx(int area, bool always) const;
    void ResizePlot();
    void UpdateActions();
    // A profile file that could not be read or written: named to the operator.
    void ReportFailure(bool save, const std::string& path, const std::exception& e);
    QString CsvFilter() const;

    ProfileShared& shared_;
    TPageContext* ctx_;
    std::vector<ProfilePoint> master_;
    ProfileColors colors_;
    FrameScale scale_;
    AreaEditor editor_;
    ZoomButtonState zoomState_;
    bool stale_ = true;
    static constexpr qint64 kRedrawGapMs = 40;
    QElapsedTimer redrawClock_;
    qint64 lastRedrawMs_ = 0;
    QTimer redrawTimer_;
    bool fromSensor_ = false;
    bool sensorStale_ = false;
    bool blinkSolid_ = true;
    QImage image_;
    std::vector<PixelPoint> pixels_;
    QScrollArea* scroll_ = nullptr;
    ProfilePlotWidget* plot_ = nullptr;
    QFrame* panel_ = nullptr;
    std::array<QToolButton*, 4> zoomButtons_{};
    QPushButton* fitButton_ = nullptr;
    QTimer* timer_ = nullptr;
    QAction* loadAction_ = nullptr;
    QAction* saveAction_ = nullptr;
};

}  // namespace kd
