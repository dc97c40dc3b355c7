// kdtrelva: the desktop program.
#include <QAbstractButton>
#include <QAction>
#include <QBuffer>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/session_wiring.h"
#include "common/atomic_file.h"
#include "common/log.h"
#include "measure/ui/measure_views.h"
#include "pages/ui/settings_pages.h"
#include "shell/identity.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/qt_config_store.h"

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
        kd::WriteFileAtomic(path,
                            std::string_view(png.constData(), static_cast<size_t>(png.size())));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kdtrelva: %s\n", e.what());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kd::TKestApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(kd::kApplicationTitle));
    QApplication::setOrganizationName(QString::fromUtf8(kd::kOrganisation));
    QApplication::setApplicationName(QString::fromUtf8(kd::kApplicationKey));

    // -connect: connect to the sensor once the main window is first shown.
    std::vector<std::string> args;
    bool connectAtStart = false;
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]).compare("-connect", Qt::CaseInsensitive) == 0)
            connectAtStart = true;
        else
            args.emplace_back(argv[i]);
    }

    int rc = 0;
    try {
        kd::TQtConfigStore store;
        kd::TKestServices services;
        services.Store = &store;
        services.ProgramPath = QCoreApplication::applicationFilePath().toStdString();
        // The session workflows on the main window's worker and state.
        kd::TSimPort simPort;
        kd::TDeferredWorkflow workflow;
        services.Workflow = &workflow;
        kd::TKestTrel window(args, services);
        kd::TTrelSessionHost sessionHost(window);
        kd::TKestSession session({*window.Thread(), window.Image(), window.Masters, window.State,
                                  window.Live, sessionHost});
        session.PortResolver = [&simPort](const std::string& name) {
            return simPort.Resolve(name);
        };
        workflow.Target = &session;
        kd::WatchReturningPort(window, session);
        // The measurement page with its profile plot and the chart samples.
        window.SamplingPeriodHook = [&session] { return session.SamplingPeriod; };
        kd::TMeasureViews measure(window);
        measure.ConnectSession(sessionHost);
        // The settings pages on the same context and profile data.
        kd::TSettingsPages settingsPages(window, measure.Shared);
        settingsPages.ConnectSession(sessionHost);
        if (!window.Options.Errors.empty()) {
            for (const auto& e : window.Options.Errors)
                std::fprintf(stderr, "kdtrelva: %s\n", e.c_str());
            return 2;
        }
        window.CreateWindows();
        // -action: every name must be an action of the windows (or a button
        // without one, such as a page's group button).
        std::vector<std::function<void()>> actions;
        for (const std::string& name : window.Options.Actions) {
            const QString n = QString::fromStdString(name);
            if (auto* a = window.findChild<QAction*>(n)) {
                actions.push_back([a] {
                    if (!a->isEnabled())
                        std::fprintf(stderr, "kdtrelva: action '%s' is disabled\n",
                                     a->objectName().toUtf8().constData());
                    a->trigger();
                });
            } else if (auto* b = window.findChild<QAbstractButton*>(n)) {
                actions.push_back([b] { b->click(); });
            } else {
                std::fprintf(stderr, "kdtrelva: unknown action '%s'\n", name.c_str());
                return 2;
            }
        }
        window.show();
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
            for (auto& run : actions) run();
            if (!window.Options.Screenshot) return;
            const std::string file = *window.Options.Screenshot;
            QTimer::singleShot(window.Options.WaitMs, &window, [&window, &rc, file] {
                if (!SaveScreenshot(window, file)) rc = 1;
                QCoreApplication::exit(rc);
            });
        });
        int loop = app.exec();
        if (rc == 0) rc = loop;
    } catch (const std::exception& e) {
        // Start-up failed before the message loop: tell the operator and end.
        std::fprintf(stderr, "kdtrelva: %s\n", e.what());
        if (QGuiApplication::platformName() != "offscreen")
            QMessageBox::critical(nullptr, QString::fromUtf8(kd::kApplicationTitle),
                                  QString::fromUtf8(e.what()));
        return 1;
    }
    return rc;
}
