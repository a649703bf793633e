#pragma once
// The statistics overlay's lines, from two readings of a live session's counters taken a known
// time apart: coding, picture size, frame rate, bit rate, damaged frames and reconnects.

#include <cstdint>
#include <string>
#include <vector>

#include "stream/live/LiveStreamSession.h"

namespace vistrel::app {

// The name a coding is shown with.
std::string CodingName(live::StreamCoding coding);

// Rates over `elapsedMs` (none when it is 0 or a counter went backwards, as after a new session).
std::vector<std::string> StatsLines(const live::LiveSessionStats& earlier, const live::LiveSessionStats& now,
                                    std::uint32_t elapsedMs);

}  // namespace vistrel::app
