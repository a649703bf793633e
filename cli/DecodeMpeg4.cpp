// vistrel-cli decode for MPEG-4 elementary streams: feeds the library one start-code unit at a time.
#include <cstdio>
#include <memory>
#include <new>

#include "base/StartCode.h"
#include "cli/Decode.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

namespace vistrel::cli {

namespace {

struct DecoderDeleter {
    void operator()(KVR_MP4_DEC* dec) const { Kvr_MP4_Delete_Decoder(dec); }
};

// false once the sink wants no more pictures.
bool drain(KVR_MP4_DEC& dec, PictureSink& sink) {
    if (!dec.Is_Frame_Ready()) return true;
    KVR_MP4_FRAME frame{};
    dec.Consume_Frame(&frame);
    PlanarPicture picture;
    picture.width = frame.Width;
    picture.height = frame.Height;
    picture.y = frame.Y;
    picture.cb = frame.U;
    picture.cr = frame.V;
    picture.yStride = frame.BpS;
    picture.cStride = frame.BpS;
    return sink.put(picture);
}

}  // namespace

int decodeMpeg4Elementary(const DecodeOptions&, const std::uint8_t* data, std::size_t size, PictureSink& sink) {
    std::unique_ptr<KVR_MP4_DEC, DecoderDeleter> dec(Kvr_MP4_New_Decoder());
    if (!dec) {
        std::fprintf(stderr, "vistrel-cli decode: out of memory\n");
        return 1;
    }
    long damaged = 0;
    bool more = true;
    // A VOP holds no start code, so cutting at start codes hands the library whole pictures and
    // lets a damaged one be dropped without losing the next.
    std::size_t pos = base::FindStartCode(data, size);
    while (more && pos < size) {
        const std::size_t next = base::FindStartCode(data, size, pos + 3);
        try {
            dec->Decode(data + pos, static_cast<int>(next - pos));
            more = drain(*dec, sink);
        } catch (const KVR_EXCEPTION&) {
            ++damaged;
            more = drain(*dec, sink);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "vistrel-cli decode: out of memory\n");
            return 1;
        }
        pos = next;
    }
    if (more) {
        try {
            dec->Decode(data, 0);
            drain(*dec, sink);
        } catch (const KVR_EXCEPTION&) {
            ++damaged;
        }
    }
    if (damaged > 0) std::fprintf(stderr, "vistrel-cli decode: %ld damaged pictures dropped\n", damaged);
    if (sink.writeFailed()) return 1;
    if (sink.frames() == 0) {
        std::fprintf(stderr, "vistrel-cli decode: no MPEG-4 picture in %s\n", "the input");
        return 1;
    }
    return 0;
}

}  // namespace vistrel::cli
