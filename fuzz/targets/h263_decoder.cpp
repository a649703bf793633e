// The program's H.263 decoding state on framed bytes, fed in chunks the input sizes, one frame or
// all complete frames per call; every decoded picture is copied.

#include <algorithm>

#include "fuzz/FuzzTarget.h"
#include "fuzz/PictureCopy.h"
#include "video/h263/H263Decoder.h"

using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(h263_decoder) {
    ByteSource source(data, size);
    const std::uint8_t mode = source.byte();
    Chunker chunker(source, 32);
    auto decoder = vistrel::h263::H263Decoder::Create();
    if (!decoder || !decoder->Attach(nullptr)) return 0;
    decoder->SetAllowPredicted((mode & 1) == 0);
    const int count = (mode & 2) ? 1 : -1;
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    std::uint64_t seen = decoder->picturesDecoded();
    while (left > 0) {
        const std::size_t n = std::min(left, chunker.next());
        HeapCopy chunk(p, n);
        decoder->Feed(chunk.data(), n, count);
        // Frames still held are decoded by calls without data, as the classes do.
        while (count == 1 && decoder->Feed(nullptr, 0, 1) > 0) {
        }
        if (decoder->picturesDecoded() != seen) {
            seen = decoder->picturesDecoded();
            if (const vistrel::YuvPicture* picture = decoder->CurrentPicture()) CopyYuvPicture(*picture);
        }
        p += n;
        left -= n;
    }
    return 0;
}
