#pragma once
// The progress of a download on a storage page: a bar with the count done,
// the rate and the time left, and an abort button. The download runs on the
// window's thread and lets the window handle its events between blocks; the
// program's ending aborts it.
#include <QWidget>

#include "storage/storage_link.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kd {

class TFetchPanel : public QWidget {
  public:
    explicit TFetchPanel(QWidget* parent);
    // The progress function for one download of `what` ("records").
    TFetchProgressFn Begin(const QString& what);
    void End();
    bool Running() const { return running_; }
    void Abort() { abort_ = true; }

    QProgressBar* Bar;
    QLabel* Rate;
    QPushButton* AbortButton;

  private:
    bool abort_ = false;
    bool running_ = false;
    uint32_t lastShown_ = 0;
};

struct TPageContext;

// "n of m records arrived (aborted)" for the outcome of a download, in the
// window's language.
QString OutcomeText(const TFetchOutcome& o, bool profiles, const TPageContext& ctx);
// "FILE: reason (n records read)" for a file that was read only in part.
QString PartlyReadText(const QString& file, const std::string& error, int count, bool profiles,
                       const TPageContext& ctx);

}  // namespace kd
