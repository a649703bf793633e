// SSE2 colour routines: eight chroma samples (sixteen pixels of each of the two rows) per step.
// The chroma offsets are the table values computed by multiply-adds, and the saturating pack to
// 0..255 equals the clamp table over every sum that can occur (-227..480).

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "video/picture/ColourKernels.h"
#include "video/picture/ColourKernels_Sse2Steps.h"

namespace vistrel {

namespace {

using sse2::kStep;
using sse2::Offsets;
using sse2::offsets;
using sse2::pixels;
using sse2::Planes;

// The sixteen pixels as four vectors of four blue, green, red, 0 pixels.
struct Bgrx {
    __m128i quad[4];
};

inline Bgrx interleave(const Planes& p) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(p.blue, p.green);
    const __m128i bgHi = _mm_unpackhi_epi8(p.blue, p.green);
    const __m128i r0Lo = _mm_unpacklo_epi8(p.red, zero);
    const __m128i r0Hi = _mm_unpackhi_epi8(p.red, zero);
    return Bgrx{{_mm_unpacklo_epi16(bgLo, r0Lo), _mm_unpackhi_epi16(bgLo, r0Lo), _mm_unpacklo_epi16(bgHi, r0Hi),
                 _mm_unpackhi_epi16(bgHi, r0Hi)}};
}

struct To32 {
    static constexpr int kBytes = 4;
    static void store(std::uint8_t* out, const Planes& p) {
        const Bgrx x = interleave(p);
        for (int k = 0; k < 4; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), x.quad[k]);
    }
};

// Four BGRX pixels squeezed into exactly 12 bytes, so nothing is written past the row.
inline void storeThreeByteQuad(std::uint8_t* out, __m128i bgrx) {
    const __m128i firstPixel = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i secondPixel = _mm_set1_epi64x(0x0000FFFFFF000000);
    // Each 64-bit half now holds two pixels in its low 6 bytes.
    const __m128i pairs =
        _mm_or_si128(_mm_and_si128(bgrx, firstPixel), _mm_and_si128(_mm_srli_epi64(bgrx, 8), secondPixel));
    const __m128i packed = _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    const std::uint32_t last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
    std::memcpy(out + 8, &last, sizeof last);
}

struct To24 {
    static constexpr int kBytes = 3;
    static void store(std::uint8_t* out, const Planes& p) {
        const Bgrx x = interleave(p);
        for (int k = 0; k < 4; ++k) storeThreeByteQuad(out + 12 * k, x.quad[k]);
    }
};

template <int RedShift, int GreenBits>
struct To16 {
    static constexpr int kBytes = 2;
    static void store(std::uint8_t* out, const Planes& p) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i topFive = _mm_set1_epi16(0xF8);
        const __m128i greenMask = _mm_set1_epi16(static_cast<short>((0xFF << (8 - GreenBits)) & 0xFF));
        const auto pack = [&](__m128i b, __m128i g, __m128i r) {
            const __m128i red = _mm_slli_epi16(_mm_and_si128(r, topFive), RedShift - 3);
            const __m128i green = _mm_slli_epi16(_mm_and_si128(g, greenMask), 5 - (8 - GreenBits));
            return _mm_or_si128(_mm_or_si128(red, green), _mm_srli_epi16(b, 3));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         pack(_mm_unpacklo_epi8(p.blue, zero), _mm_unpacklo_epi8(p.green, zero),
                              _mm_unpacklo_epi8(p.red, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                         pack(_mm_unpackhi_epi8(p.blue, zero), _mm_unpackhi_epi8(p.green, zero),
                              _mm_unpackhi_epi8(p.red, zero)));
    }
};

template <typename Pixel, RowPairFn Tail>
void rowPair(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
             std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    int j = 0;
    for (; j + kStep <= chromaWidth; j += kStep) {
        const Offsets o = offsets(cb + j, cr + j);
        Pixel::store(out0 + 2 * j * Pixel::kBytes, pixels(o, y0 + 2 * j));
        Pixel::store(out1 + 2 * j * Pixel::kBytes, pixels(o, y1 + 2 * j));
    }
    if (j < chromaWidth)
        Tail(y0 + 2 * j, y1 + 2 * j, cb + j, cr + j, out0 + 2 * j * Pixel::kBytes, out1 + 2 * j * Pixel::kBytes,
             chromaWidth - j);
}

// Sixteen palette indices: luma level clamp((Y + d - 8) >> 4, 1, 14) << 4, chroma levels
// clamp((C / 2 + d - 40) >> 4, 0, 3) (Cb's shifted left by 2): the quantiser tables' arithmetic.
inline __m128i ditherSixteen(const std::uint8_t* y, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                             __m128i dither) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i cb8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbRow));
    const __m128i cr8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(crRow));
    // One chroma sample per pixel.
    const __m128i cb = _mm_unpacklo_epi8(cb8, cb8);
    const __m128i cr = _mm_unpacklo_epi8(cr8, cr8);
    const auto half = [&](__m128i l, __m128i b, __m128i r) {
        const __m128i lumaLevel = _mm_min_epi16(
            _mm_max_epi16(_mm_srai_epi16(_mm_add_epi16(l, _mm_sub_epi16(dither, _mm_set1_epi16(8))), 4),
                          _mm_set1_epi16(1)),
            _mm_set1_epi16(14));
        const auto chromaLevel = [&](__m128i c) {
            const __m128i v = _mm_add_epi16(_mm_srli_epi16(c, 1), _mm_sub_epi16(dither, _mm_set1_epi16(40)));
            return _mm_min_epi16(_mm_max_epi16(_mm_srai_epi16(v, 4), zero), _mm_set1_epi16(3));
        };
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(lumaLevel, 4), chromaLevel(r)),
                            _mm_slli_epi16(chromaLevel(b), 2));
    };
    return _mm_packus_epi16(
        half(_mm_unpacklo_epi8(luma, zero), _mm_unpacklo_epi8(cb, zero), _mm_unpacklo_epi8(cr, zero)),
        half(_mm_unpackhi_epi8(luma, zero), _mm_unpackhi_epi8(cb, zero), _mm_unpackhi_epi8(cr, zero)));
}

void ditherRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out, int width,
               const std::uint8_t* dither) {
    const __m128i d =
        _mm_set_epi16(dither[3], dither[2], dither[1], dither[0], dither[3], dither[2], dither[1], dither[0]);
    int x = 0;
    for (; x + 16 <= width; x += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), ditherSixteen(y + x, cb + x / 2, cr + x / 2, d));
    if (x < width) DitherRowTo8C(y + x, cb + x / 2, cr + x / 2, out + x, width - x, dither);
}

}  // namespace

void FillColourKernelsSse2(ColourKernels* k) {
    k->name = "sse2";
    k->to24 = rowPair<To24, ConvertRowPairTo24C>;
    k->to32 = rowPair<To32, ConvertRowPairTo32C>;
    k->to565 = rowPair<To16<11, 6>, ConvertRowPairTo565C>;
    k->to555 = rowPair<To16<10, 5>, ConvertRowPairTo555C>;
    k->to8 = ditherRow;
}

}  // namespace vistrel

#endif
