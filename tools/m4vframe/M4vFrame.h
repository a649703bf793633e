#pragma once
// Cuts an MPEG-4 elementary stream into frames and wraps them in the DVR's MPEG-4 live framing
// (18-byte frame headers with size hints, information blocks, header-less frames).
// Used by the DVR emulator, the tests and the vistrel-m4vframe program.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::m4vframe {

// The 14 marker-carrying bytes of the MPEG-4 frame header, then the payload length as a
// little-endian 32-bit value (its low half doubles as the classic length word).
constexpr std::size_t kFrameHeaderSize = 18;
// An information block: 14 marker-carrying bytes, a 2-byte little-endian length word and a body.
constexpr std::size_t kInfoBlockHeaderSize = 16;
constexpr std::size_t kDefaultInfoBlockBody = 24;

// Size hints carried in the low two bits of frame header byte 13.
enum class SizeHint : std::uint8_t { None = 0, W640 = 1, W320 = 2, W352 = 3 };

// One frame of an elementary stream: a video object plane with every header in front of it.
struct ElementaryFrame {
    std::size_t offset = 0;     // first byte (a start code) in the stream
    std::size_t length = 0;     // up to the next frame's first start code, or the stream end
    std::size_t vopOffset = 0;  // where the plane's own 00 00 01 B6 starts (>= offset)
    bool hasVol = false;        // a video object layer header precedes the plane
    bool intra = false;         // the plane is intra coded
};

// Frames in stream order. Bytes before the first start code are ignored; headers after the
// last plane are added to the last frame. Never reads outside [data, data + size).
std::vector<ElementaryFrame> SplitElementaryStream(const std::uint8_t* data, std::size_t size);

struct WrapOptions {
    SizeHint sizeHint = SizeHint::None;
    // Leave out every header before the plane (sequence, object, layer, user data): such frames
    // decode only in a decoder primed with a matching layer header.
    bool stripHeaders = false;
    // Frames as a 32-bit little-endian length followed by the data, without the 18-byte header.
    bool headerless = false;
    bool infoBlockBetween = false;                      // an information block before every frame
    bool infoBlockInside = false;                       // an information block in the middle of every frame's data
    std::size_t infoBlockBody = kDefaultInfoBlockBody;  // body bytes after the 16-byte block head
    std::uint32_t headerWord = 0;                       // frame header bytes 5, 7, 9 and 11
};

// The frame header for `payloadLength` bytes of MPEG-4 data with the given size hint.
void WriteMpeg4FrameHeader(std::uint8_t* out18, std::uint32_t payloadLength, SizeHint hint,
                           std::uint32_t word = 0);

// Appends an information block whose body has `bodyLength` bytes (filled with a pattern that
// holds no start code and no frame marker).
void AppendInfoBlock(std::vector<std::uint8_t>& out, std::size_t bodyLength);

// Appends one frame (the bytes of `frame`, normally beginning with a start code) in live framing.
// With stripHeaders the caller passes the bytes from the plane's start code on.
void AppendFramed(std::vector<std::uint8_t>& out, const std::uint8_t* frame, std::size_t length,
                  const WrapOptions& options);

// The whole stream split and wrapped. `maxFrames` < 0 wraps every frame.
std::vector<std::uint8_t> WrapStream(const std::uint8_t* data, std::size_t size, const WrapOptions& options,
                                     long maxFrames = -1);

}  // namespace vistrel::m4vframe
