#include "video/picture/Snapshot.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "video/picture/ColourConversion.h"

namespace vistrel {

namespace {

void putLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

bool convertible(const YuvPicture* picture) {
    return picture != nullptr && picture->width() % 4 == 0 && picture->height() % 4 == 0;
}

}  // namespace

std::size_t SnapshotBitmapSize(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return static_cast<std::size_t>(width) * height * 3 + kSnapshotHeaderBytes;
}

std::size_t WriteSnapshotBitmap(const YuvPicture* picture, std::uint8_t* buffer, std::size_t size) {
    if (!convertible(picture)) return 0;
    const int width = picture->width();
    const int height = picture->height();
    const std::size_t needed = SnapshotBitmapSize(width, height);
    if (buffer == nullptr || size < needed) return needed;

    std::uint8_t* header = buffer;
    header[0] = 'B';
    header[1] = 'M';
    putLe32(header + 2, static_cast<std::uint32_t>(needed));
    putLe32(header + 6, 0);  // two reserved words
    putLe32(header + 10, static_cast<std::uint32_t>(kSnapshotHeaderBytes));
    std::uint8_t* info = buffer + 14;
    putLe32(info + 0, 40);
    putLe32(info + 4, static_cast<std::uint32_t>(width));
    putLe32(info + 8, static_cast<std::uint32_t>(height));  // positive: rows bottom-up
    putLe16(info + 12, 1);
    putLe16(info + 14, 24);
    for (int offset = 16; offset < 40; offset += 4) putLe32(info + offset, 0);

    std::vector<std::uint8_t*> rows;
    try {
        rows.resize(static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    std::uint8_t* pixels = buffer + kSnapshotHeaderBytes;
    for (int i = 0; i < height; ++i) rows[i] = pixels + static_cast<std::size_t>(height - 1 - i) * stride;
    ConvertTo24Rows(picture, rows.data(), width, height);
    return needed;
}

bool WriteSnapshotFile(const char* path, const YuvPicture* picture) {
    if (path == nullptr || !convertible(picture)) return false;
    const std::size_t size = SnapshotBitmapSize(picture->width(), picture->height());
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[size]);
    if (!buffer || WriteSnapshotBitmap(picture, buffer.get(), size) != size) return false;
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(buffer.get(), 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace vistrel
