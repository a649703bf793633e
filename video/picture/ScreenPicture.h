#pragma once
// The converted picture handed to a display surface: pixels in the screen's format, rows stored
// bottom-up as in a device-independent bitmap, reached through a top-down row table.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vistrel {

class ScreenPicture {
public:
    static constexpr int kMaxSide = 4096;

    // One zero-filled block holding the row table and the rows. bitsPerPixel is 8, 16, 24 or 32.
    // Null for any other depth, a size that is not positive or above kMaxSide, or no memory.
    static std::unique_ptr<ScreenPicture> Create(int width, int height, int bitsPerPixel);
    // The same with the rows left as the allocator gives them, for a caller that converts into
    // every row before anybody reads one (clearing first would only touch the memory twice).
    static std::unique_ptr<ScreenPicture> CreateForConversion(int width, int height, int bitsPerPixel);
    ~ScreenPicture();
    ScreenPicture(const ScreenPicture&) = delete;
    ScreenPicture& operator=(const ScreenPicture&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int bitsPerPixel() const { return bitsPerPixel_; }
    int stride() const { return stride_; }  // width * bitsPerPixel / 8
    // Row 0 is the top row of the picture (stored last in memory).
    std::uint8_t* row(int i) const { return rows_[i]; }
    std::uint8_t* const* rows() const { return rows_; }
    // First byte in memory, i.e. the bottom row; height * stride bytes follow.
    std::uint8_t* bits() const { return rows_[height_ - 1]; }

private:
    ScreenPicture() = default;
    static std::unique_ptr<ScreenPicture> make(int width, int height, int bitsPerPixel, bool zeroed);

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    int stride_ = 0;
    std::uint8_t** rows_ = nullptr;  // points into block_
    std::uint8_t* block_ = nullptr;  // owned: row table, then the rows
};

}  // namespace vistrel
