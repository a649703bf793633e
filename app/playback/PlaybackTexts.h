#pragma once
// What the playback bar shows and passes on: speed list items to player speed codes, the running
// time text, and the status icon a player report calls for.

#include <string>

namespace vistrel::app {

// Status icon kinds of the playback bar.
inline constexpr int kStatusNoChange = 0;
inline constexpr int kStatusPlaying = 1;
inline constexpr int kStatusStopped = 3;
inline constexpr int kStatusWaiting = 4;
inline constexpr int kStatusPaused = 5;

// Speed list item (0 "Full", 1 "1X", 2 "2X", 3 "4X", 4 "(1/2)X", 5 "(1/4)X", 6 "(1/8)X") to the
// player's speed code; no selection (-1) or any other item plays at 1X.
int PlaybackSpeedCode(int item);

// "%02d:%02d:%02d" of the hour, positionMs / 60000 and the seconds within that minute, cut to
// 8 characters: the position counts from the start of the hour shown in the time edit.
std::string PlaybackTimeText(int hour, int positionMs);

// The status icon kind a player report calls for: stream end 3 -> stopped (3), play end 4 ->
// paused (5), first data 20 -> waiting (4); any other kind changes nothing (kStatusNoChange).
int StatusIconForReport(int reportKind);

}  // namespace vistrel::app
