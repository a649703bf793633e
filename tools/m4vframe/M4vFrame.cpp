#include "tools/m4vframe/M4vFrame.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/StartCode.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::m4vframe {

namespace {

constexpr std::uint8_t kVopCode = 0xB6;
constexpr std::uint8_t kFirstVolCode = 0x20;
constexpr std::uint8_t kLastVolCode = 0x2F;
// Body filler of information blocks: no zero bytes, so no start code can appear inside.
constexpr std::uint8_t kInfoFill = 0x55;

}  // namespace

std::vector<ElementaryFrame> SplitElementaryStream(const std::uint8_t* data, std::size_t size) {
    std::vector<ElementaryFrame> frames;
    if (data == nullptr) return frames;
    ElementaryFrame current;
    bool open = false;    // `current` has its first start code
    bool hasVop = false;  // ... and its plane
    std::size_t pos = base::FindStartCode(data, size, 0);
    while (pos < size) {
        const bool haveCode = pos + 3 < size;
        const std::uint8_t code = haveCode ? data[pos + 3] : 0;
        if (hasVop) {
            // A plane's data ends at the next start code; what follows belongs to the next
            // frame unless it is the stream's end code, which stays with this one.
            if (haveCode && code == 0xB1) {
                pos = base::FindStartCode(data, size, pos + 3);
                continue;
            }
            current.length = pos - current.offset;
            frames.push_back(current);
            current = ElementaryFrame{};
            open = hasVop = false;
        }
        if (!open) {
            current.offset = pos;
            open = true;
        }
        if (haveCode && code == kVopCode) {
            hasVop = true;
            current.vopOffset = pos;
            // vop_coding_type is the top two bits of the byte after the start code.
            current.intra = pos + 4 < size && (data[pos + 4] >> 6) == 0;
        } else if (haveCode && code >= kFirstVolCode && code <= kLastVolCode) {
            current.hasVol = true;
        }
        pos = base::FindStartCode(data, size, pos + 3);
    }
    if (open) {
        current.length = size - current.offset;
        if (hasVop) {
            frames.push_back(current);
        } else if (!frames.empty()) {
            // Trailing headers without a plane of their own.
            frames.back().length = size - frames.back().offset;
        }
    }
    return frames;
}

void WriteMpeg4FrameHeader(std::uint8_t* out18, std::uint32_t payloadLength, SizeHint hint, std::uint32_t word) {
    frame::WriteFrameHeader(out18, payloadLength, word);
    out18[13] = std::uint8_t(hint) & 3;
    base::PutLe32(out18 + 14, payloadLength);
}

void AppendInfoBlock(std::vector<std::uint8_t>& out, std::size_t bodyLength) {
    // The declared length counts the 2-byte length word and the body.
    const std::uint32_t declared = std::uint32_t(bodyLength + 2);
    std::uint8_t head[kInfoBlockHeaderSize];
    std::memset(head, 0x11, sizeof head);
    head[0] = 0xFA;
    head[1] = std::uint8_t(declared >> 24);
    head[2] = 0x74;
    head[3] = std::uint8_t(declared >> 16);
    head[4] = 0xF9;
    head[6] = 0xED;
    head[12] = 0xC1;
    base::PutLe16(head + 14, declared);
    out.insert(out.end(), head, head + sizeof head);
    out.insert(out.end(), bodyLength, kInfoFill);
}

void AppendFramed(std::vector<std::uint8_t>& out, const std::uint8_t* frame, std::size_t length,
                  const WrapOptions& options) {
    if (options.infoBlockBetween) AppendInfoBlock(out, options.infoBlockBody);
    if (options.headerless) {
        std::uint8_t len[4];
        base::PutLe32(len, std::uint32_t(length));
        out.insert(out.end(), len, len + 4);
    } else {
        std::uint8_t head[kFrameHeaderSize];
        WriteMpeg4FrameHeader(head, std::uint32_t(length), options.sizeHint, options.headerWord);
        out.insert(out.end(), head, head + sizeof head);
    }
    if (options.infoBlockInside && length >= 8) {
        // Split away from the start code so the frame can still be found.
        const std::size_t half = length / 2;
        out.insert(out.end(), frame, frame + half);
        AppendInfoBlock(out, options.infoBlockBody);
        out.insert(out.end(), frame + half, frame + length);
    } else {
        out.insert(out.end(), frame, frame + length);
    }
}

std::vector<std::uint8_t> WrapStream(const std::uint8_t* data, std::size_t size, const WrapOptions& options,
                                     long maxFrames) {
    std::vector<std::uint8_t> out;
    long done = 0;
    for (const ElementaryFrame& f : SplitElementaryStream(data, size)) {
        if (maxFrames >= 0 && done >= maxFrames) break;
        const std::size_t begin = options.stripHeaders ? f.vopOffset : f.offset;
        AppendFramed(out, data + begin, f.offset + f.length - begin, options);
        ++done;
    }
    return out;
}

}  // namespace vistrel::m4vframe
