#pragma once
// The 128-bit steps every 128-bit colour routine shares: eight chroma samples to three vectors of
// 16-bit offsets, and sixteen luma samples plus those offsets to sixteen blue, green and red
// values. SSE2 only, so a routine built for a later instruction set may use them as they are.

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

#include <cstdint>

#include "video/picture/ColourKernels.h"

namespace vistrel::sse2 {

inline constexpr int kStep = 8;  // chroma samples per step

struct Offsets {
    __m128i blue;  // eight 16-bit offsets, one per chroma sample
    __m128i green;
    __m128i red;
};

inline __m128i offsetPairs(__m128i a, __m128i b, int factorA, int factorB, int base) {
    const __m128i factors = _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(factorB) << 16) |
                                                            (static_cast<std::uint32_t>(factorA) & 0xFFFF)));
    const __m128i k = _mm_set1_epi32(base);
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), factors), k), 16);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), factors), k), 16);
    return _mm_packs_epi32(lo, hi);
}

inline Offsets offsets(const std::uint8_t* cbRow, const std::uint8_t* crRow) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i cb = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbRow)), zero);
    const __m128i cr = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(crRow)), zero);
    return Offsets{offsetPairs(cb, _mm_slli_epi16(cb, 2), kBlueFromCb, kBlueFrom4Cb, kBlueBase),
                   offsetPairs(_mm_slli_epi16(cr, 1), cb, kGreenFrom2Cr, kGreenFromCb, kGreenBase),
                   offsetPairs(cr, _mm_slli_epi16(cr, 2), kRedFromCr, kRedFrom4Cr, kRedBase)};
}

struct Planes {
    __m128i blue;  // sixteen pixels each
    __m128i green;
    __m128i red;
};

inline Planes pixels(const Offsets& o, const std::uint8_t* y) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i lumaLo = _mm_unpacklo_epi8(luma, zero);
    const __m128i lumaHi = _mm_unpackhi_epi8(luma, zero);
    const auto channel = [&](__m128i offset) {
        // Each chroma offset covers two neighbouring pixels.
        return _mm_packus_epi16(_mm_add_epi16(lumaLo, _mm_unpacklo_epi16(offset, offset)),
                                _mm_add_epi16(lumaHi, _mm_unpackhi_epi16(offset, offset)));
    };
    return Planes{channel(o.blue), channel(o.green), channel(o.red)};
}

}  // namespace vistrel::sse2

#endif
