// Soak: the polling tick and the worker's profile polling for a long time,
// with a receive-all every 30 s, against kdsim on its own pseudo-terminal
// with link faults (noise, damaged check bytes, dropped and cut replies).
// Reports ticks, LinkState changes, the longest stall, receives that
// completed, failed or came back wrong, and resident memory at the start and
// the end.  Usage: soak [SECONDS] [--kdsim PATH]   Exit 1 on a hang (a tick
// of 30 s), a lost port, a wrong receive or memory grown by 1 MB or more; it
// reports stalls (no good tick for a while, as under a loaded machine) but
// does not judge speed.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/clock.h"
#include "common/log.h"
#include "link/kest_thread.h"
#include "shell/session/kest_session.h"

namespace {

long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// kdsim as a child process; the path of its pseudo-terminal.
pid_t StartKdsim(const std::string& kdsim, const std::string& link) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(kdsim.c_str(), kdsim.c_str(), "--pace", "--latency-us", "100", "--seed", "3",
              "--faults", "noise=0.01,corrupt=0.01,drop=0.01,cut=0.01", "--link", link.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(link); ++i) kd::SleepMs(10);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    std::string kdsim =
        (std::filesystem::path(argv[0]).parent_path() / ".." / "bin" / "kdsim").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--kdsim") == 0 && i + 1 < argc)
            kdsim = argv[++i];
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }
    const std::string link =
        (std::filesystem::temp_directory_path() / ("kd_soak_" + std::to_string(getpid()))).string();
    const pid_t sim = StartKdsim(kdsim, link);
    if (!std::filesystem::exists(link)) {
        std::fprintf(stderr, "soak: kdsim did not start (%s)\n", kdsim.c_str());
        return 1;
    }
    kd::ScopedLogSink quiet([](int, const std::string&) {});
    kd::TKestThread thread;
    kd::TKestParam image;
    kd::TMasterStore masters;
    kd::TShellState state;
    kd::TLiveValues live;
    kd::THeadlessHost host;
    image.Masters = &masters;
    image.SensorVersion = &state.SensorVersion;
    state.CurrentPage = kd::kPageMeasure;
    kd::TKestSession session({thread, image, masters, state, live, host});
    session.BackupDir = link + "_backup";
    thread.PortName = link;
    bool connected = false;
    for (int i = 0; i < 10 && !connected; ++i) connected = session.TryConnect();
    if (!connected) {
        std::fprintf(stderr, "soak: cannot connect: %s\n", session.LastConnectError.c_str());
        kill(sim, SIGTERM);
        return 1;
    }
    const auto reference = image.Image;  // what the sensor holds; nothing changes it
    std::atomic<long> profiles{0};
    auto startPolling = [&] {
        if (thread.Task == kd::kTaskIdle) thread.RequestProfiles([&] { ++profiles; });
    };
    startPolling();

    const long rss0 = RssKb();
    const uint32_t t0 = kd::TickMs();
    uint32_t lastGood = t0, nextReceive = t0 + 30000;
    long ticks = 0, changes = 0, receives = 0, failedReceives = 0, wrongReceives = 0;
    long rssWarm = -1;  // after the first receive-all: buffers have their size by then
    uint32_t longestStall = 0, longestTick = 0;
    int lastState = state.LinkState;
    while (kd::TickMs() - t0 < static_cast<uint32_t>(seconds) * 1000u) {
        if (state.LinkState == 1) kd::SleepMs(session.NextProbeInMs());
        const uint32_t a = kd::TickMs();
        session.Tick();
        const uint32_t now = kd::TickMs();
        ++ticks;
        longestTick = std::max(longestTick, now - a);
        if (state.LinkState != lastState) ++changes;
        lastState = state.LinkState;
        lastGood = std::max(lastGood, session.LastPollMs);  // the last tick that read everything
        longestStall = std::max(longestStall, now - lastGood);
        if (state.LinkState == 0) break;  // the port went away: not expected here
        if (now >= nextReceive) {
            nextReceive = now + 30000;
            ++receives;
            try {
                session.ReceiveAll();
                if (image.ValidMask != kd::kValidAll || image.Image != reference) ++wrongReceives;
            } catch (const kd::EKestError&) {
                ++failedReceives;  // reported, as the operator would see it
            }
            startPolling();  // five failures in a row end the worker's task
            if (rssWarm < 0) rssWarm = RssKb();
        }
        kd::SleepMs(1);
    }
    const long rss1 = RssKb();
    if (rssWarm < 0) rssWarm = rss0;
    const bool portKept = state.LinkState != 0;
    thread.AbortRequested = true;
    session.Disconnect();
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(link + "_backup");

    std::printf(
        "soak %d s: %ld ticks, %ld LinkState changes, longest stall %u ms (longest tick "
        "%u ms), %ld profiles, receive-all %ld: %ld complete, %ld failed and reported, %ld "
        "wrong; RSS %ld kB at the start, %ld kB after the first receive-all, %ld kB at "
        "the end (%+ld kB)\n",
        seconds, ticks, changes, longestStall, longestTick, profiles.load(), receives,
        receives - failedReceives - wrongReceives, failedReceives, wrongReceives, rss0, rssWarm,
        rss1, rss1 - rssWarm);
    const bool ok = portKept && wrongReceives == 0 && rss1 - rssWarm < 1024 && longestStall < 10000;
    return ok ? 0 : 1;
}
