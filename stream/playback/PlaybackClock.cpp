#include "stream/playback/PlaybackClock.h"

#include "platform/Tick.h"

namespace vistrel::playback {

namespace {

class SystemClock final : public PlaybackClock {
public:
    std::uint32_t Now() override { return platform::tickCount(); }
    void Sleep(std::uint32_t milliseconds) override { platform::sleepMs(milliseconds); }
};

}  // namespace

PlaybackClock& SystemPlaybackClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace vistrel::playback
