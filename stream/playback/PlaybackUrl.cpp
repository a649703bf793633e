#include "stream/playback/PlaybackUrl.h"

#include <cstdio>

namespace vistrel::playback {

namespace {
constexpr std::uint32_t kLastMinute = 59;
constexpr std::uint32_t kLastSecond = 59;
}  // namespace

PlaybackRange PackPlaybackRange(int year, int month, int day, int hour, int minute, int second) {
    PlaybackRange r;
    r.startH = (std::uint32_t(year) & 0xFFFF) | ((std::uint32_t(month) & 0xFF) << 16) |
               ((std::uint32_t(day) & 0xFF) << 24);
    const std::uint32_t hourBits = (std::uint32_t(hour) & 0xFF) << 8;
    r.startL = hourBits | ((std::uint32_t(minute) & 0xFF) << 16) | ((std::uint32_t(second) & 0xFF) << 24);
    r.endH = r.startH;
    r.endL = hourBits | (kLastMinute << 16) | (kLastSecond << 24);
    return r;
}

std::string BuildPlaybackUrl(const std::string& host, const std::string& port, const PlaybackRange& range) {
    char url[512];
    std::snprintf(url, sizeof url,
                  "http://%s:%s/%s?func=read&video_source=FFFF&startH=%lx&startL=%lx&endH=%lx&endL=%lx",
                  host.c_str(), port.c_str(), "dvr_playback.htm", static_cast<unsigned long>(range.startH),
                  static_cast<unsigned long>(range.startL), static_cast<unsigned long>(range.endH),
                  static_cast<unsigned long>(range.endL));
    return url;
}

}  // namespace vistrel::playback
