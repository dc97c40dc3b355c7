#include <QAbstractButton>
#include <QAction>
#include <cstdio>
#include <utility>

#include "app/end_signals.h"
#include "app/program.h"
#include "shell/identity.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/qt_config_store.h"

namespace kd {

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
    // Outlives the program, so that a stuck end is still cut short.
    TKestProgram* running = nullptr;
    TEndSignals endSignals([&running](int sig) {
        if (running)
            running->EndOnSignal(sig);
        else
            QCoreApplication::exit(128 + sig);  // the box of a failed start-up
    });
    try {
        TQtConfigStore store;
        TKestProgram program(args, &store, QCoreApplication::applicationFilePath().toStdString());
        running = &program;
        TKestTrel& window = program.Window;
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
        std::vector<TKestProgram::TStep> steps;
        int pendingWait = 0;
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
            TKestProgram::TStep& step = steps.emplace_back();
            step.WaitMs = std::exchange(pendingWait, 0);
            QObject* target =
                FindScriptTarget(window, window.Options.Page.value_or(kPageMeasure), n);
            if (auto* a = qobject_cast<QAction*>(target)) {
                step.Run = [a] {
                    if (!a->isEnabled())
                        std::fprintf(stderr, "kdtrelva: action '%s' is disabled\n",
                                     a->objectName().toUtf8().constData());
                    a->trigger();
                };
            } else if (auto* b = qobject_cast<QAbstractButton*>(target)) {
                step.Run = [b] { b->click(); };
            } else {
                std::fprintf(stderr, "kdtrelva: unknown action '%s'\n", name.c_str());
                return 2;
            }
        }
        program.Start(connectAtStart, std::move(steps), pendingWait);
        if (atStart) atStart(program);
        const int loop = app.exec();
        running = nullptr;
        rc = program.ExitCode != 0 ? program.ExitCode : loop;
    } catch (const std::exception& e) {
        running = nullptr;
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
