#pragma once
// The "dvr_playback.htm" request for one clock hour: start time to minute 59, second 59 of its hour.

#include <cstdint>
#include <string>

namespace vistrel::playback {

struct PlaybackRange {
    std::uint32_t startH = 0, startL = 0, endH = 0, endL = 0;
};

// Packs date and time as the DVR expects; fields are cut to their bit widths as the DVR reads them.
PlaybackRange PackPlaybackRange(int year, int month, int day, int hour, int minute, int second);

// "http://HOST:PORT/dvr_playback.htm?func=read&video_source=FFFF&startH=..&startL=..&endH=..&endL=.."
std::string BuildPlaybackUrl(const std::string& host, const std::string& port, const PlaybackRange& range);

}  // namespace vistrel::playback
