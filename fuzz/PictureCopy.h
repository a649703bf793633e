#pragma once
// Reads of every sample of the program's own picture descriptors (see CopyPicture).

#include "fuzz/FuzzSupport.h"
#include "video/picture/YuvPicture.h"

namespace vistrel::fuzz {

inline unsigned CopyYuvPicture(const YuvPicture& picture) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) Finding("picture size out of range");
    unsigned sum = 0;
    for (const YuvPlane* plane : {&picture.luma(), &picture.cb(), &picture.cr()}) {
        if (plane->rows == nullptr || plane->width <= 0 || plane->height <= 0 || plane->width > kMaxPictureSide ||
            plane->height > kMaxPictureSide)
            Finding("picture plane missing");
        sum += FoldRows(plane->rows, nullptr, 0, plane->width, plane->height);
    }
    return sum;
}

}  // namespace vistrel::fuzz
