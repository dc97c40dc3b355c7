#pragma once
// The confirmation dialog and the write-changes dialog of the main window.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <memory>

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

// A message with an OK button (the program's message boxes). Its caption is
// the caller's, with nothing added; an empty caption shows the application
// title.
class TMessageDlg : public QDialog {
    Q_OBJECT
  public:
    enum class Kind { Plain, Error };
    TMessageDlg(const QString& caption, const QString& text, QWidget* owner,
                Kind kind = Kind::Plain);
    QLabel* Label1;
    QPushButton* OKButton;
};

// The width a window needs to show its caption in the title bar whole, with
// room for the title bar's icon and buttons.
int CaptionWidth(const QWidget& window, const QString& caption);
// Makes a dialog wide enough for its caption and contents and centres it on
// its owner's window (the active window, else the screen, when it has none).
// Call it right before showing the dialog.
void FitAndCentre(QWidget& dialog, const QWidget* owner);
// Shows a message box modally, sized and centred as above.
void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text,
                    TMessageDlg::Kind kind = TMessageDlg::Kind::Plain);
// Shows a message box that does not wait for its OK: the program goes on
// while it stands. It belongs to owner and is gone once closed.
TMessageDlg* ShowNotice(QWidget* owner, const QString& caption, const QString& text);

}  // namespace kd
