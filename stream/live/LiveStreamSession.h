#pragma once
// The live view of one DVR channel: one stream request at a time, its body queued to the consumer
// thread that decodes it, and reconnection with growing delays when the stream breaks.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/DvrProtocol.h"
#include "platform/WindowHandle.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/ByteRing.h"
#include "stream/live/DecoderFactory.h"
#include "stream/live/LiveFrameConsumer.h"
#include "stream/live/RestartTimer.h"

namespace vistrel::live {

constexpr std::size_t kMaxLiveUrlLength = 511;
constexpr std::size_t kMaxLiveUserNameLength = base::kMaxCredentialLength;
constexpr std::size_t kMaxLivePasswordLength = base::kMaxCredentialLength;
// Failures since the last good response beyond which no reconnect is scheduled.
constexpr int kMaxLiveFailures = 5;
// A live stream that delivers no byte for this long is broken: the reconnect rule takes over
// instead of the transport's two-minute read limit (which stays for connecting).
constexpr std::uint32_t kLiveStallMs = 10000;

// Reconnect delays; the defaults are the DVR client's, tests shorten them.
struct LiveSessionTimings {
    // The first reconnect after a Start waits (tick mod 5 + 1) units: 1..5 s by default.
    std::uint32_t randomDelayUnitMs = 1000;
    // Later ones wait failureCount units.
    std::uint32_t failureDelayUnitMs = 5000;
    std::uint32_t consumerStopLimitMs = kConsumerStopLimitMs;
    // Silence of a live body after which the response counts as broken (0: never).
    std::uint32_t stallMs = kLiveStallMs;
    // Send and read limits of each request; its idle limit is stallMs.
    http::StreamRequestLimits requestLimits;
};

// Counters for the command-line client and tests; read at any time.
struct LiveSessionStats {
    std::uint64_t bytesQueued = 0;  // body bytes written to the ring
    std::uint64_t framesDecoded = 0;
    std::uint32_t startsTotal = 0;    // Start calls that opened a request (manual and delayed)
    std::uint32_t restartsFired = 0;  // delayed restarts that ran Start
    std::uint32_t restartsScheduled = 0;
    std::uint32_t lastRestartDelayMs = 0;
    int failureCount = 0;
    bool restartPending = false;
    bool hadValidStream = false;
    // What the session is doing, for the on-screen stream health.
    bool started = false;                // between Start and Stop
    bool gaveUp = false;                 // started, but nothing runs and no restart will come
    std::uint32_t restartDueTick = 0;    // tick count at which the pending restart runs
    std::uint64_t framesSinceStart = 0;  // frames decoded since the latest (re)start
    std::uint64_t framesDamaged = 0;     // frames the decoder refused
    std::uint32_t lastPictureTick = 0;   // tick count of the last good picture (0: none yet)
    int pictureWidth = 0;                // of the last good picture
    int pictureHeight = 0;
    StreamCoding coding = StreamCoding::Unknown;  // of the current response
};

// Called on the transport's worker thread for every body block that was queued; for recording.
using BlockObserver = std::function<void(const std::uint8_t* data, std::size_t length)>;

class LiveStreamSession {
public:
    explicit LiveStreamSession(LiveSessionTimings timings = {}, DecoderFactory factory = MakeLiveDecoder);
    ~LiveStreamSession();  // stops, waits for the threads, deletes the decoder
    LiveStreamSession(const LiveStreamSession&) = delete;
    LiveStreamSession& operator=(const LiveStreamSession&) = delete;

    // Texts for the next Start; longer input is cut (URL 511, user name 127, password 127).
    void SetUrl(const std::string& url);
    void SetUserName(const std::string& userName);
    void SetPassword(const std::string& password);
    // Window given to each decoder created from now on (null: off-screen decoding).
    void SetNotifyWindow(WindowHandle window);
    // Set before Start; called on the worker / consumer thread.
    void SetBlockObserver(BlockObserver observer);
    void SetFrameObserver(FrameObserver observer);

    // (Re)starts the stream with the current texts; cancels a pending restart.
    void Start();
    // Stops the stream; nothing reconnects until the next Start.
    void Stop();
    void SetFullScreen(int on);
    // Runs `use` with the current decoder (null when there is none) under the decoder lock.
    void WithDecoder(const std::function<void(IDecoder*)>& use);

    LiveSessionStats Stats();

private:
    static int onStreamData(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                            const std::atomic<int>* abortFlag);
    int onData(int first, const std::uint8_t* data, std::uint32_t length, const std::atomic<int>* abortFlag);
    int onBreak();
    bool onFirstBlock();
    void startLocked();
    void stopLocked();
    void closeRequestLocked();
    void fireRestart(std::uint64_t ticket);
    bool scheduleRestart(std::uint32_t delayMs);

    const LiveSessionTimings timings_;
    const DecoderFactory factory_;

    // Serialises Start, Stop and the delayed restart; guards the texts and request_ (the
    // worker reaches its request only through http::CurrentStreamRequest()).
    std::mutex controlLock_;
    std::string url_;
    std::string userName_;
    std::string password_;
    std::atomic<WindowHandle> notifyWindow_{nullptr};  // read by the worker when it makes a decoder
    http::StreamRequest* request_ = nullptr;
    BlockObserver blockObserver_;  // set before Start; read by the worker

    // Read by the worker's callback, written by the control side while no worker runs, except
    // stopping_ (raised by Stop while one runs) and the worker's own failure bookkeeping.
    std::atomic<bool> stopping_{false};
    std::atomic<bool> errorPageCheckPending_{false};
    std::atomic<bool> randomizeNextDelay_{true};
    std::atomic<bool> hadValidStream_{false};
    std::atomic<int> failureCount_{0};

    std::atomic<std::uint64_t> bytesQueued_{0};
    std::atomic<std::uint32_t> startsTotal_{0};
    std::atomic<std::uint32_t> restartsFired_{0};
    std::atomic<std::uint32_t> restartsScheduled_{0};
    // Read by Stats(); written under controlLock_ or by the worker as noted.
    std::atomic<bool> started_{false};                         // controlLock_
    std::atomic<bool> gaveUp_{false};                          // controlLock_ and the worker
    std::atomic<std::uint32_t> restartDueTick_{0};             // whoever schedules
    std::atomic<std::uint64_t> framesAtStart_{0};              // controlLock_
    std::atomic<StreamCoding> coding_{StreamCoding::Unknown};  // the worker

    ByteRing ring_;
    LiveFrameConsumer consumer_;
    std::unique_ptr<RestartTimer> restartTimer_;  // made last, ended first
};

}  // namespace vistrel::live
