#pragma once
// The live session's one pending delayed restart: scheduling replaces it, cancelling drops it,
// and a restart that fires checks under the caller's control lock that it was not cancelled.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vistrel::live {

class RestartTimer {
public:
    // `fire` runs on the timer's own thread; it receives a ticket to pass to claim().
    explicit RestartTimer(std::function<void(std::uint64_t ticket)> fire);
    ~RestartTimer();  // drops the pending restart and ends the timer thread
    RestartTimer(const RestartTimer&) = delete;
    RestartTimer& operator=(const RestartTimer&) = delete;

    // Replaces any pending restart. Refused (false) while blocked.
    bool schedule(std::uint32_t delayMs);
    void cancel();
    // While blocked, schedule() is refused: set by a stop before it cancels, so that a restart
    // scheduled by a callback racing with the stop cannot survive it.
    void setBlocked(bool blocked);
    // Called by `fire` once it holds the owner's lock: true when the restart with this ticket is
    // still the pending one (it is then no longer pending).
    bool claim(std::uint64_t ticket);

    bool pending();
    std::uint32_t lastDelayMs();

private:
    void run();

    std::function<void(std::uint64_t)> fire_;
    std::mutex lock_;
    std::condition_variable changed_;
    // Guarded by lock_.
    bool pending_ = false;
    bool blocked_ = false;
    bool quit_ = false;
    std::uint64_t ticket_ = 0;  // grows with every schedule and cancel
    std::chrono::steady_clock::time_point due_;
    std::uint32_t lastDelayMs_ = 0;
    std::thread thread_;  // started last, after every field it reads
};

}  // namespace vistrel::live
