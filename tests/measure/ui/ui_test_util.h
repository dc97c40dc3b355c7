#pragma once
// Offscreen widget tests: one QApplication for the executable, mouse events
// sent straight to a widget, and PNG dumps of what was drawn when
// KD_TEST_PNG names a folder.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <cstdlib>
#include <string>

namespace kd::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

inline uint32_t Rgb(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
// A Windows colour value 0x00BBGGRR as 0xRRGGBB for comparing with pixels.
inline uint32_t FromRef(uint32_t c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

inline void SavePng(const QImage& img, const std::string& name) {
    if (const char* dir = std::getenv("KD_TEST_PNG"))
        img.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

}  // namespace kd::test
