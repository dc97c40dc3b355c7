#pragma once
// The application object: the handler of exceptions that no action caught
// and the hint filter that renders value-range hints.
#include <QApplication>
#include <functional>
#include <string>

namespace kd {

class TKestApplication : public QApplication {
  public:
    TKestApplication(int& argc, char** argv);
    // The last safety net for handlers that are not wrapped with Guarded.
    bool notify(QObject* receiver, QEvent* event) override;

    // Writes the message to the log (magenta); with "Unhandled Exception"
    // checked it is shown in a message box too.
    void HandleException(const std::string& message);
    // Whether "Unhandled Exception" is checked; set by the main window.
    std::function<bool()> ShowUnhandled;
    // The message box; replaceable so tests see what would be shown.
    std::function<void(const QString&)> ShowMessage;
};

// The names the settings store and the platform know the program by, its
// desktop entry and its icon (the icon theme's, else the built-in one). No
// display name is set: the platform would append it to every window caption.
void SetProgramIdentity();

// Hands an exception that no action caught to the application's handler (or
// to the log when the application object is a plain QApplication).
void HandleUnhandledException(const std::string& message);

// Wraps an event handler so that no exception leaves it: every slot of the
// windows goes through this, since exceptions must not unwind through Qt.
template <typename F>
auto Guarded(F f) {
    return [f = std::move(f)]() {
        try {
            f();
        } catch (const std::exception& e) {
            HandleUnhandledException(e.what());
        } catch (...) {
            HandleUnhandledException("unknown exception");
        }
    };
}

// Logs a hint about to be shown as "AppShowHint(%s)" and renders its value
// range for the display unit (0 mm, 1 um).
QString RenderHint(const QString& hint, int displUnit);

// Event filter for tool tips: renders them with RenderHint and keeps them up
// until the mouse leaves the control.
class THintFilter : public QObject {
  public:
    explicit THintFilter(std::function<int()> displUnit, QObject* parent = nullptr)
        : QObject(parent), displUnit_(std::move(displUnit)) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<int()> displUnit_;
};

}  // namespace kd
