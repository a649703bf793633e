// H.263 live frame rules: frame starts, intra test, and frame extraction from the receive buffer.

#include "video/h263/H263Framing.h"

#include <cstring>

#include "video/frame/FrameHeader.h"

namespace vistrel::h263 {

namespace {

// The tested byte of PTYPE sits this far after the length word; its bit 1 is the coding type.
constexpr std::size_t kPtypeByteOffset = 6;
constexpr std::uint8_t kCodingTypeBit = 0x02;
constexpr std::size_t kMinExtractBytes = 18;  // no more than this beyond the read offset: no frame
constexpr std::size_t kStartCodeSpan = 5;     // length word + 0x00 0x00 + the byte with the top bit

}  // namespace

bool FindH263FrameStart(const std::uint8_t* data, std::size_t size, std::size_t from, H263FrameStart* start) {
    auto startCodeAt = [data](std::size_t i) {
        return data[i + 2] == 0 && data[i + 3] == 0 && (data[i + 4] & 0x80) != 0;
    };
    for (std::size_t i = from; i + kStartCodeSpan <= size; ++i) {
        // A frame header is taken where it begins: its own bytes 10..12 (0, the low byte of the
        // header word, the 0xC5 marker) look like a start code whenever that word byte is 0, and
        // scanning for start codes alone would cut a bogus frame out of the header.
        if (i + frame::kFrameHeaderSize + kStartCodeSpan <= size && frame::HasFrameHeaderAt(data + i) &&
            startCodeAt(i + frame::kFrameHeaderSize)) {
            start->offset = i;
            start->lengthWord = i + frame::kFrameHeaderSize;
            start->hasHeader = true;
            return true;
        }
        if (!startCodeAt(i)) continue;
        start->offset = i;
        start->lengthWord = i;
        start->hasHeader = false;
        return true;
    }
    return false;
}

std::uint64_t H263FrameTotalLength(const std::uint8_t* data, const H263FrameStart& start) {
    const std::uint32_t word = std::uint32_t(data[start.lengthWord]) |
                               (std::uint32_t(data[start.lengthWord + 1]) << 8);
    if (!start.hasHeader) return word;
    return std::uint64_t(frame::FrameHeaderLengthHigh(data + start.offset) | word) + frame::kFrameHeaderSize;
}

bool H263IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) {
    if (buffer == nullptr || offset == nullptr) return false;
    H263FrameStart start;
    if (!FindH263FrameStart(buffer, count, 0, &start)) return false;
    if (start.lengthWord + kPtypeByteOffset >= count) return false;
    *offset = start.offset;
    return (buffer[start.lengthWord + kPtypeByteOffset] & kCodingTypeBit) == 0;
}

bool H263ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frameOut, std::size_t* frameLength,
                      bool* hasHeader) {
    if (buffer == nullptr) return false;
    // Counters come from the caller; never trust them beyond the buffer.
    if (buffer->held > frame::kReceiveBufferSize) buffer->held = frame::kReceiveBufferSize;
    if (buffer->readOffset > buffer->held) buffer->readOffset = buffer->held;
    if (buffer->held - buffer->readOffset <= kMinExtractBytes) return false;

    H263FrameStart start;
    std::uint64_t total = 0;
    for (;;) {
        if (buffer->held - buffer->readOffset <= kMinExtractBytes) return false;
        if (!FindH263FrameStart(buffer->data, buffer->held, buffer->readOffset, &start)) return false;
        if (start.offset != buffer->readOffset) {
            std::memmove(buffer->data, buffer->data + start.offset, buffer->held - start.offset);
            buffer->held -= std::uint32_t(start.offset);
            buffer->readOffset = 0;
            start.lengthWord -= start.offset;
            start.offset = 0;
        }
        total = H263FrameTotalLength(buffer->data, start);
        if (total == 0) {
            buffer->held = 0;
            buffer->readOffset = 0;
            return false;
        }
        // The decoder could never take it, and waiting for it would stall the stream.
        if (total <= kMaxFrameLength) break;
        buffer->readOffset = std::uint32_t(start.offset + 1);
    }
    if (total > buffer->held - start.offset) return false;
    if (frameOut) *frameOut = buffer->data + start.offset;
    if (frameLength) *frameLength = std::size_t(total);
    if (hasHeader) *hasHeader = start.hasHeader;
    return true;
}

}  // namespace vistrel::h263
