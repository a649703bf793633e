// SSSE3 24-bit routine: the SSE2 arithmetic, with the three-byte pixels laid out by byte shuffles
// (three output vectors from the blue, green and red vectors of sixteen pixels).

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstdint>

#include "video/picture/ColourKernels.h"

namespace vistrel {
namespace {

// Output vector v takes byte 16v + i from sample (16v + i) / 3 when (16v + i) % 3 is the channel
// (0 blue, 1 green, 2 red), else zero. Built by the compiler (above the SSSE3 region).
struct ThreeByteMasks {
    alignas(16) std::int8_t bytes[3][3][16];  // [channel][output vector][byte]
    constexpr ThreeByteMasks() : bytes{}
    {
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 3; ++v)
                for (int i = 0; i < 16; ++i) {
                    const int k = 16 * v + i;
                    bytes[c][v][i] = static_cast<std::int8_t>(k % 3 == c ? k / 3 : -128);
                }
    }
};
constexpr ThreeByteMasks kThreeByteMasks;

}  // namespace
}  // namespace vistrel

// Only the code below is built for SSSE3; everything included above keeps the baseline target.
#pragma GCC push_options
#pragma GCC target("ssse3")

namespace vistrel {

namespace {

constexpr int kStep = 8;  // chroma samples per step

inline __m128i offsetPairs(__m128i a, __m128i b, int factorA, int factorB, int base)
{
    const __m128i factors = _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(factorB) << 16) |
                                                            (static_cast<std::uint32_t>(factorA) & 0xFFFF)));
    const __m128i k = _mm_set1_epi32(base);
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), factors), k), 16);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), factors), k), 16);
    return _mm_packs_epi32(lo, hi);
}

struct Offsets {
    __m128i blue;
    __m128i green;
    __m128i red;
};

inline Offsets offsets(const std::uint8_t* cbRow, const std::uint8_t* crRow)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i cb = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbRow)), zero);
    const __m128i cr = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(crRow)), zero);
    return Offsets{offsetPairs(cb, _mm_slli_epi16(cb, 2), kBlueFromCb, kBlueFrom4Cb, kBlueBase),
                   offsetPairs(_mm_slli_epi16(cr, 1), cb, kGreenFrom2Cr, kGreenFromCb, kGreenBase),
                   offsetPairs(cr, _mm_slli_epi16(cr, 2), kRedFromCr, kRedFrom4Cr, kRedBase)};
}

inline void store24(std::uint8_t* out, const Offsets& o, const std::uint8_t* y)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i lumaLo = _mm_unpacklo_epi8(luma, zero);
    const __m128i lumaHi = _mm_unpackhi_epi8(luma, zero);
    const auto channel = [&](__m128i offset) {
        return _mm_packus_epi16(_mm_add_epi16(lumaLo, _mm_unpacklo_epi16(offset, offset)),
                                _mm_add_epi16(lumaHi, _mm_unpackhi_epi16(offset, offset)));
    };
    const __m128i planes[3] = {channel(o.blue), channel(o.green), channel(o.red)};
    for (int v = 0; v < 3; ++v) {
        __m128i bytes = _mm_setzero_si128();
        for (int c = 0; c < 3; ++c) {
            const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(kThreeByteMasks.bytes[c][v]));
            bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(planes[c], mask));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v), bytes);
    }
}

RowPairFn tail24;

void rowPair24(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
               std::uint8_t* out0, std::uint8_t* out1, int chromaWidth)
{
    int j = 0;
    for (; j + kStep <= chromaWidth; j += kStep) {
        const Offsets o = offsets(cb + j, cr + j);
        store24(out0 + 6 * j, o, y0 + 2 * j);
        store24(out1 + 6 * j, o, y1 + 2 * j);
    }
    if (j < chromaWidth)
        tail24(y0 + 2 * j, y1 + 2 * j, cb + j, cr + j, out0 + 6 * j, out1 + 6 * j, chromaWidth - j);
}

}  // namespace

void FillColourKernelsSsse3(ColourKernels* k)
{
    // The table filled so far takes the tails.
    tail24 = k->to24;
    k->name = "ssse3";
    k->to24 = rowPair24;
}

}  // namespace vistrel

#pragma GCC pop_options

#endif
