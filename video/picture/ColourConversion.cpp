#include "video/picture/ColourConversion.h"

#include <cstring>

#include "video/picture/ColourTables.h"

namespace vistrel {

namespace {

bool sizesAgree(const YuvPicture* source, int width, int height)
{
    return source != nullptr && width > 0 && height > 0 && source->width() == width &&
           source->height() == height && width % 4 == 0 && height % 4 == 0;
}

bool picturesAgree(const YuvPicture* source, const ScreenPicture* destination, int bitsPerPixel)
{
    return destination != nullptr && destination->bitsPerPixel() == bitsPerPixel &&
           sizesAgree(source, destination->width(), destination->height());
}

// One store per pixel; the screen pictures and framebuffers are little-endian like the screens.
template <typename T>
inline void store(std::uint8_t* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

struct Bgr24 {
    static constexpr int kBytes = 3;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
};

struct Bgr32 {
    static constexpr int kBytes = 4;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        const std::uint32_t v = static_cast<std::uint32_t>(b) | static_cast<std::uint32_t>(g) << 8 |
                                static_cast<std::uint32_t>(r) << 16;
        store(p, v);
    }
};

struct Rgb565 {
    static constexpr int kBytes = 2;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        store(p, static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)));
    }
};

struct Rgb555 {
    static constexpr int kBytes = 2;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        store(p, static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)));
    }
};

// Chroma offsets are computed once per 2 x 2 block and the chroma is replicated over it.
template <typename Pixel>
void convertDirect(const YuvPicture& source, std::uint8_t* const* rows)
{
    const std::int32_t* colour = ColourTable();
    const std::int32_t* greenCb = colour + kColourRunGreenCb;
    const std::int32_t* blueCb = colour + kColourRunBlueCb;
    const std::int32_t* redCr = colour + kColourRunRedCr;
    const std::int32_t* greenCr = colour + kColourRunGreenCr;
    const std::uint8_t* clamp = OutputClamp();
    const int chromaWidth = source.width() / 2;
    const int chromaHeight = source.height() / 2;
    for (int i = 0; i < chromaHeight; ++i) {
        const std::uint8_t* y0 = source.luma().rows[2 * i];
        const std::uint8_t* y1 = source.luma().rows[2 * i + 1];
        const std::uint8_t* cbRow = source.cb().rows[i];
        const std::uint8_t* crRow = source.cr().rows[i];
        std::uint8_t* out0 = rows[2 * i];
        std::uint8_t* out1 = rows[2 * i + 1];
        for (int j = 0; j < chromaWidth; ++j) {
            const int cb = cbRow[j];
            const int cr = crRow[j];
            const int blue = blueCb[cb];
            const int red = redCr[cr];
            const int green = (greenCr[cr] + greenCb[cb]) >> 16;
            const auto put = [&](std::uint8_t* p, int y) {
                Pixel::put(p, clamp[y + red], clamp[y + green], clamp[y + blue]);
            };
            put(out0 + (2 * j) * Pixel::kBytes, y0[2 * j]);
            put(out0 + (2 * j + 1) * Pixel::kBytes, y0[2 * j + 1]);
            put(out1 + (2 * j) * Pixel::kBytes, y1[2 * j]);
            put(out1 + (2 * j + 1) * Pixel::kBytes, y1[2 * j + 1]);
        }
    }
}

template <typename Pixel>
bool convertChecked(const YuvPicture* source, ScreenPicture* destination)
{
    if (!picturesAgree(source, destination, Pixel::kBytes * 8))
        return false;
    convertDirect<Pixel>(*source, destination->rows());
    return true;
}

}  // namespace

bool ConvertTo24(const YuvPicture* source, ScreenPicture* destination)
{
    return convertChecked<Bgr24>(source, destination);
}

bool ConvertTo32(const YuvPicture* source, ScreenPicture* destination)
{
    return convertChecked<Bgr32>(source, destination);
}

bool ConvertTo565(const YuvPicture* source, ScreenPicture* destination)
{
    return convertChecked<Rgb565>(source, destination);
}

bool ConvertTo555(const YuvPicture* source, ScreenPicture* destination)
{
    return convertChecked<Rgb555>(source, destination);
}

bool ConvertTo24Rows(const YuvPicture* source, std::uint8_t* const* rows, int width, int height)
{
    if (rows == nullptr || !sizesAgree(source, width, height))
        return false;
    convertDirect<Bgr24>(*source, rows);
    return true;
}

bool ConvertTo8(const YuvPicture* source, ScreenPicture* destination, int matrix)
{
    if (matrix != kDitherMatrixA && matrix != kDitherMatrixB)
        return false;
    if (!picturesAgree(source, destination, 8))
        return false;
    const std::uint8_t(*dither)[4] = matrix == kDitherMatrixA ? kDitherA : kDitherB;
    const QuantiserTables& q = EightBitTables();
    const int width = source->width();
    const int height = source->height();
    for (int r = 0; r < height; r += 4) {
        for (int a = 0; a < 4; ++a) {
            const std::uint8_t* yRow = source->luma().rows[r + a];
            // Rows r, r+1 share chroma row r/2; rows r+2, r+3 share r/2 + 1.
            const std::uint8_t* cbRow = source->cb().rows[(r + a) / 2];
            const std::uint8_t* crRow = source->cr().rows[(r + a) / 2];
            std::uint8_t* out = destination->row(r + a);
            for (int x = 0; x < width; x += 4) {
                for (int b = 0; b < 4; ++b) {
                    const int d = dither[a][b];
                    const int c = (x + b) / 2;
                    const int lumaPart = q.luma[yRow[x + b] + d];
                    const int crPart = q.cr[(crRow[c] >> 1) + d];
                    const int cbPart = q.cb[(cbRow[c] >> 1) + d];
                    out[x + b] = q.indexMap[lumaPart | crPart | cbPart];
                }
            }
        }
    }
    return true;
}

}  // namespace vistrel
