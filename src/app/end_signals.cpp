#include "app/end_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace kd {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};
int g_pipe[2] = {-1, -1};
std::array<struct sigaction, kSignals.size()> g_previous{};

void NoteSignal(int sig) {
    const int saved = errno;
    const unsigned char n = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t w = write(g_pipe[1], &n, 1);
    // The default action of SIGALRM ends the process: the way out when the
    // loop is stuck and never reads the note.
    alarm(TEndSignals::kFallbackSeconds);
    errno = saved;
}

}  // namespace

TEndSignals::TEndSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char n = 0;
        while (read(g_pipe[0], &n, 1) == 1) {
            if (onSignal_) onSignal_(n);
        }
    });
    for (size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction sa {};
        sa.sa_handler = NoteSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(kSignals[i], &sa, &g_previous[i]);
    }
}

TEndSignals::~TEndSignals() {
    if (!notifier_) return;
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    alarm(0);  // the program got to its end in time
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : g_pipe) {
        close(fd);
        fd = -1;
    }
}

}  // namespace kd
