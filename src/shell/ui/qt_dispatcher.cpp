#include "shell/ui/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace kd {

Dispatcher QtDispatcher() {
    return [](const std::function<void()>& f) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;  // no user-interface thread any more: never run
        if (QThread::currentThread() == app->thread()) {
            f();
            return;
        }
        // Queued, not blocking: the worker waits for it and may give up
        // when the program ends before the event loop runs it.
        QMetaObject::invokeMethod(app, f, Qt::QueuedConnection);
    };
}

}  // namespace kd
