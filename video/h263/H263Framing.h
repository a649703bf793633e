#pragma once
// The live frame rules of H.263 as the decoder classes apply them: finding a frame start in a
// byte run, telling an intra frame, and cutting complete frames out of the receive buffer.

#include <cstddef>
#include <cstdint>

#include "video/frame/FrameReceiveBuffer.h"

namespace vistrel::h263 {

// Longest frame the decoding state's input buffer can hold; a longer one is a damaged length.
constexpr std::size_t kMaxFrameLength = 131072;

// The length word, the 2-byte little-endian count that precedes every picture and counts itself.
constexpr std::size_t kLengthWordSize = 2;

struct H263FrameStart {
    std::size_t offset = 0;      // where the frame begins (at the frame header when it has one)
    std::size_t lengthWord = 0;  // where its length word is
    bool hasHeader = false;
};

// Searches data[from, size) for a frame start: a length word followed by 0x00 0x00 and a byte with
// its top bit set, or a 14-byte frame header (its five markers) directly followed by such a length
// word and start code, whichever begins first.
bool FindH263FrameStart(const std::uint8_t* data, std::size_t size, std::size_t from, H263FrameStart* start);

// Total length of the frame at `start` (with the header: high length bytes + length word + 14;
// without: the length word). The caller guarantees the length word (and header) are readable.
std::uint64_t H263FrameTotalLength(const std::uint8_t* data, const H263FrameStart& start);

// IDecoder::IsIntraFrame for H.263: the first frame in `count` bytes; false when there is none or
// fewer than 7 bytes follow its length word. *offset = frame start; true when the picture-coding-type
// bit of PTYPE says intra.
bool H263IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset);

// IDecoder::ExtractFrame for H.263 on the live session's receive buffer (moves garbage out of the
// way, empties the buffer on a length of 0, waits while the frame is incomplete). A start whose
// length exceeds kMaxFrameLength is not a frame: the search goes on behind it.
bool H263ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame, std::size_t* frameLength,
                      bool* hasHeader);

}  // namespace vistrel::h263
