#include "cli/SnapshotFile.h"

#include <png.h>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "base/ByteOrder.h"

namespace vistrel::cli {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
constexpr int kMaxSide = 8192;

struct BitmapView {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    const std::uint8_t* pixels = nullptr;  // bottom row first, blue-green-red
};

bool ReadBitmap(const std::vector<std::uint8_t>& b, BitmapView* v) {
    if (b.size() < kFileHeader + kInfoHeader || b[0] != 'B' || b[1] != 'M') return false;
    const std::uint32_t offset = base::Le32(&b[10]);
    const auto width = std::int32_t(base::Le32(&b[18]));
    const auto height = std::int32_t(base::Le32(&b[22]));
    const int bits = base::Le16(&b[28]);
    if (bits != 24 || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    if (offset > b.size() || b.size() - offset < stride * std::size_t(height)) return false;
    v->width = width;
    v->height = height;
    v->stride = stride;
    v->pixels = b.data() + offset;
    return true;
}

// libpng reports failures by longjmp; nothing with a destructor lives in this frame.
bool WritePng(std::FILE* f, const BitmapView& v, std::uint8_t* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(v.width), png_uint_32(v.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < v.height; ++y) {
        const std::uint8_t* src = v.pixels + std::size_t(v.height - 1 - y) * v.stride;
        for (int x = 0; x < v.width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool IsPngPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

bool WriteSnapshotFile(const std::string& path, const std::vector<std::uint8_t>& bitmap, std::string* error) {
    BitmapView view;
    if (!ReadBitmap(bitmap, &view)) {
        *error = "the snapshot is not a 24-bit bitmap";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    bool ok;
    if (IsPngPath(path)) {
        std::vector<std::uint8_t> row(std::size_t(view.width) * 3);
        ok = WritePng(f, view, row.data());
    } else {
        ok = std::fwrite(bitmap.data(), 1, bitmap.size(), f) == bitmap.size();
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        *error = "cannot write '" + path + "'";
        std::remove(path.c_str());
    }
    return ok;
}

}  // namespace vistrel::cli
