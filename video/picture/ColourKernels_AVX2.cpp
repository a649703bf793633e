// AVX2 colour routines: sixteen chroma samples (thirty-two pixels of each of the two rows) per
// step, with the arithmetic of the SSE2 routines. The in-lane unpacks and packs are arranged so
// that every 256-bit vector of samples holds its pixels in order.

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

#include "video/picture/ColourKernels.h"

namespace vistrel {
namespace {

// Byte shuffles that spread sixteen samples of one channel over the 48 bytes of sixteen 3-byte
// pixels: output vector v takes byte 16v + i from sample (16v + i) / 3 when (16v + i) % 3 is the
// channel, else zero. Built by the compiler (defined above the AVX2 region: no start-up code).
struct ThreeByteMasks {
    alignas(32) std::int8_t bytes[3][3][32];  // [channel][output vector][byte], both lanes alike
    constexpr ThreeByteMasks() : bytes{} {
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 3; ++v)
                for (int i = 0; i < 32; ++i) {
                    const int k = 16 * v + i % 16;
                    bytes[c][v][i] = static_cast<std::int8_t>(k % 3 == c ? k / 3 : -128);
                }
    }
};
constexpr ThreeByteMasks kThreeByteMasks;

}  // namespace
}  // namespace vistrel

// Only the code below is built for AVX2; everything included above keeps the baseline target, so
// no shared inline function can end up with AVX2 instructions on a processor without them.
VISTREL_TARGET_BEGIN("avx2")

namespace vistrel {

namespace {

constexpr int kStep = 16;  // chroma samples per step

struct Offsets {
    __m256i blue;  // sixteen 16-bit offsets, one per chroma sample, in order
    __m256i green;
    __m256i red;
};

inline __m256i offsetPairs(__m256i a, __m256i b, int factorA, int factorB, int base) {
    const __m256i factors = _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(factorB) << 16) |
                                                               (static_cast<std::uint32_t>(factorA) & 0xFFFF)));
    const __m256i k = _mm256_set1_epi32(base);
    // unpacklo/hi work per 128-bit lane; the pack below puts the samples back in order.
    const __m256i lo =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), factors), k), 16);
    const __m256i hi =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), factors), k), 16);
    return _mm256_packs_epi32(lo, hi);
}

inline Offsets offsets(const std::uint8_t* cbRow, const std::uint8_t* crRow) {
    const __m256i cb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cbRow)));
    const __m256i cr = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(crRow)));
    return Offsets{offsetPairs(cb, _mm256_slli_epi16(cb, 2), kBlueFromCb, kBlueFrom4Cb, kBlueBase),
                   offsetPairs(_mm256_slli_epi16(cr, 1), cb, kGreenFrom2Cr, kGreenFromCb, kGreenBase),
                   offsetPairs(cr, _mm256_slli_epi16(cr, 2), kRedFromCr, kRedFrom4Cr, kRedBase)};
}

struct Planes {
    __m256i blue;  // thirty-two pixels each, in order
    __m256i green;
    __m256i red;
};

inline Planes pixels(const Offsets& o, const std::uint8_t* y) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    // Lane by lane: lumaLo holds pixels 0..7 and 16..23, lumaHi 8..15 and 24..31; the doubled
    // offsets line up with them, and the pack restores 0..31.
    const __m256i lumaLo = _mm256_unpacklo_epi8(luma, zero);
    const __m256i lumaHi = _mm256_unpackhi_epi8(luma, zero);
    const auto channel = [&](__m256i offset) {
        return _mm256_packus_epi16(_mm256_add_epi16(lumaLo, _mm256_unpacklo_epi16(offset, offset)),
                                   _mm256_add_epi16(lumaHi, _mm256_unpackhi_epi16(offset, offset)));
    };
    return Planes{channel(o.blue), channel(o.green), channel(o.red)};
}

inline void store128(std::uint8_t* out, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v); }
inline void store256(std::uint8_t* out, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v); }

