// Decoding of the packed playback time words.

#include "tools/dvr/PlaybackRange.h"

#include "tools/dvr/HttpRequest.h"

namespace vistrel::dvr {

std::uint32_t packDateWord(int year, int month, int day) {
    return std::uint32_t(year & 0xFFFF) | std::uint32_t(month & 0xFF) << 16 | std::uint32_t(day & 0xFF) << 24;
}

std::uint32_t packTimeWord(int hour, int minute, int second) {
    return std::uint32_t(hour & 0xFF) << 8 | std::uint32_t(minute & 0xFF) << 16 |
           std::uint32_t(second & 0xFF) << 24;
}

std::int64_t daysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t toSeconds(const CivilTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

namespace {

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<CivilTime> unpackTime(std::uint32_t dateWord, std::uint32_t timeWord) {
    CivilTime t;
    t.year = int(dateWord & 0xFFFF);
    t.month = int((dateWord >> 16) & 0xFF);
    t.day = int(dateWord >> 24);
    t.hour = int((timeWord >> 8) & 0xFF);
    t.minute = int((timeWord >> 16) & 0xFF);
    t.second = int(timeWord >> 24);
    if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month))
        return std::nullopt;
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::optional<PlaybackRange> parsePlaybackQuery(const std::vector<std::pair<std::string, std::string>>& query,
                                                std::string* error) {
    auto fail = [error](const std::string& why) -> std::optional<PlaybackRange> {
        if (error) *error = why;
        return std::nullopt;
    };
    const auto func = queryValue(query, "func");
    if (!func || *func != "read") return fail("func is not read");
    std::uint32_t words[4];
    const char* names[4] = {"startH", "startL", "endH", "endL"};
    for (int i = 0; i < 4; ++i) {
        const auto text = queryValue(query, names[i]);
        if (!text) return fail(std::string("missing ") + names[i]);
        const auto value = parseHex(*text, 0xFFFFFFFFull);
        if (!value) return fail(std::string("bad ") + names[i]);
        words[i] = std::uint32_t(*value);
    }
    const auto start = unpackTime(words[0], words[1]);
    if (!start) return fail("bad start time");
    const auto end = unpackTime(words[2], words[3]);
    if (!end) return fail("bad end time");
    PlaybackRange range;
    range.start = *start;
    range.end = *end;
    range.startSeconds = toSeconds(*start);
    range.endSeconds = toSeconds(*end);
    if (range.endSeconds - range.startSeconds > kMaxPlaybackRangeSeconds)
        range.endSeconds = range.startSeconds + kMaxPlaybackRangeSeconds;
    return range;
}

}  // namespace vistrel::dvr
