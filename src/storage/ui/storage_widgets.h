#pragma once
// Pieces both storage display pages use: images at the screen's pixel ratio,
// the held zoom buttons, the file messages and the registry values.
#include <QImage>
#include <QScrollArea>
#include <QString>
#include <QToolButton>
#include <string>

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

// Registry values of a page's group, with their defaults when absent.
double ReadStoreDouble(const TConfigStore* store, const char* group, const char* name, double def,
                       double min, double max);

}  // namespace kd