struct To32 {
    static constexpr int kBytes = 4;
    static void store(std::uint8_t* out, const Planes& p) {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i bgLo = _mm256_unpacklo_epi8(p.blue, p.green);  // pixels 0..7 | 16..23
        const __m256i bgHi = _mm256_unpackhi_epi8(p.blue, p.green);  // pixels 8..15 | 24..31
        const __m256i r0Lo = _mm256_unpacklo_epi8(p.red, zero);
        const __m256i r0Hi = _mm256_unpackhi_epi8(p.red, zero);
        const __m256i q0 = _mm256_unpacklo_epi16(bgLo, r0Lo);  // 0..3 | 16..19
        const __m256i q1 = _mm256_unpackhi_epi16(bgLo, r0Lo);  // 4..7 | 20..23
        const __m256i q2 = _mm256_unpacklo_epi16(bgHi, r0Hi);  // 8..11 | 24..27
        const __m256i q3 = _mm256_unpackhi_epi16(bgHi, r0Hi);  // 12..15 | 28..31
        store256(out, _mm256_permute2x128_si256(q0, q1, 0x20));
        store256(out + 32, _mm256_permute2x128_si256(q2, q3, 0x20));
        store256(out + 64, _mm256_permute2x128_si256(q0, q1, 0x31));
        store256(out + 96, _mm256_permute2x128_si256(q2, q3, 0x31));
    }
};

struct To24 {
    static constexpr int kBytes = 3;
    static void store(std::uint8_t* out, const Planes& p) {
        // Each lane holds sixteen consecutive pixels; it yields 48 consecutive bytes.
        __m256i v[3];
        for (int i = 0; i < 3; ++i) {
            const auto mask = [&](int channel) {
                return _mm256_load_si256(reinterpret_cast<const __m256i*>(kThreeByteMasks.bytes[channel][i]));
            };
            v[i] = _mm256_or_si256(
                _mm256_or_si256(_mm256_shuffle_epi8(p.blue, mask(0)), _mm256_shuffle_epi8(p.green, mask(1))),
                _mm256_shuffle_epi8(p.red, mask(2)));
        }
        store256(out, _mm256_permute2x128_si256(v[0], v[1], 0x20));
        store128(out + 32, _mm256_castsi256_si128(v[2]));
        store256(out + 48, _mm256_permute2x128_si256(v[0], v[1], 0x31));
        store128(out + 80, _mm256_extracti128_si256(v[2], 1));
    }
};

