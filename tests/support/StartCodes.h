#pragma once
// Where the 00 00 01 start-code prefixes of an MPEG-4 or H.263 elementary stream are, for tests
// that cut a stream into units, damage it or count its pictures.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::testsupport {

// Offsets of every 00 00 01 prefix that has at least one byte after it (the start code's value).
std::vector<std::size_t> StartCodeOffsets(const std::uint8_t* data, std::size_t size);
inline std::vector<std::size_t> StartCodeOffsets(const std::vector<std::uint8_t>& data) {
    return StartCodeOffsets(data.data(), data.size());
}

}  // namespace vistrel::testsupport
