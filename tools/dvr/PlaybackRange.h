#pragma once
// The time range of a playback request: four packed 32-bit words (date word: day, month, year;
// time word: second, minute, hour, 0) sent as hexadecimal, decoded and checked.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vistrel::dvr {

struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct PlaybackRange {
    CivilTime start;
    CivilTime end;
    std::int64_t startSeconds = 0;  // seconds since 1970-01-01 00:00 of the civil time (no zone)
    std::int64_t endSeconds = 0;    // inclusive
};

// The longest range answered; longer requests are cut to it.
constexpr std::int64_t kMaxPlaybackRangeSeconds = 24 * 3600;

std::uint32_t packDateWord(int year, int month, int day);
std::uint32_t packTimeWord(int hour, int minute, int second);

// Decodes a date word and a time word. Empty when a field is out of its range or the date does
// not exist.
std::optional<CivilTime> unpackTime(std::uint32_t dateWord, std::uint32_t timeWord);

std::int64_t daysFromCivil(int year, int month, int day);
std::int64_t toSeconds(const CivilTime& t);

// Reads func=read, video_source, startH, startL, endH and endL from a decoded query. On failure
// returns empty with the reason in `error`.
std::optional<PlaybackRange> parsePlaybackQuery(const std::vector<std::pair<std::string, std::string>>& query,
                                                std::string* error);

}  // namespace vistrel::dvr
