#include "video/mpeg4/Mpeg4Framing.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/StartCode.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::mpeg4 {

namespace {

constexpr std::uint8_t kInfoMarker0 = 0xFA;
constexpr std::uint8_t kInfoMarker2 = 0x74;
constexpr std::uint8_t kInfoMarker4 = 0xF9;
constexpr std::uint8_t kInfoMarker6 = 0xED;
constexpr std::uint8_t kInfoMarker12 = 0xC1;
constexpr std::size_t kInfoBlockHeadSize = 14;

}  // namespace

bool IsInfoBlockAt(const std::uint8_t* p) {
    return p[0] == kInfoMarker0 && p[2] == kInfoMarker2 && p[4] == kInfoMarker4 && p[6] == kInfoMarker6 &&
           p[12] == kInfoMarker12;
}

std::uint64_t InfoBlockLength(const std::uint8_t* p) {
    return std::uint64_t(frame::FrameHeaderLengthHigh(p) | base::Le16(p + kInfoBlockHeadSize)) +
           kInfoBlockHeadSize;
}

std::size_t RemoveInfoBlocks(std::uint8_t* data, std::size_t length) {
    std::size_t i = 0;
    while (i + kInfoBlockMinSize <= length) {
        if (!IsInfoBlockAt(data + i)) {
            ++i;
            continue;
        }
        const std::uint64_t blockLength = InfoBlockLength(data + i);
        if (blockLength >= length - i) return i;
        std::memmove(data + i, data + i + blockLength, length - i - std::size_t(blockLength));
        length -= std::size_t(blockLength);
        // The bytes now at i may complete a block that began just before it.
        i = i >= kInfoBlockMinSize ? i - (kInfoBlockMinSize - 1) : 0;
    }
    return length;
}

FrameSearch FindFrame(const std::uint8_t* data, std::size_t held, FrameSpan* span) {
    for (std::size_t sc = base::FindStartCode(data, held); sc < held;
         sc = base::FindStartCode(data, held, sc + 1)) {
        FrameSpan f;
        std::uint64_t declared;
        if (sc >= kFrameHeaderSize && frame::HasFrameHeaderAt(data + sc - kFrameHeaderSize)) {
            const std::uint8_t* h = data + sc - kFrameHeaderSize;
            f.start = sc - kFrameHeaderSize;
            f.hasHeader = true;
            f.sizeHint = h[13] & 3;
            declared = frame::FrameHeaderLengthHigh(h) | base::Le16(h + 14);
            f.payloadOffset = kFrameHeaderSize;
            // The two length fields should agree; never feed more than the frame holds.
            const std::uint32_t payload = base::Le32(h + 14);
            f.payloadLength = std::size_t(payload < declared ? payload : declared);
        } else if (sc >= kHeaderlessLengthSize) {
            f.start = sc - kHeaderlessLengthSize;
            declared = base::Le32(data + f.start);
            f.payloadOffset = kHeaderlessLengthSize;
            f.payloadLength = std::size_t(declared);
        } else {
            continue;
        }
        if (declared < 1 || declared > kMaxFramePayload) {
            *span = f;
            return FrameSearch::BadLength;
        }
        f.total = std::size_t(declared) + f.payloadOffset;
        if (!f.hasHeader) f.payloadLength = std::size_t(declared);
        *span = f;
        return FrameSearch::Found;
    }
    return FrameSearch::NoStartCode;
}

}  // namespace vistrel::mpeg4
