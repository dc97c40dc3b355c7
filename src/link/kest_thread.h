#pragma once
// TKestThread: the single owner of the sensor link. Synchronous operations run
// on the caller's thread; the long tasks (image, image pair, adaptive live
// view, profile polling) run on the worker's own thread. One mutex guards the
// port for every transaction; block transfers take it per block, so a command
// from the user-interface thread is served between two blocks of a task.
//
// Callbacks and the worker's log lines reach the user-interface thread through
// the injected dispatcher; the worker waits until they have run. Once the
// destructor has begun, a hand-over that has not started is abandoned (the
// closure never runs) and log lines are written directly, so the program ends
// at once even when its event loop has already stopped. Task results and
// LastError are read inside OnDone or after Task has returned to 0.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "common/dispatcher.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "link/kest_com.h"

namespace kd {

// A plain pixel buffer: 1 byte per pixel (grey) or 3 (blue, green, red), rows
// top to bottom without padding. The user interface converts it for display.
struct TBitmap {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 1;
    std::vector<uint8_t> pixels;
    uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width * bytesPerPixel; }
};

enum TaskCode : uint8_t {
    kTaskIdle = 0,
    kTaskImage = 1,
    kTaskImagePair = 2,
    kTaskLiveView = 4,
    kTaskProfiles = 5,
};

constexpr int kProfileBufferWords = 4096;  // 8192 bytes
constexpr int kMaxImageWidth = 4048;       // a thumbnail row must fit one normal read
constexpr int kMaxImageHeight = 4096;
constexpr int kImageProfileLimit = 1022;  // point limit of the image tasks' profile
constexpr int kFetchProfileLimit = 1024;  // point limit of FetchProfile / FetchMasterProfile
constexpr int kWideBlockWords = 1012;
constexpr int kNormalBlockWords = 253;
constexpr int kFailureLimit = 5;  // consecutive failed runs before a task is dropped
constexpr int kEpmWriteTries = 10;

// The port lock. Fair (first come, first served), so that a command from the
// user-interface thread is served between two blocks of a running task even
// though the worker takes the lock again right after each block.
class TicketLock {
  public:
    void lock();
    void unlock();
    // Waits at most ms for the turn; a ticket given up is passed over.
    bool try_lock_for(std::chrono::milliseconds ms);

  private:
    std::mutex mutex_;
    std::condition_variable turn_;
    uint64_t next_ = 0;
    uint64_t serving_ = 0;
    std::vector<uint64_t> abandoned_;
};

// Timing of a live query (the polling tick, the profile poll, probes of a
// silent sensor): a silent sensor must cost a few frame times, not seconds.
struct TQueryTiming {
    int Attempts = 3;
    int TimeoutMs = -1;   // longest silence tolerated per attempt; -1: the port's own
    int LockWaitMs = -1;  // longest wait for the port; -1 for as long as it takes
};

// Level above which about 2 % of the thumbnail's pixels lie, kept to 10..200:
// the adaptive image reads full resolution only around brighter blocks.
int AdaptiveThreshold(std::span<const uint8_t> thumbnail);

class TKestThread {
  public:
    using Callback = std::function<void()>;

    explicit TKestThread(Dispatcher dispatcher = DirectDispatcher());
    ~TKestThread();
    TKestThread(const TKestThread&) = delete;
    TKestThread& operator=(const TKestThread&) = delete;

    // --- connection
    // Throws EKestError "serial port cannot open '<name>'; <reason>" when the
    // port cannot be opened (the reason names the fix where there is one).
    void Connect();
    void Disconnect();
    void ForceDisconnect();
    void SetBaud(int baud);
    bool IsOpen();

    // --- synchronous commands (each holds the lock for the whole transaction)
    // Returns the reply frame length; failures raise the communication exceptions.
    int Command(uint16_t code, const void* payload, int payloadBytes, void* reply,
                int replyCapacity);
    int Command(uint16_t code, std::span<const uint8_t> payload = {});
    // Sends a command and returns the whole reply payload.
    std::vector<uint8_t> CommandReply(uint16_t code, std::span<const uint8_t> payload = {});
    // The same with the timing of a live query; throws ELinkBusy when the
    // port could not be had within timing.LockWaitMs.
    std::vector<uint8_t> CommandReply(uint16_t code, std::span<const uint8_t> payload,
                                      const TQueryTiming& timing);
    // Live-query timing at the port's rate: a few frame times, at least 50 ms.
    TQueryTiming QueryTiming(int attempts) const;
    void CommandValue(uint16_t code);
    int CommandWord(uint16_t code, uint16_t word);
    // A transaction under the lock that raises nothing: the result code.
    int Transact(uint16_t code, const void* payload, int payloadBytes, void* reply,
                 int replyCapacity);

    // Host-order words to and from sensor memory; see ModeConvert for the mode.
    void MemRead(void* buffer, uint32_t address, uint16_t mode, int words);
    void MemWrite(const void* buffer, uint32_t address, uint16_t mode, int words);
    void EpmWrite(int bank);

    void SetCamRect(const CamRect& rect);
    CamRect GetCamRect();
    // Orders and clamps the edges, logs and sends them; returns what was sent.
    AreaRect SetAreaRect(int channel, int xa, int ya, int xb, int yb);

