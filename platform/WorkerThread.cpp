#include "platform/WorkerThread.h"

#include <chrono>
#include <cstdio>
#include <system_error>

namespace vistrel::platform {

namespace {
std::atomic<unsigned> detachedThreads{0};
}

bool StopSignal::waitForStop(std::uint32_t ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested(); });
}

WorkerThread::WorkerThread(std::string name) : name_(std::move(name)) {}

WorkerThread::~WorkerThread() {
    if (exists()) stop(kDestructorStopLimitMs);
}

bool WorkerThread::create(Entry entry) {
    if (exists() || !entry) return false;
    auto signal = std::make_shared<StopSignal>();
    try {
        thread_ = std::thread([signal, body = std::move(entry)]() {
            bool run = false;
            {
                std::unique_lock<std::mutex> lock(signal->mutex_);
                signal->changed_.wait(lock, [&] { return signal->resumed_ || signal->cancelled_; });
                run = !signal->cancelled_;
            }
            if (run) {
                try {
                    body(*signal);
                } catch (...) {
                    // Nothing may leave a thread's entry; the owner learns of the end below.
                }
            }
            {
                std::lock_guard<std::mutex> guard(signal->mutex_);
                signal->finished_ = true;
            }
            signal->changed_.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    signal_ = std::move(signal);
    return true;
}

bool WorkerThread::resume() {
    if (!exists()) return false;
    {
        std::lock_guard<std::mutex> guard(signal_->mutex_);
        if (signal_->resumed_ || signal_->cancelled_) return false;
        signal_->resumed_ = true;
    }
    signal_->changed_.notify_all();
    return true;
}

void WorkerThread::requestStop() {
    if (!signal_) return;
    {
        // Under the mutex so that a waitForStop between its check and its sleep cannot miss it.
        std::lock_guard<std::mutex> guard(signal_->mutex_);
        signal_->stop_.store(true, std::memory_order_release);
    }
    signal_->changed_.notify_all();
}

bool WorkerThread::stopRequested() const { return signal_ && signal_->stopRequested(); }

WorkerThread::StopResult WorkerThread::stop(std::uint32_t limitMs) {
    if (!exists()) return StopResult::NotRunning;
    if (std::this_thread::get_id() == thread_.get_id()) {
        // A worker stopping itself cannot wait for its own end: it leaves on the flag.
        requestStop();
        thread_.detach();
        signal_.reset();
        return StopResult::Detached;
    }
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(signal_->mutex_);
        signal_->stop_.store(true, std::memory_order_release);
        if (!signal_->resumed_) signal_->cancelled_ = true;
        signal_->changed_.notify_all();
        finished = signal_->changed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                                              [this] { return signal_->finished_; });
    }
    if (finished) {
        thread_.join();
        signal_.reset();
        return StopResult::Stopped;
    }
    std::fprintf(stderr, "vistrel: thread \"%s\" did not stop within %u ms; left running\n", name_.c_str(),
                 static_cast<unsigned>(limitMs));
    thread_.detach();
    signal_.reset();
    detachedThreads.fetch_add(1, std::memory_order_relaxed);
    return StopResult::Detached;
}

unsigned WorkerThread::detachedCount() { return detachedThreads.load(std::memory_order_relaxed); }

}  // namespace vistrel::platform
