#pragma once
// The MPEG-4 live framing as the adapter reads it: information blocks to strip, and frames
// (18-byte header with size hint, or a 32-bit length) to find in accumulated bytes.

#include <cstddef>
#include <cstdint>

namespace vistrel::mpeg4 {

// An information block needs its 14 marker bytes and the 2-byte length word to be recognised.
constexpr std::size_t kInfoBlockMinSize = 16;
constexpr std::size_t kFrameHeaderSize = 18;
// Frames without header carry a 32-bit little-endian length in front of the start code.
constexpr std::size_t kHeaderlessLengthSize = 4;
// Longest payload a frame may declare; anything longer is taken for damage.
constexpr std::uint32_t kMaxFramePayload = 131072;

// True when an information block starts at p (at least kInfoBlockMinSize readable bytes).
bool IsInfoBlockAt(const std::uint8_t* p);
// Declared total length of the information block at p, header included.
std::uint64_t InfoBlockLength(const std::uint8_t* p);

// Removes every information block from data[0, length) in place and returns the new length.
// A block that claims to run to or past the end of the data ends the data where it starts:
// its remainder is not in this call, and scanning it again could never finish.
std::size_t RemoveInfoBlocks(std::uint8_t* data, std::size_t length);

// A frame located in accumulated bytes.
struct FrameSpan {
    std::size_t start = 0;          // first byte of the frame (header or length field)
    std::size_t total = 0;          // bytes from start to the end of the frame
    std::size_t payloadOffset = 0;  // from start: the first byte fed to the library
    std::size_t payloadLength = 0;  // bytes fed to the library
    bool hasHeader = false;
    int sizeHint = 0;  // frame header byte 13, low 2 bits; 0 without header
};

enum class FrameSearch {
    Found,        // *span describes a frame; it may not be complete yet (start + total > held)
    NoStartCode,  // no usable start code in the bytes
    BadLength,    // the first frame declares a length below 1 or above kMaxFramePayload
};

// Finds the first frame in data[0, held). A start code with neither a frame header nor room
// for a length field in front of it is skipped. Reads nothing outside the held bytes.
FrameSearch FindFrame(const std::uint8_t* data, std::size_t held, FrameSpan* span);

}  // namespace vistrel::mpeg4
