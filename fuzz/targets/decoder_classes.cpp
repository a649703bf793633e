// The four decoder classes on framed input as the stream code drives them: the live classes cut
// frames out of the receive buffer with their own rules and decode each; the playback classes
// take whole runs of frames. When the first byte asks, snapshots copy the pictures: the live
// classes each frame's, the playback classes the last one.

#include <algorithm>
#include <memory>

#include "fuzz/CodecLibrary.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "video/decoders/CDec263.h"
#include "video/decoders/CDecKvr4.h"
#include "video/decoders/PCDec263.h"
#include "video/decoders/PCDecKvr4.h"

using namespace vistrel;
using namespace vistrel::fuzz;

namespace {

// The receive buffer is 300 KB; one per process, as the live consumer keeps one per session.
frame::FrameReceiveBuffer& receiveBuffer() {
    static auto* buffer = new frame::FrameReceiveBuffer;
    return *buffer;
}

void checkSnapshot(const std::uint8_t* bitmap, std::size_t size) {
    if (bitmap == nullptr) return;
    ReadThrough(bitmap, size);
    if (size < 54 || bitmap[0] != 'B' || bitmap[1] != 'M') Finding("snapshot without bitmap header");
}

// The capture buffer, exactly as large as the picture asks (so a write past it is reported), and
// kept while the picture keeps its size instead of mapped afresh for every frame.
std::uint8_t* captureBuffer(std::size_t size) {
    static std::unique_ptr<std::uint8_t[]> buffer;
    static std::size_t held = 0;
    if (size != held) {
        buffer.reset(new std::uint8_t[size]);
        held = size;
    }
    return buffer.get();
}

void runLive(IDecoder& decoder, ByteSource& source, bool capture) {
    Chunker chunker(source, 64);
    frame::FrameReceiveBuffer& rb = receiveBuffer();
    rb.held = 0;
    rb.readOffset = 0;
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    std::size_t offset = 0;
    PictureBudget budget;
    decoder.IsIntraFrame(HeapCopy(p, std::min<std::size_t>(left, 64)).data(), std::min<std::size_t>(left, 64),
                         &offset);
    while (left > 0 && !budget.exhausted()) {
        const std::size_t n = std::min({left, chunker.next(), frame::kReceiveBufferSize - rb.held});
        if (n == 0) {
            rb.held = 0;  // full without a frame: the consumer gives the content up
            continue;
        }
        std::memcpy(rb.data + rb.held, p, n);
        rb.held += std::uint32_t(n);
        p += n;
        left -= n;
        const std::uint8_t* frame = nullptr;
        std::size_t length = 0;
        bool hasHeader = false;
        while (!budget.exhausted() && decoder.ExtractFrame(&rb, &frame, &length, &hasHeader)) {
            const std::uint8_t* heldEnd = rb.data + rb.held;
            if (frame < rb.data || length == 0 || frame > heldEnd || length > std::size_t(heldEnd - frame))
                Finding("extracted frame outside the held bytes");
            HeapCopy exact(frame, length);
            if (capture) {
                int width = 0;
                int height = 0;
                decoder.GetPictureSize(&width, &height);
                const std::size_t need = std::size_t(width) * height * 3 + 54;
                std::uint8_t* bitmap = captureBuffer(need);
                std::memset(bitmap, 0, 54);  // no header left over from an earlier capture
                const bool captured = decoder.DecodeAndCapture(exact.data(), length, true, bitmap, need, true);
                // A picture that grew while decoding does not fit the buffer: nothing was written.
                decoder.GetPictureSize(&width, &height);
                if (captured && std::size_t(width) * height * 3 + 54 <= need) checkSnapshot(bitmap, need);
            } else {
                decoder.Decode(exact.data(), length, true);
            }
            int width = 0;
            int height = 0;
            decoder.GetPictureSize(&width, &height);
            budget.spend(width, height);
            const std::size_t consumed = std::size_t(frame - rb.data) + length;
            std::memmove(rb.data, rb.data + consumed, rb.held - consumed);
            rb.held -= std::uint32_t(consumed);
            rb.readOffset = 0;
        }
    }
}

void runPlayback(PIDecoder& decoder, ByteSource& source, bool capture) {
    Chunker chunker(source, 64);
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    while (left > 0) {
        const std::size_t n = std::min(left, chunker.next());
        HeapCopy chunk(p, n);
        decoder.Decode(chunk.data(), n, true, -1);
        p += n;
        left -= n;
    }
    // A snapshot converts the whole picture, whatever the input's size: only the inputs that ask
    // for one pay for it.
    if (!capture) return;
    std::uint8_t* bitmap = nullptr;
    std::size_t bitmapSize = 0;
    if (decoder.CaptureBitmap(&bitmap, &bitmapSize)) {
        checkSnapshot(bitmap, bitmapSize);
        PIDecoder::ReleaseBitmap(bitmap);
    }
}

}  // namespace

VISTREL_FUZZ_TARGET(decoder_classes) {
    AssertWatch watch;
    ByteSource source(data, size);
    const std::uint8_t selector = source.byte();
    const bool capture = (selector & 0x80) != 0;
    PrepareCodecLibrary();
    switch (selector & 3) {
        case 0: {
            CDec263 d;
            if (d.Open(nullptr)) runLive(d, source, capture);
            break;
        }
        case 1: {
            CDecKvr4 d;
            if (d.Open(nullptr)) runLive(d, source, capture);
            break;
        }
        case 2: {
            PCDec263 d;
            if (d.Open(320, 240, nullptr, 0)) runPlayback(d, source, capture);
            break;
        }
        default: {
            PCDecKvr4 d;
            if (d.Open(320, 240, nullptr, 0)) runPlayback(d, source, capture);
            break;
        }
    }
    return 0;
}
