#pragma once
// The program asked to end from outside (SIGTERM at shutdown, SIGHUP when its
// terminal goes, SIGINT): the signal is only noted in its handler and acted
// on in the message loop, where the program can keep what the operator has
// not made permanent before it ends. Should the loop not get there, the
// process ends a few seconds later all the same.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kd {

class TEndSignals : public QObject {
  public:
    // onSignal runs on the thread of the message loop with the signal number.
    explicit TEndSignals(std::function<void(int)> onSignal);
    ~TEndSignals() override;
    TEndSignals(const TEndSignals&) = delete;
    TEndSignals& operator=(const TEndSignals&) = delete;

    static constexpr unsigned kFallbackSeconds = 5;

  private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kd
