#include <QAbstractButton>
#include <QAction>
#include <QBuffer>
#include <QTimer>
#include <cstdio>

#include "app/program.h"
#include "common/atomic_file.h"
#include "shell/identity.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/qt_config_store.h"

namespace kd {

namespace {

// Saves the main window as PNG; false with a message on stderr on failure.
bool SaveScreenshot(QWidget& window, const std::string& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!window.grab().save(&buffer, "PNG")) {
        std::fprintf(stderr, "kdtrelva: could not render the window\n");
        return false;
    }
    try {
        WriteFileAtomic(path, std::string_view(png.constData(), static_cast<size_t>(png.size())));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kdtrelva: %s\n", e.what());
        return false;
    }
    return true;
}

}  // namespace

int RunDesktopProgram(TKestApplication& app, const std::vector<std::string>& commandLine,
                      const std::function<void(TKestProgram&)>& atStart) {
    // -connect: connect to the sensor once the main window is first shown.
    std::vector<std::string> args;
    bool connectAtStart = false;
    for (const std::string& a : commandLine) {
        if (QString::fromLocal8Bit(a.c_str()).compare("-connect", Qt::CaseInsensitive) == 0)
            connectAtStart = true;
        else
            args.push_back(a);
    }

    int rc = 0;
    try {
        TQtConfigStore store;
        TKestProgram program(args, &store, QCoreApplication::applicationFilePath().toStdString());
        TKestTrel& window = program.Window;
        TKestSession& session = program.Session;
        if (!window.Options.Errors.empty()) {
            for (const auto& e : window.Options.Errors)
                std::fprintf(stderr, "kdtrelva: %s\n", e.c_str());
            return 2;
        }
        window.CreateWindows();
        // -action: a name is looked up on the page shown (its actions, then
        // its buttons), then among the main window's actions and its own
        // buttons; every name must be found. "wait:MS" between two names lets
        // the window run MS milliseconds first (a recording to finish before
        // its fetch).
        std::vector<std::function<void()>> actions;
        std::vector<int> waits;  // before each action, ms
        int pendingWait = 0;
        std::function<void(size_t)> step;  // runs the actions from one on
        for (const std::string& name : window.Options.Actions) {
            const QString n = QString::fromStdString(name);
            if (n.startsWith("wait:", Qt::CaseInsensitive)) {
                bool ok = false;
                const int ms = n.mid(5).toInt(&ok);
                if (!ok || ms < 0 || ms > 3600000) {
                    std::fprintf(stderr, "kdtrelva: bad wait '%s'\n", name.c_str());
                    return 2;
                }
                pendingWait += ms;
                continue;
            }
            waits.push_back(pendingWait);
            pendingWait = 0;
            QObject* target =
                FindScriptTarget(window, window.Options.Page.value_or(kPageMeasure), n);
            if (auto* a = qobject_cast<QAction*>(target)) {
                actions.push_back([a] {
                    if (!a->isEnabled())
                        std::fprintf(stderr, "kdtrelva: action '%s' is disabled\n",
                                     a->objectName().toUtf8().constData());
                    a->trigger();
                });
            } else if (auto* b = qobject_cast<QAbstractButton*>(target)) {
                actions.push_back([b] { b->click(); });
            } else {
                std::fprintf(stderr, "kdtrelva: unknown action '%s'\n", name.c_str());
                return 2;
            }
        }
        window.show();
        if (atStart) atStart(program);
        // After the first showing: connect, the page, the actions, then the
        // screenshot after the wait.
        QTimer::singleShot(0, &window, [&] {
            if (connectAtStart) session.Connect();
            if (window.Options.Page) {
                try {
                    window.ShowPage(*window.Options.Page);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "kdtrelva: %s\n", e.what());
                    rc = 2;
                    QCoreApplication::exit(rc);
                    return;
                }
            }
            // The actions in order, each after its wait; then the screenshot.
            step = [&](size_t i) {
                for (; i < actions.size(); ++i) {
                    if (waits[i] > 0) {
                        const int ms = waits[i];
                        waits[i] = 0;
                        QTimer::singleShot(ms, &window, [&step, i] { step(i); });
                        return;
                    }
                    actions[i]();
                }
                if (!window.Options.Screenshot) return;
                const std::string file = *window.Options.Screenshot;
                QTimer::singleShot(window.Options.WaitMs + pendingWait, &window,
                                   [&window, &rc, file] {
                                       if (!SaveScreenshot(window, file)) rc = 1;
                                       QCoreApplication::exit(rc);
                                   });
            };
            step(0);
        });
        int loop = app.exec();
        if (rc == 0) rc = loop;
    } catch (const std::exception& e) {
        // Start-up failed before the message loop: tell the operator and end.
        std::fprintf(stderr, "kdtrelva: %s\n", e.what());
        if (QGuiApplication::platformName() != "offscreen")
            ShowMessageBox(nullptr, QString::fromUtf8(kApplicationTitle),
                           QString::fromUtf8(e.what()), TMessageDlg::Kind::Error);
        return 1;
    }
    return rc;
}

}  // namespace kd
