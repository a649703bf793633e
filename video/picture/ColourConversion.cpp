#include "video/picture/ColourConversion.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    static constexpr bool kHasSimd = true;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
};

struct Bgr32 {
    static constexpr int kBytes = 4;
    static constexpr bool kHasSimd = true;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        const std::uint32_t v = static_cast<std::uint32_t>(b) | static_cast<std::uint32_t>(g) << 8 |
                                static_cast<std::uint32_t>(r) << 16;
        store(p, v);
    }
};

struct Rgb565 {
    static constexpr int kBytes = 2;
    static constexpr bool kHasSimd = true;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        store(p, static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)));
    }
};

struct Rgb555 {
    static constexpr int kBytes = 2;
    static constexpr bool kHasSimd = true;
    static void put(std::uint8_t* p, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        store(p, static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)));
    }
};

// The tables, fetched once per picture.
struct DirectTables {
    const std::int32_t* greenCb;
    const std::int32_t* blueCb;
    const std::int32_t* redCr;
    const std::int32_t* greenCr;
    const std::uint8_t* clamp;
};

// Two luma rows and the chroma row they share, with the two destination rows.
struct RowPair {
    const std::uint8_t* y0;
    const std::uint8_t* y1;
    const std::uint8_t* cb;
    const std::uint8_t* cr;
    std::uint8_t* out0;
    std::uint8_t* out1;
};

#if defined(__SSE2__)
// Eight chroma columns (16 pixels of each row) per step, bit-exact with the table path: the
// per-chroma offsets still come from the tables, and packus saturating to 0..255 is the same as the
// clamp table over every sum that can occur (-227..480). Returns the chroma columns converted.
constexpr int kSimdChroma = 8;

struct SimdPlanes {
    __m128i blue;
    __m128i green;
    __m128i red;
};

inline SimdPlanes simdPixels(const DirectTables& t, const RowPair& rp, int j, const std::uint8_t* y)
{
    alignas(16) std::int16_t blue[kSimdChroma];
    alignas(16) std::int16_t green[kSimdChroma];
    alignas(16) std::int16_t red[kSimdChroma];
    for (int k = 0; k < kSimdChroma; ++k) {
        const int cb = rp.cb[j + k];
        const int cr = rp.cr[j + k];
        blue[k] = static_cast<std::int16_t>(t.blueCb[cb]);
        red[k] = static_cast<std::int16_t>(t.redCr[cr]);
        green[k] = static_cast<std::int16_t>((t.greenCr[cr] + t.greenCb[cb]) >> 16);
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * j));
    const __m128i lumaLo = _mm_unpacklo_epi8(luma, zero);
    const __m128i lumaHi = _mm_unpackhi_epi8(luma, zero);
    const auto channel = [&](const std::int16_t* offsets) {
        const __m128i o = _mm_load_si128(reinterpret_cast<const __m128i*>(offsets));
        // Each chroma offset covers two neighbouring pixels.
        const __m128i lo = _mm_add_epi16(lumaLo, _mm_unpacklo_epi16(o, o));
        const __m128i hi = _mm_add_epi16(lumaHi, _mm_unpackhi_epi16(o, o));
        return _mm_packus_epi16(lo, hi);
    };
    return SimdPlanes{channel(blue), channel(green), channel(red)};
}

// The 16 pixels as four vectors of four blue, green, red, 0 pixels.
struct Bgrx {
    __m128i quad[4];
};

inline Bgrx interleave(const SimdPlanes& p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(p.blue, p.green);
    const __m128i bgHi = _mm_unpackhi_epi8(p.blue, p.green);
    const __m128i r0Lo = _mm_unpacklo_epi8(p.red, zero);
    const __m128i r0Hi = _mm_unpackhi_epi8(p.red, zero);
    return Bgrx{{_mm_unpacklo_epi16(bgLo, r0Lo), _mm_unpackhi_epi16(bgLo, r0Lo),
                 _mm_unpacklo_epi16(bgHi, r0Hi), _mm_unpackhi_epi16(bgHi, r0Hi)}};
}

inline void storeSimd(Bgr32, std::uint8_t* out, const SimdPlanes& p)
{
    const Bgrx x = interleave(p);
    __m128i* o = reinterpret_cast<__m128i*>(out);
    for (int k = 0; k < 4; ++k)
        _mm_storeu_si128(o + k, x.quad[k]);
}

