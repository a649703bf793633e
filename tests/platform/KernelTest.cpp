// Events, the timed lock and the wrapping tick count.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Lock.h"
#include "platform/Tick.h"

using namespace vistrel::platform;

namespace {
// Short enough to keep the suite fast; every assertion on it is one-sided (never "took less").
constexpr std::uint32_t kShortWaitMs = 30;
// Generous: how long a thread may take to get scheduled on a loaded machine.
constexpr std::uint32_t kPatienceMs = 10000;
}  // namespace

TEST(Event, TimedWaitOnUnsetEventTimesOutAfterTheLimit) {
    Event event(Event::Reset::Manual);
    const std::uint32_t start = tickCount();
    EXPECT_FALSE(event.wait(kShortWaitMs));
    EXPECT_GE(ticksBetween(start, tickCount()), kShortWaitMs - 1);
    EXPECT_FALSE(event.wait(0));
}

TEST(Event, ManualResetWakesEveryWaiterAndStaysSet) {
    Event event(Event::Reset::Manual);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.wait(kPatienceMs)) ++woken;
        });
    event.set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_TRUE(event.isSet());
    EXPECT_TRUE(event.wait(0));
    event.reset();
    EXPECT_FALSE(event.wait(0));
}

TEST(Event, AutoResetReleasesOneWaitPerSet) {
    Event event(Event::Reset::Auto, true);
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0));  // consumed

    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (event.wait(kPatienceMs)) ++woken;
        });
    event.set();
    // Exactly one gets through until the second set.
    while (woken.load() == 0) sleepMs(1);
    sleepMs(kShortWaitMs);
    EXPECT_EQ(woken.load(), 1);
    event.set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_FALSE(event.isSet());
}

TEST(Lock, TimedAcquireFailsWhileHeldAndSucceedsOnceFree) {
    Lock lock;
    Event held(Event::Reset::Manual);
    Event release(Event::Reset::Manual);
    std::thread holder([&] {
        LockGuard guard(lock);
        held.set();
        release.wait(kPatienceMs);
    });
    ASSERT_TRUE(held.wait(kPatienceMs));
    const std::uint32_t start = tickCount();
    EXPECT_FALSE(lock.tryLock(kShortWaitMs));
    EXPECT_GE(ticksBetween(start, tickCount()), kShortWaitMs - 1);
    release.set();
    EXPECT_TRUE(lock.tryLock(kPatienceMs));
    lock.unlock();
    holder.join();
}

TEST(Tick, DifferencesAndDeadlinesSurviveTheWrap) {
    const std::uint32_t beforeWrap = 0xFFFFFFF0u;
    const std::uint32_t afterWrap = 0x00000010u;
    EXPECT_EQ(ticksBetween(beforeWrap, afterWrap), 0x20u);
    EXPECT_TRUE(tickReached(afterWrap, beforeWrap));
    EXPECT_FALSE(tickReached(beforeWrap, afterWrap));
    EXPECT_TRUE(tickReached(afterWrap, afterWrap));
}

TEST(Tick, CountAdvancesAcrossASleep) {
    const std::uint32_t start = tickCount();
    sleepMs(kShortWaitMs);
    EXPECT_GE(ticksBetween(start, tickCount()), kShortWaitMs - 1);
}
