#include "video/picture/YuvPicture.h"

#include <cstring>
#include <new>

namespace vistrel {

namespace {
bool validSize(int width, int height) {
    return width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0 && width <= YuvPicture::kMaxSide &&
           height <= YuvPicture::kMaxSide;
}
}  // namespace

std::unique_ptr<YuvPicture> YuvPicture::Create(std::uint8_t* samples, int width, int height) {
    if (samples == nullptr || !validSize(width, height)) return nullptr;
    std::uint8_t* cb = samples + static_cast<std::size_t>(width) * height;
    std::uint8_t* cr = cb + static_cast<std::size_t>(width / 2) * (height / 2);
    return CreateOverPlanes(samples, cb, cr, width, height, width, width / 2);
}

std::unique_ptr<YuvPicture> YuvPicture::CreateOverPlanes(std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr,
                                                         int width, int height, int yStride, int cStride) {
    if (y == nullptr || cb == nullptr || cr == nullptr || !validSize(width, height) || yStride < width ||
        cStride < width / 2)
        return nullptr;
    std::unique_ptr<YuvPicture> picture(new (std::nothrow) YuvPicture);
    if (!picture) return nullptr;
    const int ch = height / 2;
    try {
        picture->rowTable_.resize(static_cast<std::size_t>(height) + 2 * ch);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::uint8_t** rows = picture->rowTable_.data();
    for (int i = 0; i < height; ++i) rows[i] = y + static_cast<std::size_t>(i) * yStride;
    for (int i = 0; i < ch; ++i) {
        rows[height + i] = cr + static_cast<std::size_t>(i) * cStride;
        rows[height + ch + i] = cb + static_cast<std::size_t>(i) * cStride;
    }
    picture->luma_ = YuvPlane{width, height, rows};
    picture->cr_ = YuvPlane{width / 2, ch, rows + height};
    picture->cb_ = YuvPlane{width / 2, ch, rows + height + ch};
    return picture;
}

void FillYuvFrame(std::uint8_t* samples, int width, int height, std::uint8_t y, std::uint8_t cb, std::uint8_t cr) {
    if (samples == nullptr || width <= 0 || height <= 0) return;
    const std::size_t lumaBytes = static_cast<std::size_t>(width) * height;
    const std::size_t chromaBytes = static_cast<std::size_t>(width / 2) * (height / 2);
    std::memset(samples, y, lumaBytes);
    std::memset(samples + lumaBytes, cb, chromaBytes);
    std::memset(samples + lumaBytes + chromaBytes, cr, chromaBytes);
}

}  // namespace vistrel
