#pragma once
// The millisecond tick count the stream code times itself by, and plain sleeps.

#include <cstdint>

namespace vistrel::platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (about 49.7 days) like the
// system tick count the protocol timings were written against. Compare ticks only through
// ticksBetween / tickReached so that the wrap is harmless.
std::uint32_t tickCount();

// Milliseconds from `earlier` to `later`, correct across one wrap.
constexpr std::uint32_t ticksBetween(std::uint32_t earlier, std::uint32_t later) { return later - earlier; }

// True once `now` is at or past `deadline`, for deadlines less than 2^31 ms away.
constexpr bool tickReached(std::uint32_t now, std::uint32_t deadline) {
    return static_cast<std::int32_t>(now - deadline) >= 0;
}

void sleepMs(std::uint32_t milliseconds);

}  // namespace vistrel::platform