// Four BGRX pixels squeezed into exactly 12 bytes, so nothing is written past the row.
inline void storeThreeByteQuad(std::uint8_t* out, __m128i bgrx)
{
    const __m128i firstPixel = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i secondPixel = _mm_set1_epi64x(0x0000FFFFFF000000);
    // Each 64-bit half now holds two pixels in its low 6 bytes.
    const __m128i pairs = _mm_or_si128(_mm_and_si128(bgrx, firstPixel),
                                       _mm_and_si128(_mm_srli_epi64(bgrx, 8), secondPixel));
    const __m128i packed = _mm_or_si128(_mm_move_epi64(pairs),
                                        _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    const std::uint32_t last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
    std::memcpy(out + 8, &last, sizeof last);
}

inline void storeSimd(Bgr24, std::uint8_t* out, const SimdPlanes& p)
{
    const Bgrx x = interleave(p);
    for (int k = 0; k < 4; ++k)
        storeThreeByteQuad(out + 12 * k, x.quad[k]);
}

template <int RedShift, int GreenBits>
inline void storePacked16(std::uint8_t* out, const SimdPlanes& p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i redMask = _mm_set1_epi16(0xF8);
    const __m128i greenMask = _mm_set1_epi16(static_cast<short>((0xFF << (8 - GreenBits)) & 0xFF));
    const auto pack = [&](__m128i b, __m128i g, __m128i r) {
        const __m128i red = _mm_slli_epi16(_mm_and_si128(r, redMask), RedShift - 3);
        const __m128i green = _mm_slli_epi16(_mm_and_si128(g, greenMask), 5 - (8 - GreenBits));
        return _mm_or_si128(_mm_or_si128(red, green), _mm_srli_epi16(b, 3));
    };
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o + 0, pack(_mm_unpacklo_epi8(p.blue, zero), _mm_unpacklo_epi8(p.green, zero),
                                 _mm_unpacklo_epi8(p.red, zero)));
    _mm_storeu_si128(o + 1, pack(_mm_unpackhi_epi8(p.blue, zero), _mm_unpackhi_epi8(p.green, zero),
                                 _mm_unpackhi_epi8(p.red, zero)));
}

inline void storeSimd(Rgb565, std::uint8_t* out, const SimdPlanes& p)
{
    storePacked16<11, 6>(out, p);
}

inline void storeSimd(Rgb555, std::uint8_t* out, const SimdPlanes& p)
{
    storePacked16<10, 5>(out, p);
}

template <typename Pixel>
int convertSimd(const DirectTables& t, const RowPair& rp, int chromaWidth)
{
    int j = 0;
    for (; j + kSimdChroma <= chromaWidth; j += kSimdChroma) {
        const SimdPlanes top = simdPixels(t, rp, j, rp.y0);
        const SimdPlanes bottom = simdPixels(t, rp, j, rp.y1);
        storeSimd(Pixel{}, rp.out0 + 2 * j * Pixel::kBytes, top);
        storeSimd(Pixel{}, rp.out1 + 2 * j * Pixel::kBytes, bottom);
    }
    return j;
}
#endif

// Chroma offsets are computed once per 2 x 2 block and the chroma is replicated over it.
template <typename Pixel>
void convertDirect(const YuvPicture& source, std::uint8_t* const* rows)
{
    const std::int32_t* colour = ColourTable();
    const DirectTables t{colour + kColourRunGreenCb, colour + kColourRunBlueCb,
                         colour + kColourRunRedCr, colour + kColourRunGreenCr, OutputClamp()};
    const int chromaWidth = source.width() / 2;
    const int chromaHeight = source.height() / 2;
    for (int i = 0; i < chromaHeight; ++i) {
        const RowPair rp{source.luma().rows[2 * i], source.luma().rows[2 * i + 1],
                         source.cb().rows[i],       source.cr().rows[i],
                         rows[2 * i],               rows[2 * i + 1]};
        int j = 0;
#if defined(__SSE2__)
        if constexpr (Pixel::kHasSimd)
            j = convertSimd<Pixel>(t, rp, chromaWidth);
#endif
        for (; j < chromaWidth; ++j) {
            const int cb = rp.cb[j];
            const int cr = rp.cr[j];
            const int blue = t.blueCb[cb];
            const int red = t.redCr[cr];
            const int green = (t.greenCr[cr] + t.greenCb[cb]) >> 16;
            const auto put = [&](std::uint8_t* p, int y) {
                Pixel::put(p, t.clamp[y + red], t.clamp[y + green], t.clamp[y + blue]);
            };
            put(rp.out0 + (2 * j) * Pixel::kBytes, rp.y0[2 * j]);
            put(rp.out0 + (2 * j + 1) * Pixel::kBytes, rp.y0[2 * j + 1]);
            put(rp.out1 + (2 * j) * Pixel::kBytes, rp.y1[2 * j]);
            put(rp.out1 + (2 * j + 1) * Pixel::kBytes, rp.y1[2 * j + 1]);
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
