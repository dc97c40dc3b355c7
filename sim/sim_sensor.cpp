#include "sim/sim_sensor.h"

#include "sim/sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"

namespace kdsim {

namespace {

constexpr uint64_t kPartialFrameUs = 200000;  // a request that stops arriving is dropped
// Without requests the model still moves on (a storage run records) and a
// request that stopped arriving is dropped; nothing needs a finer step.
constexpr int kIdlePollMs = 50;

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void SetRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

SimSensor::SimSensor(SimOptions options)
    : opt_(std::move(options)), faults_(ParseFaults(opt_.faults)), rng_(opt_.seed) {
    ModelConfig cfg;
    cfg.version = opt_.version;
    cfg.noStorage = faults_.noStorage;
    cfg.epmExeFaults = faults_.epmExe;
    cfg.memWriteOk = faults_.memWriteOk;
    cfg.eepromPath = opt_.eeprom;
    cfg.seed = opt_.seed;
    cfg.computeUs = opt_.computeUs;
    cfg.demoStorage = opt_.demoStorage;
    model_ = std::make_unique<SensorModel>(cfg);
}

SimSensor::~SimSensor() {
    Stop();
}

std::string SimSensor::Start() {
    if (thread_.joinable()) return path_;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw kd::EKestError(Errno("kdsim: cannot open a pseudo-terminal"));
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        const std::string msg = Errno("kdsim: cannot unlock the pseudo-terminal");
        close(master_);
        master_ = -1;
        throw kd::EKestError(msg);
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        const std::string msg = Errno("kdsim: no name for the pseudo-terminal");
        close(master_);
        master_ = -1;
        throw kd::EKestError(msg);
    }
    path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    SetRaw(master_);
    // The terminal side must be raw before the program opens it: an echoing
    // line discipline would send our own replies back to us.
    const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        SetRaw(slave);
        if (opt_.pace) CalibrateTerminal(slave);
        close(slave);
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw kd::EKestError(Errno("kdsim: cannot create a pipe"));
    }
    if (!opt_.link.empty()) {
        struct stat st {};
        if (lstat(opt_.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                throw kd::EKestError("kdsim: --link '" + opt_.link + "' exists and is not a link");
            }
            unlink(opt_.link.c_str());
        }
        if (symlink(path_.c_str(), opt_.link.c_str()) != 0) {
            throw kd::EKestError(Errno("kdsim: cannot make the link '" + opt_.link + "'"));
        }
    }
    if (!opt_.trace.empty()) {
        trace_ = std::fopen(opt_.trace.c_str(), "w");
        if (!trace_)
            throw kd::EKestError(Errno("kdsim: cannot write the trace '" + opt_.trace + "'"));
    }
    startUs_ = kd::TickUs();
    stop_ = false;
    thread_ = std::thread([this] { Serve(); });
    return path_;
}

void SimSensor::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const char c = 1;
        [[maybe_unused]] auto r = write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&master_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    if (trace_) {
        std::fclose(trace_);
        trace_ = nullptr;
    }
    if (!opt_.link.empty() && !path_.empty()) {
        // Only our own link goes; another sensor may have taken the name since.
        char target[256] = {};
        const ssize_t n = readlink(opt_.link.c_str(), target, sizeof target - 1);
        if (n > 0 && path_ == std::string(target, static_cast<size_t>(n)))
            unlink(opt_.link.c_str());
    }
}

void SimSensor::CalibrateTerminal(int slave) {
    // A byte written on one side reaches a reader on the other some tens of
    // microseconds later; pacing counts that time as part of the wire's.
    std::vector<uint64_t> samples;
    for (int i = 0; i < 32; ++i) {
        const uint8_t b = 0;
        const uint64_t t0 = kd::TickUs();
        if (write(slave, &b, 1) != 1) return;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 100) != 1) return;
        uint8_t in = 0;
        if (read(master_, &in, 1) != 1) return;
        samples.push_back(kd::TickUs() - t0);
    }
    // The least it took: a reply never reaches the program before the wire
    // would have brought it, however the machine is loaded at this moment.
    ptyUs_ = std::min<uint64_t>(*std::min_element(samples.begin(), samples.end()), 100);
}

void SimSensor::WithModel(const std::function<void(SensorModel&)>& f) {
    std::lock_guard<std::mutex> lock(modelMutex_);
    f(*model_);
}

SimSensor::Stats SimSensor::GetStats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    Stats s = stats_;
    s.ptyUs = ptyUs_;
    return s;
}

uint64_t SimSensor::ModelNow() {
    if (opt_.frameUs > 0) return modelClock_;
    return kd::TickUs() - startUs_;
}

