#pragma once
// Waiting for something another thread does. The deadline is generous because the tests run under
// the sanitizers on a loaded two-core machine: it only bounds a failing test, a passing one returns
// as soon as the condition holds.

#include <chrono>
#include <thread>

namespace vistrel::testsupport {

constexpr std::chrono::milliseconds kDefaultWait{30000};
constexpr std::chrono::milliseconds kDefaultPoll{10};

// Polls `condition` until it holds or `deadline` has passed; true when it held (it is asked once
// more at the deadline, so a condition that came true while the poller slept still counts).
template <typename Condition>
bool WaitFor(Condition&& condition, std::chrono::milliseconds deadline = kDefaultWait,
             std::chrono::milliseconds poll = kDefaultPoll) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(poll);
    }
    return bool(condition());
}

}  // namespace vistrel::testsupport
