#include "shell/ui/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace kd {

Dispatcher QtDispatcher() {
    return [](const std::function<void()>& f) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread()) {
            f();
            return;
        }
        QMetaObject::invokeMethod(
            app, [&f] { f(); }, Qt::BlockingQueuedConnection);
    };
}

}  // namespace kd
