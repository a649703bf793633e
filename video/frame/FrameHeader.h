#pragma once
// The DVR's live frame header: 14 bytes whose bytes 0, 2, 4, 6 and 12 are fixed markers,
// bytes 1 and 3 the high half of the payload length. Shared by the decoders' frame cutting,
// the playback reader's header insertion, the emulator and the tools.

#include <cstddef>
#include <cstdint>

namespace vistrel::frame {

constexpr std::size_t kFrameHeaderSize = 14;
// MPEG-4 frames carry the length word and two more bytes after the 14-byte header.
constexpr std::size_t kMpeg4FrameHeaderSize = 18;

constexpr std::uint8_t kMarker0 = 0xF6;
constexpr std::uint8_t kMarker2 = 0xFF;
constexpr std::uint8_t kMarker4 = 0xF9;
constexpr std::uint8_t kMarker6 = 0xDD;
constexpr std::uint8_t kMarker12 = 0xC5;
constexpr std::uint8_t kFill8 = 0x08;
constexpr std::uint8_t kFill10 = 0x80;
constexpr std::uint8_t kFill13 = 0x80;

// True when the 14 bytes at p carry the five marker values. The caller guarantees 14 readable bytes.
inline bool HasFrameHeaderAt(const std::uint8_t* p) {
    return p[0] == kMarker0 && p[2] == kMarker2 && p[4] == kMarker4 && p[6] == kMarker6 && p[12] == kMarker12;
}

// Bits 16..31 of the payload length, from bytes 1 and 3 of the header.
inline std::uint32_t FrameHeaderLengthHigh(const std::uint8_t* p) {
    return (std::uint32_t(p[1]) << 24) | (std::uint32_t(p[3]) << 16);
}

// The 32-bit value of bytes 5, 7, 9 and 11, most significant byte first.
inline std::uint32_t FrameHeaderWord(const std::uint8_t* p) {
    return (std::uint32_t(p[5]) << 24) | (std::uint32_t(p[7]) << 16) | (std::uint32_t(p[9]) << 8) |
           std::uint32_t(p[11]);
}

// Writes a header for a payload of `payloadLength` bytes (the low 16 bits travel in the payload's
// own length word). `word` fills bytes 5, 7, 9 and 11. Bytes 8, 10 and 13 get the recorder's fill
// values 0x08, 0x80, 0x80: with zeros there, a word with a zero low byte would put "00 00 C5" in
// the header, which reads as an H.263 picture start code. MPEG-4 framing overwrites byte 13.
inline void WriteFrameHeader(std::uint8_t* p, std::uint32_t payloadLength, std::uint32_t word = 0) {
    p[0] = kMarker0;
    p[1] = std::uint8_t(payloadLength >> 24);
    p[2] = kMarker2;
    p[3] = std::uint8_t(payloadLength >> 16);
    p[4] = kMarker4;
    p[5] = std::uint8_t(word >> 24);
    p[6] = kMarker6;
    p[7] = std::uint8_t(word >> 16);
    p[8] = kFill8;
    p[9] = std::uint8_t(word >> 8);
    p[10] = kFill10;
    p[11] = std::uint8_t(word);
    p[12] = kMarker12;
    p[13] = kFill13;
}

}  // namespace vistrel::frame
