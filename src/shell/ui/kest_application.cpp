#include "shell/ui/kest_application.h"

#include <QHelpEvent>
#include <QIcon>
#include <QLocale>
#include <QToolTip>
#include <QWidget>
#include <exception>

#include "common/log.h"
#include "shell/identity.h"
#include "shell/shell_text.h"
#include "shell/ui/dialogs.h"

namespace kd {

TKestApplication::TKestApplication(int& argc, char** argv) : QApplication(argc, argv) {
    ShowMessage = [](const QString& text) {
        ShowMessageBox(QApplication::activeWindow(), QStringLiteral("Unhandled Exception"), text,
                       TMessageDlg::Kind::Error);
    };
}

void SetProgramIdentity() {
    QCoreApplication::setOrganizationName(QString::fromUtf8(kOrganisation));
    QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationKey));
    // The desktop entry kdtrelva.desktop: the desktop groups the windows under it.
    QGuiApplication::setDesktopFileName(QStringLiteral("kdtrelva"));
    QIcon builtIn;
    for (int size : {16, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/kdtrelva-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kdtrelva"), builtIn));
}

bool TKestApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(e.what());
    } catch (...) {
        HandleException("unknown exception");
    }
    return false;
}

void TKestApplication::HandleException(const std::string& message) {
    WriteLog(kLogError, "%s", message.c_str());
    if (ShowUnhandled && ShowUnhandled() && ShowMessage)
        ShowMessage(QString::fromStdString(message));
}

void HandleUnhandledException(const std::string& message) {
    if (auto* app = dynamic_cast<TKestApplication*>(QCoreApplication::instance()))
        app->HandleException(message);
    else
        WriteLog(kLogError, "%s", message.c_str());
}

QString RenderHint(const QString& hint, int displUnit) {
    WriteLog(kLogPlain, "AppShowHint(%s)", hint.toUtf8().constData());
    const QString sep = QLocale().decimalPoint();
    return QString::fromStdString(FilterHintText(hint.toStdString(), displUnit, sep.toStdString()));
}

bool THintFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->toolTip().isEmpty()) return false;
    auto* help = static_cast<QHelpEvent*>(event);
    QString text = RenderHint(widget->toolTip(), displUnit_ ? displUnit_() : 0);
    // Shown for an hour at most; leaving the control's rectangle hides it.
    QToolTip::showText(help->globalPos(), text, widget, widget->rect(), 3600 * 1000);
    return true;
}

}  // namespace kd
