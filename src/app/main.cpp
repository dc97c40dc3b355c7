// kdtrelva: the desktop program.
#include <QAbstractButton>
#include <QAction>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "common/log.h"
#include "kd_version.h"
#include "shell/identity.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/qt_config_store.h"

namespace {

constexpr const char* kUsage =
    "usage: kdtrelva [-port NAME|SIM] [-connect] [-loc en|ja|cn|ko] [-lang FILE]\n"
    "                [-page CODE] [-action NAME[,NAME...]] [-screenshot FILE.png [-wait MS]]\n"
    "                [PARAMETER-FILE]\n"
    "       kdtrelva --version | --help\n"
    "  -port NAME     the serial port for this run (ttyUSB0, /dev/ttyUSB0); SIM: the built-in\n"
    "                 simulated sensor (KDSIM_ARGS takes kdsim's options)\n"
    "  -connect       connect as soon as the window is shown\n"
    "  -loc CODE      language of the windows; -lang FILE: a string table to use instead\n"
    "  -page CODE     the page to show: 0x10 measurement, 0x21..0x26 settings,\n"
    "                 0x31..0x33 storage, 0x90 common setup (hexadecimal or decimal)\n"
    "  -action NAMES  trigger actions or buttons by object name after showing the page\n"
    "  -screenshot F  save the main window as PNG after -wait MS and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Asked before any window exists, so these work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version" || a == "-version") {
            std::printf("kdtrelva (KD Trelva) %s\n", KD_VERSION);
            return 0;
        }
        if (a == "--help" || a == "-help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    kd::TKestApplication app(argc, argv);
    kd::SetProgramIdentity();

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
        kd::TKestProgram program(args, &store,
                                 QCoreApplication::applicationFilePath().toStdString());
        kd::TKestTrel& window = program.Window;
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
        program.Start(connectAtStart, std::move(actions));
        const int loop = app.exec();
        rc = program.ExitCode != 0 ? program.ExitCode : loop;
    } catch (const std::exception& e) {
        // Start-up failed before the message loop: tell the operator and end.
        std::fprintf(stderr, "kdtrelva: %s\n", e.what());
        if (QGuiApplication::platformName() != "offscreen")
            kd::ShowMessageBox(nullptr, QString::fromUtf8(kd::kApplicationTitle),
                               QString::fromUtf8(e.what()), kd::TMessageDlg::Kind::Error);
        return 1;
    }
    return rc;
}
