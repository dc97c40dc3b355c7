#pragma once
// A scripted peer on a real pseudo-terminal: it plays the sensor's side of the
// link for the tests and the benchmark. It has its own small frame code so a
// mistake in the program's frame code is not mirrored here.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kdtest {

using Bytes = std::vector<uint8_t>;

struct Request {
    uint16_t code = 0;
    Bytes payload;
};

class PtyPeer {
  public:
    // Called on the peer's thread for every complete, well-formed request.
    using Handler = std::function<void(PtyPeer&, const Request&)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& Path() const { return path_; }
    void SetHandler(Handler handler);

    // Writes bytes to the program (paced when pacing is on).
    void Send(const Bytes& bytes);
    // Writes bytes in pieces with a pause between them.
    void SendPieces(const Bytes& bytes, size_t pieceSize, int gapMs);
    // Pace replies like a serial line at baud (10 bits per byte) with a latency
    // after the whole request has crossed the line. 0 switches pacing off.
    void SetPacing(int baud, int latencyUs);
    // Runs the peer's thread at real-time priority where allowed, so that the
    // simulated line keeps its timing on a busy machine (benchmarks only).
    // Returns whether it was granted.
    bool SetRealtime();

    std::vector<Request> Requests();
    int CountOf(uint16_t code);
    uint64_t BytesReceived() const { return bytesIn_; }
    uint64_t BytesSent() const { return bytesOut_; }
    void ResetCounters();

    // Frames as the sensor sends them.
    static Bytes Frame(uint16_t code, const Bytes& payload);
    static Bytes WideFrame(const Bytes& payload);  // reply to 0x001A
    static Bytes ErrorFrame(uint16_t code) { return Frame(code, {}); }

  private:
    void Loop();
    void WriteAll(const uint8_t* data, size_t size);

    int master_ = -1;
    int slaveKeep_ = -1;
    std::string path_;
    std::mutex mutex_;
    Handler handler_;
    std::vector<Request> requests_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> bytesIn_{0}, bytesOut_{0};
    std::atomic<int> baud_{0}, latencyUs_{0};
    std::atomic<uint64_t> requestDoneUs_{0};  // when the last request finished crossing the line
    std::thread thread_;
};

// A sensor memory of 16-bit words that answers MEM_READ, MEM_READ_WIDE and
// MEM_WRITE; everything else goes to the other handler (or gets an empty
// reply). The test's thread and the peer's thread both use it, so the memory
// and the handler are behind a lock.
class MemorySensor {
  public:
    explicit MemorySensor(size_t words = size_t{1} << 22) : mem_(words, 0) {}
    std::atomic<bool> refuseWide{false};  // answer wide reads with ERR_CMD
    std::atomic<int> wideReads{0}, normalReads{0};

    void Handle(PtyPeer& peer, const Request& req);
    void SetOther(PtyPeer::Handler other);
    uint16_t At(uint32_t address) const;
    void Put(uint32_t address, uint16_t value);
    size_t Size() const { return mem_.size(); }

  private:
    mutable std::mutex mutex_;
    std::vector<uint16_t> mem_;
    PtyPeer::Handler other_;
};

// A function that one thread sets and another calls: set and read under a lock.
template <class Sig>
class SharedFn {
  public:
    SharedFn& operator=(std::function<Sig> f) {
        std::lock_guard<std::mutex> g(mutex_);
        fn_ = std::move(f);
        return *this;
    }
    std::function<Sig> Get() const {
        std::lock_guard<std::mutex> g(mutex_);
        return fn_;
    }
    explicit operator bool() const { return static_cast<bool>(Get()); }
    template <class... A>
    auto operator()(A&&... a) const {
        return Get()(std::forward<A>(a)...);
    }

  private:
    mutable std::mutex mutex_;
    std::function<Sig> fn_;
};

uint64_t NowUs();

}  // namespace kdtest
