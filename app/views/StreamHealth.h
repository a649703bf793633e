#pragma once
// What the screen says about a live stream's health, as a pure function of a snapshot of the
// session and the time, so that every text can be checked without waiting for it.

#include <cstdint>
#include <string>

#include "stream/live/LiveStreamSession.h"

namespace vistrel::app {

// A picture older than this is said to be old, so a frozen picture is not taken for a live one.
inline constexpr std::uint32_t kStalePictureMs = 2000;

enum class HealthState {
    Idle,          // not started
    Connecting,    // started, no picture since the latest (re)start yet
    Reconnecting,  // a restart is due
    Lost,          // the session gave up; only a new start helps
    Live,          // pictures arrive
};

struct HealthSnapshot {
    bool started = false;
    bool gaveUp = false;
    bool restartPending = false;
    std::uint32_t restartDueTick = 0;
    int attempt = 0;  // failures since the last good response
    std::uint64_t framesSinceStart = 0;
    bool hasPicture = false;  // a good picture was ever shown
    std::uint32_t lastPictureTick = 0;
    bool codingNotDecoded = false;  // the response's coding is received and dropped (JPEG...)
};

HealthSnapshot SnapshotOf(const live::LiveSessionStats& stats);

struct HealthReport {
    HealthState state = HealthState::Idle;
    // "connecting", "reconnecting in 3 s (attempt 2 of 5)", "stream lost", "coding not decoded";
    // empty when live or idle
    std::string stateText;
    std::string pictureAge;  // "picture 7 s old" once the shown picture is older than the limit; else empty
    bool offerReconnect = false;
    bool healthy() const { return stateText.empty() && pictureAge.empty(); }
};

HealthReport DescribeHealth(const HealthSnapshot& snapshot, std::uint32_t nowTick,
                            std::uint32_t staleMs = kStalePictureMs);

}  // namespace vistrel::app
