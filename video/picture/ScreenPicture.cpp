#include "video/picture/ScreenPicture.h"

#include <new>

namespace vistrel {

std::unique_ptr<ScreenPicture> ScreenPicture::Create(int width, int height, int bitsPerPixel) {
    return make(width, height, bitsPerPixel, true);
}

std::unique_ptr<ScreenPicture> ScreenPicture::CreateForConversion(int width, int height, int bitsPerPixel) {
    return make(width, height, bitsPerPixel, false);
}

std::unique_ptr<ScreenPicture> ScreenPicture::make(int width, int height, int bitsPerPixel, bool zeroed) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
    std::unique_ptr<ScreenPicture> picture(new (std::nothrow) ScreenPicture);
    if (!picture) return nullptr;
    const std::size_t stride = static_cast<std::size_t>(width) * bitsPerPixel / 8;
    const std::size_t tableBytes = static_cast<std::size_t>(height) * sizeof(std::uint8_t*);
    const std::size_t blockBytes = tableBytes + stride * height;
    std::uint8_t* block = zeroed ? new (std::nothrow) std::uint8_t[blockBytes]()
                                 : new (std::nothrow) std::uint8_t[blockBytes];
    if (block == nullptr) return nullptr;
    picture->width_ = width;
    picture->height_ = height;
    picture->bitsPerPixel_ = bitsPerPixel;
    picture->stride_ = static_cast<int>(stride);
    picture->block_ = block;
    picture->rows_ = reinterpret_cast<std::uint8_t**>(block);
    std::uint8_t* pixels = block + tableBytes;
    for (int i = 0; i < height; ++i)
        picture->rows_[i] = pixels + static_cast<std::size_t>(height - 1 - i) * stride;
    return picture;
}

ScreenPicture::~ScreenPicture() { delete[] block_; }

}  // namespace vistrel
