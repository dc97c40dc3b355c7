#pragma once
// Pieces both storage display pages use: images at the screen's pixel ratio,
// the held zoom buttons, the file messages and the registry values.
#include <QImage>
#include <QScrollArea>
#include <QString>
#include <QToolButton>
#include <functional>
#include <string>

#include "storage/storage_link.h"

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;

namespace kd {

struct TPageContext;
class TConfigStore;

// An image for painting `size` logical pixels of `widget` at its device
// pixel ratio, so that the views stay sharp on a scaled screen.
QImage DeviceImage(const QWidget* widget, QSize size);

// The client size of a scroll box whose scroll bars are shown as asked
// (known at once, also before the box has been laid out or shown).
QSize ClientSize(const QScrollArea* box, bool horizontalBar, bool verticalBar);

// A small button of a zoom pair; pressing and releasing it is reported
// through the page's held-button repeat.
QToolButton* MakeZoomButton(QWidget* parent, const char* name, const QString& glyph);

// A storage file that could not be written or read: the log and a message
// box with the file name and the reason.
void ReportStorageFile(TPageContext& ctx, bool save, const QString& file,
                       const std::string& reason);

// The page context's worker as the storage downloads reach it; stored
// profiles are fetched with reads sized from the profile before.
TStorageIo StorageIoOf(TPageContext& ctx, bool storedProfiles);

// The controls both display pages have: start/stop and fetch with their
// buttons, the CSV save and load with theirs, clear, and auto-save.
struct TStorageControls {
    QAction* Start;
    QAction* Fetch;
    QAction* Save;
    QAction* Load;
    QPushButton* StartButton;
    QPushButton* FetchButton;
    QPushButton* SaveButton;
    QPushButton* LoadButton;
    QPushButton* ClearButton;
    QCheckBox* AutoSave;
};
// What the page does for them. A failed start/stop or fetch is shown by
// the program's exception handler after UpdateActions.
struct TStorageHandlers {
    std::function<void()> StartStop, Fetch, Clear, UpdateActions;
    std::function<bool(const QString&)> Save, Load;
};
// Wires the controls of the page whose recording has the run state `mine`
// (1 data, 2 profiles); autoSaveName is the page's auto-save file.
void ConnectStorageControls(QWidget* page, TPageContext& ctx, const TStorageControls& c, int mine,
                            QString* autoSaveName, TStorageHandlers h);
// Enabling and captions: start/stop while connected to a sensor with a
// storage and no recording of the other kind runs; fetch while no fetch runs.
void ShowStorageControls(const QWidget* page, const TPageContext& ctx, const TStorageControls& c,
                         int mine, bool fetching);

// The top row of a display page below the main window's panels (top): the
// buttons side by side, auto-save after them and the count at the right;
// the page's bevel over the whole page.
void PlaceStorageControls(QWidget* page, const TStorageControls& c, QWidget* count, int top);

// Registry values of a page's group, with their defaults when absent.
double ReadStoreDouble(const TConfigStore* store, const char* group, const char* name, double def,
                       double min, double max);

}  // namespace kd
