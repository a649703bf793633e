// The plain C colour routines: per 2 x 2 block the chroma offsets from the colour table, per pixel
// the clamp table; the 8-bit routine is table look-ups only.

#include <cstring>

#include "video/picture/ColourKernels.h"
#include "video/picture/ColourTables.h"

namespace vistrel {

namespace {

// One store per pixel; the screen pictures and framebuffers are little-endian like the screens.
template <typename T>
inline void store(std::uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

struct Bgr24 {
    static constexpr int kBytes = 3;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
};

struct Bgr32 {
    static constexpr int kBytes = 4;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        store(p, static_cast<std::uint32_t>(b) | static_cast<std::uint32_t>(g) << 8 |
                     static_cast<std::uint32_t>(r) << 16);
    }
};

struct Rgb565 {
    static constexpr int kBytes = 2;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        store(p, static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)));
    }
};

struct Rgb555 {
    static constexpr int kBytes = 2;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        store(p, static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)));
    }
};

template <typename Pixel>
void rowPair(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cbRow, const std::uint8_t* crRow,
             std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    const std::int32_t* colour = ColourTable();
    const std::int32_t* greenCb = colour + kColourRunGreenCb;
    const std::int32_t* blueCb = colour + kColourRunBlueCb;
    const std::int32_t* redCr = colour + kColourRunRedCr;
    const std::int32_t* greenCr = colour + kColourRunGreenCr;
    const std::uint8_t* clamp = OutputClamp();
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

}  // namespace

void ConvertRowPairTo24C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                         const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<Bgr24>(y0, y1, cb, cr, out0, out1, chromaWidth);
}

void ConvertRowPairTo32C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                         const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<Bgr32>(y0, y1, cb, cr, out0, out1, chromaWidth);
}

void ConvertRowPairTo565C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                          const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<Rgb565>(y0, y1, cb, cr, out0, out1, chromaWidth);
}

void ConvertRowPairTo555C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                          const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<Rgb555>(y0, y1, cb, cr, out0, out1, chromaWidth);
}

void DitherRowTo8C(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out,
                   int width, const std::uint8_t* dither) {
    const QuantiserTables& q = EightBitTables();
    for (int x = 0; x < width; x += 4) {
        for (int b = 0; b < 4; ++b) {
            const int d = dither[b];
            const int c = (x + b) / 2;
            const int lumaPart = q.luma[y[x + b] + d];
            const int crPart = q.cr[(cr[c] >> 1) + d];
            const int cbPart = q.cb[(cb[c] >> 1) + d];
            out[x + b] = q.indexMap[lumaPart | crPart | cbPart];
        }
    }
}

}  // namespace vistrel
