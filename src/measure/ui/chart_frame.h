#pragma once
// TChartFrame: the recent history of the six measurement channels as lines
// over time, newest at the right, with value and time grids and four zoom
// buttons. The samples come from a TChartData the host owns.
#include <QFrame>
#include <QImage>
#include <array>
#include <functional>

#include "measure/chart_data.h"

class QToolButton;

namespace kd {

struct ChartColors {
    uint32_t Background = 0x000000;
    uint32_t Grid = 0x808080;
    std::array<uint32_t, 6> Lines = {0x215ED9, 0x21C9D9, 0x21D952, 0xD92121, 0xBA21D9, 0xD9D921};
};

class TChartFrame;

class ChartPaintBox : public QWidget {
  public:
    explicit ChartPaintBox(TChartFrame* frame);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

  private:
    TChartFrame* frame_;
};

class TChartFrame : public QFrame {
  public:
    explicit TChartFrame(QWidget* parent = nullptr);

    double HScale() const { return hScale_; }
    double VScale() const { return vScale_; }
    // Throws EKestError "chart scale error" outside 0.25..8; nothing changes then.
    void SetHScale(double x);
    void SetVScale(double x);
    void Refresh();

    // Zoom buttons; a scale error is logged as the program's handler would.
    void ZoomUpVertClick();
    void ZoomDownVertClick();
    void ZoomUpHorizClick();
    void ZoomDownHorizClick();

    uint32_t ChMask = 15;
    TChartData* Data = nullptr;
    int DisplUnit = 0;
    // The current time in days; the local clock unless a test sets it.
    std::function<double()> Now = NowDays;

    void SetColors(const ChartColors& c);
    bool Dirty() const { return dirty_; }
    // The chart bitmap; drawn first when dirty.
    const QImage& BackBitmap();
    void DrawChart(QImage& img);
    ChartPaintBox* PaintBox() const { return paintBox_; }

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    void Zoom(bool vertical, double factor);

    double hScale_ = 1.0;
    double vScale_ = 1.0;
    bool dirty_ = false;
    ChartColors colors_;
    QImage back_;
    ChartPaintBox* paintBox_ = nullptr;
    QFrame* panel_ = nullptr;
};

}  // namespace kd
