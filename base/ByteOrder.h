#pragma once
// Little-endian 16- and 32-bit fields, as the DVR's records, frame lengths and bitmap headers
// carry them, read and written byte by byte so that neither the machine's byte order nor the
// alignment of the field matters. The caller guarantees 2 or 4 readable (or writable) bytes.

#include <cstdint>

namespace vistrel::base {

inline std::uint16_t Le16(const std::uint8_t* p) {
    return std::uint16_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8);
}

inline std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Only the low 16 bits of `v` are written.
inline void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

}  // namespace vistrel::base
