// kdtrelva: the desktop program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "kd_version.h"
#include "shell/identity.h"
#include "shell/ui/kest_application.h"

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
    "                 (the page's own first, then the main window's); wait:MS between\n"
    "                 two lets the window run MS milliseconds first\n"
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

    std::vector<std::string> args(argv + 1, argv + argc);
    return kd::RunDesktopProgram(app, args);
}
