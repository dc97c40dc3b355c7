#pragma once
// TPStoDispl: starts and stops the sensor's data storage, polls its progress,
// downloads the records with progress and abort, charts them with two
// cursors, and saves or loads them as CSV files (also automatically).
#include <QWidget>

#include "storage/record_set.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kd {

struct TPageContext;
class TFetchPanel;
class TPStoSett;
class TRecordChart;

class TPStoDispl : public QWidget {
  public:
    TPStoDispl(TPageContext& ctx, TPStoSett* settings, QWidget* parent = nullptr);

    void ShowParams();
    void UpdateActions();
    void StartStop();
    void Fetch();
    bool Save(const QString& file);
    bool Load(const QString& file);
    void Clear();
    void PollStatus();
    void StopStorage(bool done);
    void RefreshReadout();

    TRecordSet Records;
    TValueRange Range;
    double TimeScale = 10.0;  // ms per pixel
    int ChannelMask = 63;
    std::array<double, 2> Cursor{1000, 2000};
    QString AutoSaveName;
    QString LastMessage;

    QPushButton* StartButton;
    QPushButton* BitBtn1;
    QPushButton* SaveButton;
    QPushButton* LoadButton;
    QPushButton* StrDataClear;
    QCheckBox* AutoSaveCheck;
    QLabel* StrCountLabel;
    QLabel* StatusLabel;
    QTableWidget* CursorGrid;
    TRecordChart* LogChart;
    TFetchPanel* Panel;
    QTimer* Timer1;

  private:
    void Scale();
    TPageContext& ctx_;
    bool pendingFetch_ = false;

  public:
    TPStoSett* SettingsPage;

  private:
    int lastCount_ = 0;
};

}  // namespace kd
