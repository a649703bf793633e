#pragma once
// The decoded picture: a planar YUV 4:2:0 descriptor with a row table per plane over samples
// that somebody else owns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

struct YuvPlane {
    int width = 0;
    int height = 0;
    std::uint8_t* const* rows = nullptr;  // `height` row pointers, top row first
};

class YuvPicture {
public:
    static constexpr std::int32_t kFormatCode = 4;
    // Largest side accepted, far above every size a decoder produces.
    static constexpr int kMaxSide = 4096;

    // A descriptor over one packed buffer of width * height * 3 / 2 bytes in the order luma, Cb,
    // Cr (strides width and width / 2). The buffer is borrowed: the caller keeps it alive as long
    // as the descriptor and rebuilds the descriptor when the size changes. Null for a null buffer
    // or a size that is not positive, even, and at most kMaxSide.
    static std::unique_ptr<YuvPicture> Create(std::uint8_t* samples, int width, int height);
    // The same over three separate planes with their own strides (also borrowed).
    static std::unique_ptr<YuvPicture> CreateOverPlanes(std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr,
                                                        int width, int height, int yStride, int cStride);

    static std::size_t FrameBytes(int width, int height) {
        return static_cast<std::size_t>(width) * height * 3 / 2;
    }

    std::int32_t formatCode() const { return kFormatCode; }
    int width() const { return luma_.width; }
    int height() const { return luma_.height; }
    const YuvPlane& luma() const { return luma_; }
    const YuvPlane& cr() const { return cr_; }
    const YuvPlane& cb() const { return cb_; }

private:
    YuvPicture() = default;

    YuvPlane luma_;
    YuvPlane cr_;
    YuvPlane cb_;
    std::vector<std::uint8_t*> rowTable_;  // luma rows, then Cr rows, then Cb rows
};

// Fills a packed width * height * 3 / 2 buffer with one luma and two chroma values; black as the
// decoders paint it is (0, 127, 127).
void FillYuvFrame(std::uint8_t* samples, int width, int height, std::uint8_t y, std::uint8_t cb, std::uint8_t cr);

}  // namespace vistrel