void SimSensor::Trace(const char* dir, const std::vector<uint8_t>& bytes) {
    if (!trace_) return;
    const uint64_t us = kd::TickUs() - startUs_;
    std::fprintf(trace_, "%llu.%03llu %s %s\n", static_cast<unsigned long long>(us / 1000),
                 static_cast<unsigned long long>(us % 1000), dir, HexBytes(bytes).c_str());
    std::fflush(trace_);
}

void SimSensor::TraceNote(const std::string& text) {
    if (!trace_) return;
    const uint64_t us = kd::TickUs() - startUs_;
    std::fprintf(trace_, "%llu.%03llu NOTE %s\n", static_cast<unsigned long long>(us / 1000),
                 static_cast<unsigned long long>(us % 1000), text.c_str());
    std::fflush(trace_);
}

bool SimSensor::WaitUntil(uint64_t tickUs) {
    // Sleeps most of the way; with spinUs, spins the last stretch, because a
    // sleep ends tens of microseconds late, as long as a few bytes take on
    // the wire at 2 Mbit/s.
    const uint64_t spinUs = opt_.spinUs;
    while (!stop_) {
        const uint64_t now = kd::TickUs();
        if (now >= tickUs) return true;
        const uint64_t left = tickUs - now;
        if (left > 20000) {
            pollfd p{wake_[0], POLLIN, 0};  // long waits watch the stop request
            poll(&p, 1, 10);
        } else if (left > spinUs) {
            kd::SleepUs(static_cast<unsigned>(left - spinUs));
            if (spinUs == 0) return !stop_;
        }
    }
    return false;
}

uint32_t SimSensor::LineBaud() {
    if (opt_.baud > 0) return opt_.baud;
    // The program sets its rate when it opens the port; looking again ten
    // times a second follows a change soon enough.
    const uint64_t now = kd::TickUs();
    if (lineBaud_ == 0 || now - lineBaudAt_ > 100000) {
        const uint32_t rate = PortRate(master_);
        lineBaud_ = rate > 0 ? rate : 2000000;
        lineBaudAt_ = now;
    }
    return lineBaud_;
}

