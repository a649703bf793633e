// SSSE3 24-bit routine: the SSE2 steps, with the three-byte pixels laid out by byte shuffles
// (three output vectors from the blue, green and red vectors of sixteen pixels).

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstdint>

#include "video/picture/ColourKernels.h"
#include "video/picture/ColourKernels_Sse2Steps.h"

namespace vistrel {
namespace {

// Output vector v takes byte 16v + i from sample (16v + i) / 3 when (16v + i) % 3 is the channel
// (0 blue, 1 green, 2 red), else zero. Built by the compiler (above the SSSE3 region).
struct ThreeByteMasks {
    alignas(16) std::int8_t bytes[3][3][16];  // [channel][output vector][byte]
    constexpr ThreeByteMasks() : bytes{} {
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
VISTREL_TARGET_BEGIN("ssse3")

namespace vistrel {

namespace {

using sse2::kStep;

inline void store24(std::uint8_t* out, const sse2::Offsets& o, const std::uint8_t* y) {
    const sse2::Planes p = sse2::pixels(o, y);
    const __m128i planes[3] = {p.blue, p.green, p.red};
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
               std::uint8_t* out0, std::uint8_t* out1, int chromaWidth) {
    int j = 0;
    for (; j + kStep <= chromaWidth; j += kStep) {
        const sse2::Offsets o = sse2::offsets(cb + j, cr + j);
        store24(out0 + 6 * j, o, y0 + 2 * j);
        store24(out1 + 6 * j, o, y1 + 2 * j);
    }
    if (j < chromaWidth)
        tail24(y0 + 2 * j, y1 + 2 * j, cb + j, cr + j, out0 + 6 * j, out1 + 6 * j, chromaWidth - j);
}

}  // namespace

void FillColourKernelsSsse3(ColourKernels* k) {
    // The table filled so far takes the tails.
    tail24 = k->to24;
    k->name = "ssse3";
    k->to24 = rowPair24;
}

}  // namespace vistrel

VISTREL_TARGET_END

#endif
