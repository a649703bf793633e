// vistrel-cli decode --framed --codec mpeg4: MPEG-4 in the DVR's live framing, through the
// adapter the live decoder uses, off-screen.

#include <cstdio>
#include <vector>

#include "cli/Decode.h"
#include "video/frame/FrameHeader.h"
#include "video/mpeg4/Mpeg4Adapter.h"
#include "video/picture/ColourTables.h"

namespace vistrel::cli {

namespace {

// Input is handed over a frame at a time, cut in front of every frame header, as the live
// session hands it; an information block then never straddles two calls. Runs without any
// frame header are fed in pieces of this size.
constexpr std::size_t kMaxPiece = 65536;

PlanarPicture planar(const YuvPicture& picture) {
    PlanarPicture p;
    p.width = picture.width();
    p.height = picture.height();
    p.y = picture.luma().rows[0];
    p.cb = picture.cb().rows[0];
    p.cr = picture.cr().rows[0];
    // The adapter's output is packed: strides equal the plane widths.
    p.yStride = picture.luma().width;
    p.cStride = picture.cb().width;
    return p;
}

// End of the piece that starts at `begin`: the next frame header after it, or kMaxPiece on.
std::size_t pieceEnd(const std::uint8_t* data, std::size_t size, std::size_t begin) {
    const std::size_t limit = size - begin > kMaxPiece ? begin + kMaxPiece : size;
    for (std::size_t i = begin + 1; i + frame::kFrameHeaderSize <= limit; ++i) {
        if (frame::HasFrameHeaderAt(data + i)) return i;
    }
    return limit;
}

}  // namespace

int decodeMpeg4Framed(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                      PictureSink& sink) {
    InitColourTables(nullptr);
    std::unique_ptr<mpeg4::Mpeg4Adapter> adapter = mpeg4::Mpeg4Adapter::Create();
    if (!adapter || !adapter->Attach(nullptr)) {
        std::fprintf(stderr, "vistrel-cli decode: cannot create the MPEG-4 decoder\n");
        return 1;
    }
    // The sink takes the YUV pictures themselves; no conversion is wanted.
    adapter->SetSuppressDisplay(true);
    bool stopped = false;
    adapter->SetPictureObserver([&sink, &stopped](const YuvPicture& picture) {
        if (!stopped && !sink.put(planar(picture))) stopped = true;
    });
    for (std::size_t begin = 0; begin < size && !stopped;) {
        const std::size_t end = pieceEnd(data, size, begin);
        adapter->Feed(data + begin, end - begin, -1);
        begin = end;
    }
    if (!stopped) adapter->Flush();
    if (sink.writeFailed()) return 1;
    if (sink.frames() == 0 && options.maxFrames != 0) {
        std::fprintf(stderr, "vistrel-cli decode: no MPEG-4 picture could be decoded from '%s'\n",
                     options.input.c_str());
        return 1;
    }
    return 0;
}

}  // namespace vistrel::cli