bool SimSensor::WriteOut(const std::vector<uint8_t>& bytes, uint64_t startUs, uint64_t dueUs) {
    // Paced: every byte takes 10 bit times from startUs on, and a chunk
    // (chunkUs of bytes, as a USB serial adapter hands them on; the whole
    // reply for 0) leaves when its last byte would have finished on the wire.
    // The lateness is that of the last byte against a reply started at dueUs.
    const double byteUs = opt_.pace ? 10.0e6 / LineBaud() : 0.0;
    const size_t chunk = opt_.pace && opt_.chunkUs > 0
                             ? std::max<size_t>(1, static_cast<size_t>(opt_.chunkUs / byteUs))
                             : bytes.size();
    size_t sent = 0;
    while (sent < bytes.size() && !stop_) {
        const size_t n = std::min(chunk, bytes.size() - sent);
        if (opt_.pace) {
            const uint64_t due =
                UsbDelivery(startUs + static_cast<uint64_t>((sent + n) * byteUs));
            if (!WaitUntil(due > ptyUs_ ? due - ptyUs_ : 0)) return false;
            if (sent + n == bytes.size())
                NoteLateness(kd::TickUs() + ptyUs_,
                             UsbDelivery(dueUs + static_cast<uint64_t>(bytes.size() * byteUs)));
        }
        size_t done = 0;
        while (done < n) {
            const ssize_t w = write(master_, bytes.data() + sent + done, n - done);
            if (w > 0) {
                done += static_cast<size_t>(w);
            } else if (w < 0 && errno == EAGAIN) {
                pollfd p[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
                poll(p, 2, 10);
                if (stop_) return false;
            } else if (w < 0 && errno == EINTR) {
                continue;
            } else {
                return false;  // the program closed its side: the reply is lost
            }
        }
        sent += n;
    }
    return sent == bytes.size();
}

uint64_t SimSensor::UsbDelivery(uint64_t wireDoneUs) const {
    // The adapter's frames run on a fixed grid from the sensor's start; a
    // piece complete on the wire leaves with the next frame (or this one, when
    // it ends exactly on its edge).
    const uint64_t frame = opt_.usbFrameUs;
    if (frame == 0 || wireDoneUs <= startUs_) return wireDoneUs;
    return startUs_ + (wireDoneUs - startUs_ + frame - 1) / frame * frame;
}

void SimSensor::NoteLateness(uint64_t deliveredUs, uint64_t dueUs) {
    const uint64_t late = deliveredUs > dueUs ? deliveredUs - dueUs : 0;
    std::lock_guard<std::mutex> lock(statsMutex_);
    ++stats_.lateCount;
    stats_.lateSumUs += late;
    stats_.lateMaxUs = std::max(stats_.lateMaxUs, late);
    ++stats_.lateHist[std::min<size_t>(late / 10, stats_.lateHist.size() - 1)];
}

void SimSensor::HandleFrame(const ScanEvent& ev, uint64_t firstByteUs) {
    Trace("IN", ev.raw);
    if (opt_.frameUs > 0) modelClock_ += opt_.frameUs;
    std::vector<uint8_t> reply;
    if (ev.kind == ScanEvent::Kind::BadBcc) {
        reply = BuildErrorReply(kErrBcc);
    } else {
        std::lock_guard<std::mutex> lock(modelMutex_);
        reply = model_->Handle(ev.command, ev.payload, ModelNow());
    }
    {
        std::lock_guard<std::mutex> lock(statsMutex_);
        ++stats_.requests;
    }
    const FaultPlan plan = faults_.Any() ? PlanFaults(faults_, rng_, reply.size()) : FaultPlan{};
    if (plan.drop) {
        TraceNote("drop reply");
        return;
    }
    // A sensor on a real line starts its reply once the request has crossed
    // the line (its first byte left the program about ptyUs_ before we saw
    // it) and the latency has passed. This one cannot start before it has
    // worked the reply out; when it is later than that, the reply is late,
    // and the lateness counts it (it is the sensor's, not the program's).
    uint64_t due = kd::TickUs();
    if (opt_.pace) {
        uint64_t sent = firstByteUs > ptyUs_ ? firstByteUs - ptyUs_ : 0;
        // The rig's word counts when it is about this request: later than the
        // last one taken and not after this one was seen.
        const uint64_t written = requestWrittenUs_;
        if (written > lastFrameUs_ && written <= firstByteUs) sent = written;
        lastFrameUs_ = firstByteUs;
        due = sent + static_cast<uint64_t>(ev.raw.size() * 10.0e6 / LineBaud());
    }
    due += opt_.latencyUs + uint64_t{plan.lateMs} * 1000;
    if (plan.lateMs) TraceNote("late reply " + std::to_string(plan.lateMs) + " ms");
    if (!opt_.pace && !WaitUntil(due)) return;
    const auto out = ApplyFaults(plan, reply);
    if (!plan.noise.empty()) TraceNote("noise before reply");
    if (plan.corrupt) TraceNote("corrupt check byte");
    if (plan.cutAt) TraceNote("reply cut short");
    if (WriteOut(out, std::max(due, kd::TickUs()), due)) {
        Trace("OUT", out);
        std::lock_guard<std::mutex> lock(statsMutex_);
        ++stats_.replies;
    } else {
        TraceNote("reply not delivered");
    }
}

void SimSensor::Serve() {
    pthread_setname_np(pthread_self(), "kdsim");
    prctl(PR_SET_TIMERSLACK, 1UL);  // pacing needs sleeps that end when asked
    RequestScanner scanner;
    std::vector<uint8_t> buf(4096);
    uint64_t firstByteUs = 0;
    uint64_t lastByteUs = 0;
    while (!stop_) {
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = poll(p, 2, kIdlePollMs);
        if (stop_) break;
        if (r < 0 && errno != EINTR) break;
        if (opt_.frameUs == 0) {
            std::lock_guard<std::mutex> lock(modelMutex_);
            model_->Advance(ModelNow());
        }
        if (r <= 0) {
            ScanEvent junk;
            if (scanner.Held() && kd::TickUs() - lastByteUs > kPartialFrameUs &&
                scanner.FlushPartial(junk)) {
                Trace("JUNK", junk.raw);
            }
            continue;
        }
        if ((p[0].revents & POLLHUP) && !(p[0].revents & POLLIN)) {
            // Nobody has the port open: wait for the next connection.
            kd::SleepMs(2);
            continue;
        }
        if (!(p[0].revents & POLLIN)) continue;
        const ssize_t n = read(master_, buf.data(), buf.size());
        if (n <= 0) {
            if (n < 0 && errno == EIO) kd::SleepMs(2);  // the program side just closed
            continue;
        }
        const uint64_t now = kd::TickUs();
        if (scanner.Held() == 0) firstByteUs = now;
        lastByteUs = now;
        scanner.Feed(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
        ScanEvent ev;
        while (!stop_ && scanner.Next(ev)) {
            if (ev.kind == ScanEvent::Kind::Junk || ev.kind == ScanEvent::Kind::BadFrame) {
                Trace("JUNK", ev.raw);
                std::lock_guard<std::mutex> lock(statsMutex_);
                stats_.junkBytes += ev.raw.size();
                continue;
            }
            HandleFrame(ev, firstByteUs);
            firstByteUs = kd::TickUs();
        }
    }
}

}  // namespace kdsim
