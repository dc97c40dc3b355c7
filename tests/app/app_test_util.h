#pragma once
// The application object and an event pump for the whole-program tests.
#include <QEventLoop>
#include <QTimer>

#include "shell/ui/kest_application.h"

namespace apptest {

inline kd::TKestApplication& KestApp() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static kd::TKestApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new kd::TKestApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop for ms.
inline void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace apptest
