// Wrapping an H.263 picture into the DVR's live frame form.

#include <cstring>

#include "base/ByteOrder.h"
#include "tools/h263enc/H263Encoder.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::h263enc {

namespace {
constexpr std::size_t kLengthWordSize = 2;
constexpr std::size_t kMaxPlainPayload = 0xFFFF;
}  // namespace

bool AppendLiveFrame(std::vector<std::uint8_t>* out, const std::uint8_t* picture, std::size_t size,
                     bool withHeader, std::uint32_t headerWord) {
    if (out == nullptr || (picture == nullptr && size > 0)) return false;
    const std::uint64_t payload = std::uint64_t(size) + kLengthWordSize;
    if (!withHeader && payload > kMaxPlainPayload) return false;
    if (payload > 0xFFFFFFFFu - frame::kFrameHeaderSize) return false;
    const std::size_t start = out->size();
    out->resize(start + (withHeader ? frame::kFrameHeaderSize : 0) + std::size_t(payload));
    std::uint8_t* p = out->data() + start;
    if (withHeader) {
        frame::WriteFrameHeader(p, std::uint32_t(payload), headerWord);
        p += frame::kFrameHeaderSize;
    }
    base::PutLe16(p, std::uint32_t(payload));
    if (size > 0) std::memcpy(p + kLengthWordSize, picture, size);
    return true;
}

}  // namespace vistrel::h263enc
