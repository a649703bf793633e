#include "stream/live/RestartTimer.h"

namespace vistrel::live {

RestartTimer::RestartTimer(std::function<void(std::uint64_t)> fire) : fire_(std::move(fire)) {
    thread_ = std::thread([this] { run(); });
}

RestartTimer::~RestartTimer() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        pending_ = false;
        ++ticket_;
    }
    changed_.notify_all();
    thread_.join();
}

bool RestartTimer::schedule(std::uint32_t delayMs) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (blocked_ || quit_) return false;
        pending_ = true;
        ++ticket_;
        due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
        lastDelayMs_ = delayMs;
    }
    changed_.notify_all();
    return true;
}

void RestartTimer::cancel() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        pending_ = false;
        ++ticket_;
    }
    changed_.notify_all();
}

void RestartTimer::setBlocked(bool blocked) {
    std::lock_guard<std::mutex> guard(lock_);
    blocked_ = blocked;
}

bool RestartTimer::claim(std::uint64_t ticket) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!pending_ || ticket != ticket_ || quit_) return false;
    pending_ = false;
    return true;
}

bool RestartTimer::pending() {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

std::uint32_t RestartTimer::lastDelayMs() {
    std::lock_guard<std::mutex> guard(lock_);
    return lastDelayMs_;
}

void RestartTimer::run() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!quit_) {
        if (!pending_) {
            changed_.wait(guard);
            continue;
        }
        if (std::chrono::steady_clock::now() < due_) {
            changed_.wait_until(guard, due_);
            continue;
        }
        const std::uint64_t ticket = ticket_;
        guard.unlock();
        fire_(ticket);  // takes the owner's lock, then claim()s
        guard.lock();
        // A fire that was refused by claim() leaves pending_ as the newer schedule set it.
        if (ticket == ticket_ && pending_) pending_ = false;
    }
}

}  // namespace vistrel::live
