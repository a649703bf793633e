// vistrel-cli decode for H.263: raw elementary streams (cut at picture start codes and wrapped in the
// live frame form) and streams already in the live frame form, both through the decoding state in
// off-screen mode.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ByteOrder.h"
#include "cli/Decode.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Decoder.h"

namespace vistrel::cli {

namespace {

using h263::H263Decoder;

// Chunks the framed input is fed in, as the live path receives it.
constexpr std::size_t kFeedChunk = 4096;
constexpr std::size_t kLengthWordSize = 2;
constexpr std::size_t kMaxPlainPayload = 0xFFFF;

std::unique_ptr<H263Decoder> openDecoder() {
    std::unique_ptr<H263Decoder> decoder = H263Decoder::Create();
    if (!decoder || !decoder->Attach(nullptr)) return nullptr;
    decoder->Reset();
    // The sink takes the YUV picture itself: no 24-bit conversion per picture, and predicted
    // pictures are wanted.
    decoder->SetSuppressDisplay(true);
    decoder->SetAllowPredicted(true);
    return decoder;
}

bool putCurrent(const H263Decoder& decoder, PictureSink& sink) {
    const YuvPicture* picture = decoder.CurrentPicture();
    if (picture == nullptr) return true;
    PlanarPicture p;
    p.width = picture->width();
    p.height = picture->height();
    p.y = picture->luma().rows[0];
    p.cb = picture->cb().rows[0];
    p.cr = picture->cr().rows[0];
    p.yStride = p.height > 1 ? int(picture->luma().rows[1] - picture->luma().rows[0]) : p.width;
    p.cStride = p.height > 3 ? int(picture->cb().rows[1] - picture->cb().rows[0]) : p.width / 2;
    return sink.put(p);
}

// Feeds `data` and then drains the held bytes one frame at a time, handing every decoded picture
// to the sink. False once the sink wants no more.
bool feedAndDrain(H263Decoder& decoder, const std::uint8_t* data, std::size_t size, PictureSink& sink) {
    const std::uint8_t* next = data;
    std::size_t nextSize = size;
    for (;;) {
        const std::uint64_t before = decoder.picturesDecoded();
        const int handled = decoder.Feed(next, nextSize, 1);
        next = nullptr;
        nextSize = 0;
        if (decoder.picturesDecoded() != before && !putCurrent(decoder, sink)) return false;
        if (handled == 0) return true;
    }
}

bool isPictureStart(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && (p[2] & 0xFC) == 0x80; }

int noPictures(const DecodeOptions& options) {
    std::fprintf(stderr, "vistrel-cli decode: no H.263 picture could be decoded from '%s'\n",
                 options.input.c_str());
    return 1;
}

}  // namespace

int decodeH263Elementary(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                         PictureSink& sink) {
    std::unique_ptr<H263Decoder> decoder = openDecoder();
    if (!decoder) {
        std::fprintf(stderr, "vistrel-cli decode: cannot create the H.263 decoder\n");
        return 1;
    }
    // Picture start codes are byte-aligned in the streams we read (ffmpeg and our encoder align
    // them); group-of-blocks start codes (group number non-zero) are not cuts.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 <= size; ++i) {
        // Only a zero byte can begin a start code; memchr finds the next one fast.
        const void* zero = std::memchr(data + i, 0, size - 2 - i);
        if (zero == nullptr) break;
        i = std::size_t(static_cast<const std::uint8_t*>(zero) - data);
        if (isPictureStart(data + i)) starts.push_back(i);
    }
    std::vector<std::uint8_t> frame;
    for (std::size_t k = 0; k < starts.size() && !sink.full(); ++k) {
        const std::size_t begin = starts[k];
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : size;
        const std::size_t payload = end - begin + kLengthWordSize;
        const bool header = payload > kMaxPlainPayload;
        frame.assign((header ? frame::kFrameHeaderSize : 0) + payload, 0);
        std::uint8_t* p = frame.data();
        if (header) {
            frame::WriteFrameHeader(p, std::uint32_t(payload));
            p += frame::kFrameHeaderSize;
        }
        base::PutLe16(p, std::uint32_t(payload));
        std::copy(data + begin, data + end, p + kLengthWordSize);
        if (frame.size() > H263Decoder::kInputCapacity) continue;  // larger than the decoder accepts
        if (!feedAndDrain(*decoder, frame.data(), frame.size(), sink)) break;
    }
    if (sink.frames() == 0 && options.maxFrames != 0) return noPictures(options);
    return 0;
}

int decodeH263Framed(const DecodeOptions& options, const std::uint8_t* data, std::size_t size, PictureSink& sink) {
    std::unique_ptr<H263Decoder> decoder = openDecoder();
    if (!decoder) {
        std::fprintf(stderr, "vistrel-cli decode: cannot create the H.263 decoder\n");
        return 1;
    }
    for (std::size_t offset = 0; offset < size && !sink.full(); offset += kFeedChunk) {
        const std::size_t n = std::min(kFeedChunk, size - offset);
        if (!feedAndDrain(*decoder, data + offset, n, sink)) break;
        // An overflow resets the state and then admits intra pictures only until the next reset; a file
        // has no one to reset it, so do it here and go on from the next intra picture.
        if (decoder->overflowed()) {
            decoder->Reset();
            decoder->SetSuppressDisplay(true);
            decoder->SetAllowPredicted(true);
        }
    }
    if (sink.frames() == 0 && options.maxFrames != 0) return noPictures(options);
    return 0;
}

}  // namespace vistrel::cli
