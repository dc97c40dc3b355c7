#pragma once
// The confirmation dialog and the write-changes dialog of the main window.
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "shell/mirel_lang.h"

namespace kd {

// Caption "Confirmation", a message set by the caller, OK and Cancel.
class TOkCancelDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TOkCancelDlg(const TMirelLang* lang, QWidget* parent = nullptr);
    QLabel* Label1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

// Asks whether changes are written to the sensor: Yes, No, Cancel.
class TParamWriteDlg : public QDialog {
    Q_OBJECT
  public:
    enum Result { Cancelled = 0, Yes = 1, No = 2 };
    explicit TParamWriteDlg(const TMirelLang* lang, QWidget* parent = nullptr);
    QLabel* Label1;
    QPushButton* YesButton;
    QPushButton* NoButton;
    QPushButton* CancelButton;
};

}  // namespace kd
