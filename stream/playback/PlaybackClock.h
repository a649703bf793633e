#pragma once
// The millisecond clock the player paces by; tests give it a virtual one so pacing runs instantly.

#include <cstdint>

namespace vistrel::playback {

class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    // Milliseconds, wrapping at 2^32; differences are taken unsigned.
    virtual std::uint32_t Now() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The platform tick count and real sleeps.
PlaybackClock& SystemPlaybackClock();

}  // namespace vistrel::playback
