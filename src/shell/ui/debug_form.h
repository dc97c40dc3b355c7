#pragma once
// The hidden debug window: the two switches Displ and Sync, two diagnostic
// fields and the coloured log that WriteLog writes to.
#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

namespace kd {

class TDebugForm : public QWidget {
    Q_OBJECT
  public:
    explicit TDebugForm(QWidget* parent = nullptr);
    ~TDebugForm() override;

    QCheckBox* Displ;
    QCheckBox* Sync;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QTextEdit* LogView;

    // Appends one message; runs on the user-interface thread.
    void AppendLog(int attribute, const QString& message);
    // Messages are dropped once the application is terminating.
    void SetTerminating(bool terminating) { terminating_ = terminating; }
    // The time stamp of now: "hh:nn:ss.zzz ".
    static QString TimeStamp();
    // One tick of the stamp timer (public for tests).
    void StampTick();
    bool StampTimerActive() const { return stampTimer_.isActive(); }
    bool UpdateBatchOpen() const { return batchOpen_; }

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    QTimer stampTimer_;
    bool batchOpen_ = false;
    bool terminating_ = false;
    int sinkId_ = 0;
};

}  // namespace kd
