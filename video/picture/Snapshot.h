#pragma once
// Snapshot bitmaps: a decoded picture as a complete 24-bit bitmap file, in memory or on disk.

#include <cstddef>
#include <cstdint>

#include "video/picture/YuvPicture.h"

namespace vistrel {

inline constexpr std::size_t kSnapshotHeaderBytes = 54;  // 14-byte file header + 40-byte info

// width * height * 3 + 54.
std::size_t SnapshotBitmapSize(int width, int height);

// Writes the bitmap of `picture` into `buffer` and returns its size. When `size` is smaller than
// that, writes nothing and still returns the size needed (non-zero). 0 only when there is no
// picture or it cannot be converted (size not a multiple of 4).
std::size_t WriteSnapshotBitmap(const YuvPicture* picture, std::uint8_t* buffer, std::size_t size);

// The same bitmap written to a file. False when the picture cannot be converted or the file
// cannot be written.
bool WriteSnapshotFile(const char* path, const YuvPicture* picture);

}  // namespace vistrel
