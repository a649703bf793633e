#pragma once
// A playback clock for the player's tests: sleeping moves the clock instead of waiting, so pacing
// is exact and takes no real time. The short real pause lets the player's other thread run.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "stream/playback/PlaybackClock.h"

namespace vistrel::playback::test {

class VirtualClock final : public PlaybackClock {
public:
    std::uint32_t Now() override { return now_.load(); }
    void Sleep(std::uint32_t ms) override {
        now_ += ms;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }

private:
    std::atomic<std::uint32_t> now_{1000000};
};

}  // namespace vistrel::playback::test
