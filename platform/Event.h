#pragma once
// A waitable event, manual- or auto-reset, with timed waits.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vistrel::platform {

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

class Event {
public:
    enum class Reset { Manual, Auto };

    explicit Event(Reset mode, bool signalled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Manual: wakes every waiter and stays set until reset(). Auto: releases one waiter
    // (or the next one to arrive) and clears itself.
    void set();
    void reset();
    // True when the event was set within the limit (kWaitForever waits without limit).
    bool wait(std::uint32_t timeoutMs = kWaitForever);
    bool isSet() const;

private:
    const Reset mode_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;  // guarded by mutex_
};

}  // namespace vistrel::platform
