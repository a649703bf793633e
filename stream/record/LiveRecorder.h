#pragma once
// Records a live stream as it arrives: the response bodies, back to back, in one file (the form
// `vistrel-cli export --from-file` reads). Shared by the command line and the window.
//
// The transport's worker thread hands each block over with OnBlock, which only copies it into a
// bounded queue; a writer thread of the recorder's own does the disk writes. A slow or stalled
// disk therefore never holds up the stream (a direct write could block the worker for seconds on
// a network or removable disk, and with it the live picture). The first failing write, or a queue
// that overflows because the disk cannot keep up, stops the recording with a one-line reason;
// everything written until then stays in the file.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream/record/ByteWriter.h"

namespace vistrel::record {

class LiveRecorder {
public:
    // Bytes waiting for the disk at most: about a minute of a busy live stream.
    static constexpr std::size_t kDefaultQueueLimit = 8u << 20;

    using StoppedCallback = std::function<void(const std::string& reason)>;

    explicit LiveRecorder(std::size_t queueLimit = kDefaultQueueLimit);
    ~LiveRecorder();  // stops as Stop does
    LiveRecorder(const LiveRecorder&) = delete;
    LiveRecorder& operator=(const LiveRecorder&) = delete;

    // Starts recording into a new file. False with the reason (unwritable folder, ...).
    bool Start(const std::string& path, std::string* error);
    // The same into any writer (tests).
    bool Start(std::unique_ptr<ByteWriter> writer);
    // Writes what is queued, closes the file and ends the writer thread. Returns false with the
    // reason when the recording had failed or the file could not be finished.
    bool Stop(std::string* reason = nullptr);

    // From the transport's worker thread: queues a copy of the block. Blocks nothing but a short
    // lock; ignored while not recording.
    void OnBlock(const std::uint8_t* data, std::size_t length);
    // OnBlock as a function to hand to LiveStreamSession::SetBlockObserver (the recorder must
    // outlive the session, or at least its stream).
    std::function<void(const std::uint8_t*, std::size_t)> Observer();

    // Called once, on the writer thread, when a failure stops the recording (not on Stop).
    void SetStoppedCallback(StoppedCallback callback);

    // Readable from any thread.
    bool Recording() const { return recording_.load(); }
    std::uint64_t BytesWritten() const { return written_.load(); }
    std::uint64_t BytesReceived() const { return received_.load(); }
    std::int64_t ElapsedMs() const;
    std::string FailureReason() const;

private:
    void WriterMain();
    void Fail(const std::string& reason);  // caller holds lock_

    const std::size_t queueLimit_;
    std::unique_ptr<ByteWriter> writer_;  // used by the writer thread while it runs

    mutable std::mutex lock_;
    std::condition_variable wake_;                 // data queued or stop asked; guarded by lock_
    std::deque<std::vector<std::uint8_t>> queue_;  // guarded by lock_
    std::size_t queued_ = 0;                       // bytes in queue_; guarded by lock_
    bool stopAsked_ = false;                       // guarded by lock_
    std::string failure_;                          // first failure; guarded by lock_
    StoppedCallback stopped_;                      // guarded by lock_

    std::thread thread_;  // started and joined by the controlling thread
    std::atomic<bool> recording_{false};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::int64_t> startedMs_{0};  // steady clock at Start
    std::atomic<std::int64_t> endedMs_{-1};   // steady clock when recording ended, -1 while it runs
};

}  // namespace vistrel::record
