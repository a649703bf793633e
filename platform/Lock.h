#pragma once
// A mutex with a timed acquire; usable with std::lock_guard and std::unique_lock.

#include <chrono>
#include <cstdint>
#include <mutex>

namespace vistrel::platform {

class Lock {
public:
    Lock() = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }
    // True when the lock was taken within the limit.
    bool tryLock(std::uint32_t timeoutMs) { return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs)); }

private:
    std::timed_mutex mutex_;
};

using LockGuard = std::lock_guard<Lock>;

}  // namespace vistrel::platform