    // Master record at address into buffer (words): the point count, 0 for no master.
    int FetchMasterProfile(uint32_t address, std::span<uint16_t> buffer);
    // Live or stored profile at address, decimated by step: the point count / step.
    int FetchProfile(uint32_t address, std::span<uint16_t> buffer, int step);

    // --- task requests (user-interface thread)
    void RequestImage(int height, int width, Callback onDone);
    void RequestImagePair(int height, int width, Callback onDone);
    void RequestLiveView(int height, int width, Callback onDone, Callback onError);
    void RequestProfiles(Callback onDone);
    void StartProfiles(Callback onDone);

    // Opens the port at path, asks code once with the timing of a live query
    // and closes it again, all under the lock, without a log line and without
    // OnConnectChange: whether a sensor answers there (a reply, or the
    // sensor's own error reply). False also when the port is open already or
    // cannot be opened.
    bool ProbePort(const std::string& path, uint16_t code);

    // Frame trace of every frame in and out (empty to switch it off).
    void SetTrace(FrameTrace trace);
    // True once the device has gone; every transaction fails at once until
    // the port is closed.
    bool PortLost() const { return port_.lost.load(); }
    // errno of the last open that failed (see SerialOpenError); 0 after a success.
    int OpenError() const { return openError_.load(); }
    // The device path of the open port (empty while closed).
    std::string DevicePath();
    // The port record; hold Lock() while touching it when the worker may run.
    KestCom& Port() { return port_; }
    std::unique_lock<TicketLock> Lock() { return std::unique_lock<TicketLock>(lock_); }

    // --- state (names as the rest of the program knows them)
    std::atomic<uint8_t> Task{kTaskIdle};
    std::atomic<bool> AbortRequested{false};
    std::atomic<int> Progress{0};
    int ConnectCount = 0;
    std::atomic<int> TimeLimit{1000};
    std::atomic<int> BaudRate{kDefaultBaud};  // the port's rate, for QueryTiming
    std::atomic<uint32_t> TaskStart{0};
    std::string LastError;
    std::string PortName;
    int LastResult = 0;
    int ImageNumber = 0;
    int ImageAddress = 0;
    int ProfileCount = 0;
    int SecondCount = 0;
    int64_t LastProfileAddress = -1;
    uint32_t LastProgressTick = 0;
    std::atomic<bool> WideTransfers{false};
    bool VerifyCamRect = false;  // GET_CAM_RECT after SET_CAM_RECT, logged "verify(...)"

    // Time limits of the task runs, in ms (tests shorten them).
    int ImageTimeLimit = 200000;
    int ImagePairTimeLimit = 400000;
    int LiveViewTimeLimit = 200000;
    int DefaultTimeLimit = 1000;

    Callback OnConnectChange;
    Callback OnProgress;
    Callback OnBandDone;
    Callback OnDone;
    Callback OnError;
    Callback OnRestoreCursor;  // the default mouse cursor after a logged task error

    // Results of the tasks; read them inside OnDone (the worker waits meanwhile).
    TBitmap Image;
    std::array<uint16_t, kProfileBufferWords> ProfileBuffer{};
    std::array<uint16_t, kProfileBufferWords> SecondBuffer{};
    int ConsecutiveFailures() const { return failures_; }

  private:
    void Execute();
    void RunTask(uint8_t task, bool& done);
    void CheckAbort();
    void Dispatch(const Callback& fn);
    // Raises the exception for a transaction result that is not a success.
    void RaiseResult(uint16_t code, int result);
    // ComTransact with the timing given; the caller holds the lock.
    int TransactTimed(const TQueryTiming& timing, uint16_t code, const void* payload,
                      int payloadBytes, void* reply, int replyCapacity);
    // Runs fn on the user-interface thread and waits for it; false when it
    // was abandoned because the worker is being terminated.
    bool HandOver(const std::function<void()>& fn);
    void LogFromWorker(int attribute, const std::string& line);
    void PrepareImage(int height, int width, int bytesPerPixel);
    void RefuseWhenBusy();
    // Stores the task code (last, after its arguments) and wakes the worker.
    void SetTask(uint8_t task);

    // One block read under the lock: raw wire bytes of `words` words into out.
    int ReadBlock(uint32_t address, uint16_t mode, int words, bool wide, uint8_t* out);
    // Chooses the block size of a bulk read: words and whether wide.
    static void NextBlock(int remaining, bool wideAllowed, int elemWords, int normalMax, int& words,
                          bool& wide);

    uint32_t QueryAddress(uint16_t code, const void* payload, int payloadBytes, int minResult,
                          const char* errorPrefix);
    void FetchImageTask();
    void FetchImagePairTask();
    void LiveViewStep();
    bool PollProfileTask();
    void ReadProfilePair(uint32_t address);
    void FillBitmap(uint32_t address, int mask);
    void FetchAdaptiveImage(uint32_t address);
    void ReportProgress(bool force);

    Dispatcher dispatcher_;
    KestCom port_;
    TicketLock lock_;
    std::atomic<bool> terminated_{false};
    // An idle worker sleeps here until a task or the end is requested.
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::atomic<int> openError_{0};
    std::atomic<bool> open_{false};
    std::mutex requestLock_;  // hands a new profile consumer to running polling
    Callback pendingDone_;
    bool pendingDoneSet_ = false;
    int failures_ = 0;
    int imageHeight_ = 0, imageWidth_ = 0;
    std::thread thread_;
};

}  // namespace kd
