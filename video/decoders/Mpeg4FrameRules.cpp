#include "video/decoders/Mpeg4FrameRules.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/StartCode.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::decoders {

namespace {

using frame::FrameReceiveBuffer;
using frame::kMpeg4FrameHeaderSize;

// A receive buffer holding this many bytes or fewer past its read offset is not searched.
constexpr std::size_t kMinSearchBytes = 18;
constexpr std::uint8_t kVopStartCode = 0xB6;

bool headerBefore(const std::uint8_t* d, std::size_t from, std::size_t pos, std::size_t distance) {
    return pos >= from + distance && frame::HasFrameHeaderAt(d + pos - distance);
}

// Counts that a caller could have damaged are brought back to something consistent.
bool sane(FrameReceiveBuffer* b) {
    if (b->held > frame::kReceiveBufferSize || b->readOffset > b->held) {
        b->held = 0;
        b->readOffset = 0;
        return false;
    }
    return true;
}

// Moves the bytes from `start` on to the front of the buffer.
void dropBefore(FrameReceiveBuffer* b, std::size_t start) {
    std::memmove(b->data, b->data + start, b->held - start);
    b->held -= std::uint32_t(start);
    b->readOffset = 0;
}

bool finish(FrameReceiveBuffer* b, std::uint64_t length, bool header, const std::uint8_t** frame,
            std::size_t* frameLength, bool* hasHeader) {
    if (length == 0) {
        b->held = 0;
        b->readOffset = 0;
        return false;
    }
    if (length > b->held - b->readOffset) return false;
    *frame = b->data + b->readOffset;
    *frameLength = std::size_t(length);
    *hasHeader = header;
    return true;
}

}  // namespace

bool ExtractMpeg4Frame(FrameReceiveBuffer* b, const std::uint8_t** frame, std::size_t* frameLength,
                       bool* hasHeader) {
    if (b == nullptr || frame == nullptr || frameLength == nullptr || hasHeader == nullptr) return false;
    if (!sane(b) || b->held - b->readOffset <= kMinSearchBytes) return false;
    const std::size_t code = base::FindStartCode(b->data, b->held, b->readOffset);
    if (code == b->held) return false;
    const bool header = headerBefore(b->data, b->readOffset, code, kMpeg4FrameHeaderSize);
    // Live MPEG-4 must carry frame headers; a bare start code means the data is unusable.
    if (!header) return finish(b, 0, false, frame, frameLength, hasHeader);
    const std::size_t start = code - kMpeg4FrameHeaderSize;
    if (start != b->readOffset) dropBefore(b, start);
    const std::uint8_t* f = b->data + b->readOffset;
    const std::uint64_t length =
        std::uint64_t(frame::FrameHeaderLengthHigh(f) | base::Le16(f + frame::kFrameHeaderSize)) +
        kMpeg4FrameHeaderSize;
    return finish(b, length, true, frame, frameLength, hasHeader);
}

bool IsMpeg4IntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) {
    if (buffer == nullptr || offset == nullptr) return false;
    const std::size_t code = base::FindStartCode(buffer, count);
    if (code == count) return false;
    // Headers may stand in front of the plane; its own coding type is what counts.
    std::size_t vop = code;
    while (vop < count && !(vop + 3 < count && buffer[vop + 3] == kVopStartCode))
        vop = base::FindStartCode(buffer, count, vop + 3);
    if (vop + 4 >= count) return false;
    *offset = headerBefore(buffer, 0, code, kMpeg4FrameHeaderSize) ? code - kMpeg4FrameHeaderSize : code;
    // vop_coding_type 00 in the top two bits: intra.
    return buffer[vop + 4] < 0x40;
}

}  // namespace vistrel::decoders
