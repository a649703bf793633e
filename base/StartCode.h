#pragma once
// The 00 00 01 prefix that starts every MPEG-4 header and picture: where cutting, framing and
// stream probing look for units.

#include <cstddef>
#include <cstdint>

namespace vistrel::base {

// True when a whole 00 00 01 prefix lies at data[pos] inside data[0, size).
inline bool IsStartCodeAt(const std::uint8_t* data, std::size_t size, std::size_t pos) {
    return pos < size && size - pos >= 3 && data[pos] == 0 && data[pos + 1] == 0 && data[pos + 2] == 1;
}

// Position of the first whole 00 00 01 prefix at or after `from` in data[0, size), or `size`
// when there is none. A prefix cut by the end of the data is not found: its bytes may still
// arrive, and a caller that keeps the unsearched tail finds it next time.
inline std::size_t FindStartCode(const std::uint8_t* data, std::size_t size, std::size_t from = 0) {
    if (size < 3) return size;
    for (std::size_t i = from; i <= size - 3; ++i) {
        if (data[i + 2] > 1) {
            // No prefix can end at or before i + 2: the byte there is neither its 0 nor its 1.
            i += 2;
            continue;
        }
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
    }
    return size;
}

}  // namespace vistrel::base
