#include "app/views/StreamHealth.h"

#include <algorithm>

#include "platform/Tick.h"

namespace vistrel::app {

HealthSnapshot SnapshotOf(const live::LiveSessionStats& stats) {
    HealthSnapshot s;
    s.started = stats.started;
    s.gaveUp = stats.gaveUp;
    s.restartPending = stats.restartPending;
    s.restartDueTick = stats.restartDueTick;
    s.attempt = stats.failureCount;
    s.framesSinceStart = stats.framesSinceStart;
    s.hasPicture = stats.pictureWidth > 0 && stats.pictureHeight > 0;
    s.lastPictureTick = stats.lastPictureTick;
    s.codingNotDecoded = stats.coding == live::StreamCoding::Jpeg || stats.coding == live::StreamCoding::Xvid ||
                         stats.coding == live::StreamCoding::Vweb;
    return s;
}

HealthReport DescribeHealth(const HealthSnapshot& s, std::uint32_t nowTick, std::uint32_t staleMs) {
    HealthReport r;
    if (!s.started) return r;
    if (s.restartPending) {
        r.state = HealthState::Reconnecting;
        // A due time already passed reads as 0 s rather than as a wrapped-around age.
        const std::uint32_t left = platform::tickReached(nowTick, s.restartDueTick)
                                       ? 0
                                       : platform::ticksBetween(nowTick, s.restartDueTick);
        const std::uint32_t seconds = (left + 999) / 1000;
        const int attempt = std::clamp(s.attempt, 1, live::kMaxLiveFailures);
        r.stateText = "reconnecting in " + std::to_string(seconds) + " s (attempt " + std::to_string(attempt) +
                      " of " + std::to_string(live::kMaxLiveFailures) + ")";
    } else if (s.gaveUp) {
        r.state = HealthState::Lost;
        r.stateText = "stream lost";
        r.offerReconnect = true;
    } else if (s.framesSinceStart == 0 && s.codingNotDecoded) {
        // Connected, but no picture will ever come: "connecting" would promise one.
        r.state = HealthState::Live;
        r.stateText = "coding not decoded";
    } else if (s.framesSinceStart == 0) {
        r.state = HealthState::Connecting;
        r.stateText = "connecting";
    } else {
        r.state = HealthState::Live;
    }
    if (s.hasPicture && platform::tickReached(nowTick, s.lastPictureTick)) {
        const std::uint32_t age = platform::ticksBetween(s.lastPictureTick, nowTick);
        if (age > staleMs) r.pictureAge = "picture " + std::to_string(age / 1000) + " s old";
    }
    return r;
}

}  // namespace vistrel::app
