#pragma once
// Little-endian fields as the DVR's framing, bitmaps and WAV headers store them, read and written
// byte by byte so that neither alignment nor the host's order matters.

#include <cstdint>
#include <vector>

namespace vistrel::testsupport {

inline std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

inline std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

inline void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(v >> shift));
}

}  // namespace vistrel::testsupport
