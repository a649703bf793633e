// Placeholder until the MPEG-4 path of vistrel-cli decode is built.

#include <cstdio>

#include "cli/Decode.h"

namespace vistrel::cli {

int decodeMpeg4Framed(const DecodeOptions&, const std::uint8_t*, std::size_t, PictureSink&) {
    std::fprintf(stderr, "vistrel-cli decode: MPEG-4 decoding is not available in this build\n");
    return 1;
}

}  // namespace vistrel::cli
