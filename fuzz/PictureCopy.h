#pragma once
// Exact-size copies of the program's own picture descriptors (see CopyPicture).

#include "fuzz/FuzzSupport.h"
#include "video/picture/YuvPicture.h"

namespace vistrel::fuzz {

inline unsigned CopyYuvPicture(const YuvPicture& picture) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) Finding("picture size out of range");
    unsigned sum = 0;
    for (const YuvPlane* plane : {&picture.luma(), &picture.cb(), &picture.cr()}) {
        if (plane->rows == nullptr || plane->width <= 0 || plane->height <= 0) Finding("picture plane missing");
        const std::size_t bytes = std::size_t(plane->width) * plane->height;
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes]);
        for (int r = 0; r < plane->height; ++r)
            std::memcpy(copy.get() + std::size_t(r) * plane->width, plane->rows[r], std::size_t(plane->width));
        for (std::size_t i = 0; i < bytes; i += 61) sum += copy[i];
    }
    return sum;
}

}  // namespace vistrel::fuzz
