// The live receive buffer with both codings' frame rules, driven as the live consumer drives it:
// bytes collected in chunks, frames cut out and removed, the buffer emptied when it fills without
// a frame. Every frame handed out must lie inside the held bytes.

#include <algorithm>
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "video/decoders/Mpeg4FrameRules.h"
#include "video/h263/H263Framing.h"

using namespace vistrel;
using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(live_frame_buffer) {
    static auto* rb = new frame::FrameReceiveBuffer;
    ByteSource source(data, size);
    const bool mpeg4 = (source.byte() & 1) != 0;
    Chunker chunker(source, 8);
    rb->held = 0;
    rb->readOffset = 0;
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    {
        std::size_t offset = 0;
        HeapCopy copy(p, left);
        const bool intra = mpeg4 ? decoders::IsMpeg4IntraFrame(copy.data(), left, &offset)
                                 : h263::H263IsIntraFrame(copy.data(), left, &offset);
        if (intra && offset >= left) Finding("intra frame offset outside the bytes");
    }
    while (left > 0) {
        if (rb->held >= frame::kReceiveBufferSize) rb->held = 0;
        const std::size_t n = std::min({left, chunker.next(), frame::kReceiveBufferSize - rb->held});
        std::memcpy(rb->data + rb->held, p, n);
        rb->held += std::uint32_t(n);
        p += n;
        left -= n;
        const std::uint8_t* frame = nullptr;
        std::size_t length = 0;
        bool hasHeader = false;
        for (;;) {
            const bool got = mpeg4 ? decoders::ExtractMpeg4Frame(rb, &frame, &length, &hasHeader)
                                   : h263::H263ExtractFrame(rb, &frame, &length, &hasHeader);
            if (!got) break;
            if (rb->held > frame::kReceiveBufferSize) Finding("receive buffer count past its end");
            const std::uint8_t* heldEnd = rb->data + rb->held;
            if (frame < rb->data || length == 0 || frame > heldEnd || length > std::size_t(heldEnd - frame))
                Finding("extracted frame outside the held bytes");
            HeapCopy copy(frame, length);
            const std::size_t consumed = std::size_t(frame - rb->data) + length;
            std::memmove(rb->data, rb->data + consumed, rb->held - consumed);
            rb->held -= std::uint32_t(consumed);
            rb->readOffset = 0;
        }
        if (rb->held > frame::kReceiveBufferSize || rb->readOffset > rb->held)
            Finding("receive buffer counters out of range");
    }
    return 0;
}
