#pragma once
// Encodes the synthetic scene of an H.263 channel into H.263 pictures, one encoder per stream.

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/dvr/Scene.h"

namespace vistrel::dvr {

class H263Source {
public:
    H263Source(int width, int height);
    ~H263Source();
    H263Source(const H263Source&) = delete;
    H263Source& operator=(const H263Source&) = delete;

    // False when this build has no H.263 encoder or the size is not encodable.
    bool available() const;
    // Encodes one picture (an intra picture when asked, and always the first). The picture bytes
    // (from the picture start code) replace `out`; `intra` tells what was made.
    bool encode(YuvFrame& picture, bool forceIntra, std::vector<std::uint8_t>& out, bool& intra);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct Encoder;
    int width_, height_;
    std::unique_ptr<Encoder> encoder_;
    bool first_ = true;
};

// Frame bytes of the live H.263 format: optional 14-byte header, the 16-bit little-endian length
// word (counting itself) and the picture.
void appendH263Frame(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& picture, bool withHeader,
                     std::uint32_t headerWord);

}  // namespace vistrel::dvr