template <int RedShift, int GreenBits>
struct To16 {
    static constexpr int kBytes = 2;
    static void store(std::uint8_t* out, const Planes& p) {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i topFive = _mm256_set1_epi16(0xF8);
        const __m256i greenMask = _mm256_set1_epi16(static_cast<short>((0xFF << (8 - GreenBits)) & 0xFF));
        const auto pack = [&](__m256i b, __m256i g, __m256i r) {
            const __m256i red = _mm256_slli_epi16(_mm256_and_si256(r, topFive), RedShift - 3);
            const __m256i green = _mm256_slli_epi16(_mm256_and_si256(g, greenMask), 5 - (8 - GreenBits));
            return _mm256_or_si256(_mm256_or_si256(red, green), _mm256_srli_epi16(b, 3));
        };
        const __m256i lo = pack(_mm256_unpacklo_epi8(p.blue, zero), _mm256_unpacklo_epi8(p.green, zero),
                                _mm256_unpacklo_epi8(p.red, zero));  // pixels 0..7 | 16..23
        const __m256i hi = pack(_mm256_unpackhi_epi8(p.blue, zero), _mm256_unpackhi_epi8(p.green, zero),
                                _mm256_unpackhi_epi8(p.red, zero));  // pixels 8..15 | 24..31
        store256(out, _mm256_permute2x128_si256(lo, hi, 0x20));
        store256(out + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
    }
};

template <typename Pixel>
void rowPair(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
             std::uint8_t* out0, std::uint8_t* out1, int chromaWidth, RowPairFn tail) {
    int j = 0;
    for (; j + kStep <= chromaWidth; j += kStep) {
        const Offsets o = offsets(cb + j, cr + j);
        Pixel::store(out0 + 2 * j * Pixel::kBytes, pixels(o, y0 + 2 * j));
        Pixel::store(out1 + 2 * j * Pixel::kBytes, pixels(o, y1 + 2 * j));
    }
    if (j < chromaWidth)
        tail(y0 + 2 * j, y1 + 2 * j, cb + j, cr + j, out0 + 2 * j * Pixel::kBytes, out1 + 2 * j * Pixel::kBytes,
             chromaWidth - j);
}

// What is left of a row after the wide steps goes to the SSE2 routine (then to C).
RowPairFn tail24;
RowPairFn tail32;
RowPairFn tail565;
RowPairFn tail555;
DitherRowFn tail8;

void rowPair24(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
               std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<To24>(y0, y1, cb, cr, out0, out1, chromaWidth, tail24);
}
void rowPair32(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
               std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<To32>(y0, y1, cb, cr, out0, out1, chromaWidth, tail32);
}
void rowPair565(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
                std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<To16<11, 6>>(y0, y1, cb, cr, out0, out1, chromaWidth, tail565);
}
void rowPair555(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb, const std::uint8_t* cr,
                std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    rowPair<To16<10, 5>>(y0, y1, cb, cr, out0, out1, chromaWidth, tail555);
}

// Thirty-two palette indices with the arithmetic of the quantiser tables (see the SSE2 routine).
inline __m256i ditherThirtyTwo(const std::uint8_t* y, const std::uint8_t* cbRow, const std::uint8_t* crRow,
                               __m256i dither) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    // One chroma sample per pixel, pixels 0..31 in order.
    const __m256i cb = _mm256_permute4x64_epi64(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cbRow))), 0x50);
    const __m256i cr = _mm256_permute4x64_epi64(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(crRow))), 0x50);
    const __m256i cbPixels = _mm256_unpacklo_epi8(cb, cb);
    const __m256i crPixels = _mm256_unpacklo_epi8(cr, cr);
    const auto half = [&](__m256i l, __m256i b, __m256i r) {
        const __m256i lumaLevel = _mm256_min_epi16(
            _mm256_max_epi16(
                _mm256_srai_epi16(_mm256_add_epi16(l, _mm256_sub_epi16(dither, _mm256_set1_epi16(8))), 4),
                _mm256_set1_epi16(1)),
            _mm256_set1_epi16(14));
        const auto chromaLevel = [&](__m256i c) {
            const __m256i v =
                _mm256_add_epi16(_mm256_srli_epi16(c, 1), _mm256_sub_epi16(dither, _mm256_set1_epi16(40)));
            return _mm256_min_epi16(_mm256_max_epi16(_mm256_srai_epi16(v, 4), zero), _mm256_set1_epi16(3));
        };
        return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(lumaLevel, 4), chromaLevel(r)),
                               _mm256_slli_epi16(chromaLevel(b), 2));
    };
    return _mm256_packus_epi16(half(_mm256_unpacklo_epi8(luma, zero), _mm256_unpacklo_epi8(cbPixels, zero),
                                    _mm256_unpacklo_epi8(crPixels, zero)),
                               half(_mm256_unpackhi_epi8(luma, zero), _mm256_unpackhi_epi8(cbPixels, zero),
                                    _mm256_unpackhi_epi8(crPixels, zero)));
}

void ditherRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out, int width,
               const std::uint8_t* dither) {
    const __m256i d = _mm256_setr_epi16(dither[0], dither[1], dither[2], dither[3], dither[0], dither[1],
                                        dither[2], dither[3], dither[0], dither[1], dither[2], dither[3],
                                        dither[0], dither[1], dither[2], dither[3]);
    int x = 0;
    for (; x + 32 <= width; x += 32) store256(out + x, ditherThirtyTwo(y + x, cb + x / 2, cr + x / 2, d));
    if (x < width) tail8(y + x, cb + x / 2, cr + x / 2, out + x, width - x, dither);
}

}  // namespace

void FillColourKernelsAvx2(ColourKernels* k) {
    // The table filled so far (SSE2 or C) takes the tails.
    tail24 = k->to24;
    tail32 = k->to32;
    tail565 = k->to565;
    tail555 = k->to555;
    tail8 = k->to8;
    k->name = "avx2";
    k->to24 = rowPair24;
    k->to32 = rowPair32;
    k->to565 = rowPair565;
    k->to555 = rowPair555;
    k->to8 = ditherRow;
}

}  // namespace vistrel

VISTREL_TARGET_END

#endif
