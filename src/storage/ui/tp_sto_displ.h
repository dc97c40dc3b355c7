#pragma once
// TPStoDispl: starts and stops the sensor's data storage, polls its progress,
// downloads the records with progress and abort, charts them in a scroll box
// at a kept time scale with value and time strips and two cursors, zooms
// while a button is held, and saves or loads them as CSV files (also
// automatically).
#include <QDateTime>
#include <QWidget>
#include <array>

#include "storage/held_repeat.h"
#include "storage/record_set.h"

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;
class QTimer;
class QToolButton;

namespace kd {

struct TPageContext;
struct TStorageControls;
class TConfigStore;
class TFetchPanel;
class TPStoSett;
class TRecordChart;
class TChartStrip;

class TPStoDispl : public QWidget {
  public:
    TPStoDispl(TPageContext& ctx, TPStoSett* settings, QWidget* parent = nullptr,
               TConfigStore* store = nullptr);
    ~TPStoDispl() override;

    void ShowParams();
    void UpdateActions();
    // The page's registry group (read when the page is made).
    void SaveRegistry(TConfigStore& store) const;
    void StartStop();
    void Fetch();
    bool Save(const QString& file);
    bool Load(const QString& file);
    void Clear();
    void PollStatus();
    void StopStorage(bool done);
    void RefreshReadout();
    // One zoom step: 0 vertical in, 1 vertical out, 2 horizontal in, 3 out.
    void ZoomStep(int button);
    // The chart's size for the scales (falls back to the scroll box's width
    // when the platform cannot make a chart that wide).
    void ResizeChart(int width, int height);
    int ChartHeight() const;

    TRecordSet Records;
    TValueRange Range;
    double YScale = 5.0;      // pixels per 1000 value units
    double TimeScale = 10.0;  // ms per pixel
    int ChannelMask = 63;
    std::array<double, 2> Cursor{1000, 2000};
    QString AutoSaveName;
    QString LastMessage;
    // The clock time of the last record (the time of the fetch, or of the
    // loaded file), for the time strip.
    QDateTime LastClock = QDateTime::currentDateTime();

    QAction* StrDisplStart;
    QAction* StrDisplRecv;
    QAction* StrSave;
    QAction* StrLoad;
    QPushButton* StartButton;
    QPushButton* BitBtn1;
    QPushButton* SaveButton;
    QPushButton* LoadButton;
    QPushButton* StrDataClear;
    QCheckBox* AutoSaveCheck;
    QLabel* StrCountLabel;
    QLabel* StatusLabel;
    QTableWidget* CursorGrid;
    QScrollArea* ScrollBox1;
    TRecordChart* LogChart;
    TChartStrip* ChartLeft;
    TChartStrip* ChartFoot;
    TChartStrip* ChartHead;
    std::array<QToolButton*, 4>
        ZoomButtons{};  // ZoomUpVert, ZoomDownVert, ZoomUpHoriz, ZoomDownHoriz
    TFetchPanel* Panel;
    QTimer* Timer1;
    TPStoSett* SettingsPage;

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    TStorageControls Controls() const;
    void Layout();
    // After a fetch (fit = true: the height of the scroll box) or a load.
    void Scale(bool fetched);
    void PaintLeft(QPainter& p, int w, int h);
    void PaintFoot(QPainter& p, int w, int h);
    void PaintHead(QPainter& p, int w, int h);
    QString ChannelCaption(int channel) const;

    TPageContext& ctx_;
    THeldRepeat zoom_;
};

}  // namespace kd
