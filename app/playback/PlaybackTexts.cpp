#include "app/playback/PlaybackTexts.h"

#include <cstdio>

#include "stream/playback/PlaybackSpeed.h"

namespace vistrel::app {

namespace {

constexpr std::size_t kTimeTextLength = 8;  // "hh:mm:ss"

}  // namespace

int PlaybackSpeedCode(int item) {
    // In the order of the speed list's items.
    static constexpr int kCodes[] = {
        playback::kSpeedFull, playback::kSpeed1X,      playback::kSpeed2X,     playback::kSpeed4X,
        playback::kSpeedHalf, playback::kSpeedQuarter, playback::kSpeedEighth,
    };
    if (item < 0 || item >= int(std::size(kCodes))) return playback::kSpeed1X;
    return kCodes[item];
}

std::string PlaybackTimeText(int hour, int positionMs) {
    const int seconds = positionMs / 1000;
    const int minutes = positionMs / 60000;
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minutes, seconds - minutes * 60);
    std::string result(text);
    if (result.size() > kTimeTextLength) result.resize(kTimeTextLength);
    return result;
}

int StatusIconForReport(int reportKind) {
    switch (reportKind) {
        case playback::kProgressStreamEnd: return kStatusStopped;
        case playback::kProgressPlayEnd: return kStatusPaused;
        case playback::kProgressFirstData: return kStatusWaiting;
        default: return kStatusNoChange;
    }
}

}  // namespace vistrel::app
