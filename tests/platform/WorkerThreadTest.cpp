// Worker threads: suspended start, stop through the flag, and detaching a thread that overruns.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

#include "platform/Event.h"
#include "platform/Tick.h"
#include "platform/WorkerThread.h"

using namespace vistrel::platform;

namespace {
constexpr std::uint32_t kShortWaitMs = 30;
constexpr std::uint32_t kPatienceMs = 10000;
// Stop limit given to a thread that is meant to miss it.
constexpr std::uint32_t kMissedLimitMs = 20;
}  // namespace

TEST(WorkerThread, EntryRunsOnlyAfterResumeAndStopsOnTheFlag) {
    auto started = std::make_shared<Event>(Event::Reset::Manual);
    auto loops = std::make_shared<std::atomic<int>>(0);
    WorkerThread thread("loop");
    ASSERT_TRUE(thread.create([started, loops](const StopSignal& stop) {
        do {
            ++*loops;
            started->set();
        } while (!stop.waitForStop(5));
    }));
    EXPECT_TRUE(thread.exists());
    EXPECT_FALSE(started->wait(kShortWaitMs));              // still suspended
    EXPECT_FALSE(thread.create([](const StopSignal&) {}));  // one thread per object

    ASSERT_TRUE(thread.resume());
    EXPECT_FALSE(thread.resume());
    ASSERT_TRUE(started->wait(kPatienceMs));
    EXPECT_EQ(thread.stop(kPatienceMs), WorkerThread::StopResult::Stopped);
    EXPECT_FALSE(thread.exists());
    EXPECT_GE(loops->load(), 1);
    EXPECT_EQ(thread.stop(kPatienceMs), WorkerThread::StopResult::NotRunning);
}

TEST(WorkerThread, StoppingANeverResumedThreadNeverRunsItsEntry) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    WorkerThread thread("idle");
    ASSERT_TRUE(thread.create([ran](const StopSignal&) { *ran = true; }));
    EXPECT_EQ(thread.stop(kPatienceMs), WorkerThread::StopResult::Stopped);
    EXPECT_FALSE(ran->load());
    EXPECT_FALSE(thread.resume());
}

TEST(WorkerThread, WaitForStopReturnsEarlyWhenStopIsRequested) {
    auto woke = std::make_shared<Event>(Event::Reset::Manual);
    auto sawStop = std::make_shared<std::atomic<bool>>(false);
    WorkerThread thread("sleeper");
    ASSERT_TRUE(thread.create([woke, sawStop](const StopSignal& stop) {
        *sawStop = stop.waitForStop(kPatienceMs);  // would sleep the whole limit without a stop
        woke->set();
    }));
    thread.resume();
    thread.requestStop();
    EXPECT_TRUE(thread.stopRequested());
    EXPECT_TRUE(woke->wait(kPatienceMs / 2));
    EXPECT_TRUE(sawStop->load());
    EXPECT_EQ(thread.stop(kPatienceMs), WorkerThread::StopResult::Stopped);
}

TEST(WorkerThread, ThreadMissingItsLimitIsDetachedAndFinishesOnItsOwn) {
    auto release = std::make_shared<Event>(Event::Reset::Manual);
    auto finished = std::make_shared<Event>(Event::Reset::Manual);
    const unsigned detachedBefore = WorkerThread::detachedCount();
    {
        WorkerThread thread("stubborn");
        ASSERT_TRUE(thread.create([release, finished](const StopSignal&) {
            release->wait(kPatienceMs);  // deaf to the stop flag
            finished->set();
        }));
        thread.resume();
        EXPECT_EQ(thread.stop(kMissedLimitMs), WorkerThread::StopResult::Detached);
        EXPECT_FALSE(thread.exists());
        EXPECT_EQ(WorkerThread::detachedCount(), detachedBefore + 1);
    }  // the owner is gone; the thread still runs on its own state
    EXPECT_FALSE(finished->isSet());
    release->set();
    EXPECT_TRUE(finished->wait(kPatienceMs));
    sleepMs(kShortWaitMs);  // let the detached thread leave before the process checks for leaks
}

TEST(WorkerThread, ExceptionLeavingTheEntryIsContained) {
    WorkerThread thread("thrower");
    ASSERT_TRUE(thread.create([](const StopSignal&) { throw std::runtime_error("boom"); }));
    thread.resume();
    EXPECT_EQ(thread.stop(kPatienceMs), WorkerThread::StopResult::Stopped);
}

TEST(WorkerThread, DestructorStopsARunningThread) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        WorkerThread thread("scoped");
        ASSERT_TRUE(thread.create([ended](const StopSignal& stop) {
            while (!stop.waitForStop(kPatienceMs)) {
            }
            *ended = true;
        }));
        thread.resume();
    }
    EXPECT_TRUE(ended->load());
}

TEST(WorkerThread, AWorkerStoppingItselfDoesNotWaitForItself) {
    auto owner = std::make_shared<WorkerThread>("self");
    auto result = std::make_shared<std::atomic<int>>(-1);
    auto done = std::make_shared<Event>(Event::Reset::Manual);
    ASSERT_TRUE(owner->create([owner, result, done](const StopSignal& stop) {
        *result = static_cast<int>(owner->stop(kPatienceMs));
        if (stop.stopRequested()) done->set();
    }));
    owner->resume();
    ASSERT_TRUE(done->wait(kPatienceMs));
    EXPECT_EQ(*result, static_cast<int>(WorkerThread::StopResult::Detached));
    EXPECT_FALSE(owner->exists());
    sleepMs(kShortWaitMs);  // let the thread leave before the process checks for leaks
}
