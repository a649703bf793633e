#pragma once
// A worker thread that is created suspended, resumed, stopped through a flag and waited for
// with a time limit; one that misses its limit is reported and detached, never killed.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vistrel::platform {

// What the worker sees of its owner: the stop flag, and a sleep that ends early on stop.
// Lives as long as the thread itself, even when the owner has detached it.
class StopSignal {
public:
    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Sleeps up to `ms`; true (at once) when a stop is or becomes requested.
    bool waitForStop(std::uint32_t ms) const;

private:
    friend class WorkerThread;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // The three fields below are guarded by mutex_.
    bool resumed_ = false;
    bool cancelled_ = false;  // stopped before it was ever resumed: the entry never runs
    bool finished_ = false;
};

class WorkerThread {
public:
    // The entry runs on the new thread. An exception leaving it is caught and dropped there.
    using Entry = std::function<void(const StopSignal& stop)>;

    enum class StopResult {
        NotRunning,  // never created, or already stopped
        Stopped,     // the thread ended within the limit and was joined
        Detached,    // the limit passed; reported on stderr and left to finish on its own
    };

    // Time the destructor grants a thread still running.
    static constexpr std::uint32_t kDestructorStopLimitMs = 2000;

    explicit WorkerThread(std::string name = "worker");
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread suspended: the entry runs only after resume(). False when a thread
    // exists already or none could be created.
    bool create(Entry entry);
    // False when there is no suspended thread.
    bool resume();
    void requestStop();
    // Raises the stop flag, wakes the worker, and waits up to `limitMs` for it to end.
    // Whatever the entry captured must outlive a Detached thread; capture shared state.
    // Called by the worker itself: raises the flag and detaches without waiting.
    StopResult stop(std::uint32_t limitMs);

    bool exists() const { return thread_.joinable(); }
    bool stopRequested() const;

    // Threads detached by stop() in this process, for diagnostics and tests.
    static unsigned detachedCount();

private:
    const std::string name_;
    // Owned by the thread that calls create/resume/stop (the owner); the worker only reads
    // signal_ through its own shared_ptr copy.
    std::thread thread_;
    std::shared_ptr<StopSignal> signal_;
};

}  // namespace vistrel::platform
