// The SSE2 flat-block kernel.

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

#include <cstdint>

#include "video/h263/H263Kernels.h"

namespace vistrel::h263 {

namespace {

void flatAddSse2(std::int32_t value, std::uint8_t* dst, int stride) {
    // Saturating to 16 bits changes no clamped sample.
    const __m128i v = _mm_set1_epi16(std::int16_t(value < -32768 ? -32768 : (value > 32767 ? 32767 : value)));
    const __m128i zero = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r, dst += stride) {
        const __m128i prediction = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero);
        const __m128i sum = _mm_adds_epi16(prediction, v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(sum, sum));
    }
}

}  // namespace

void FillH263KernelsSse2(H263Kernels* k) { k->flatAdd = flatAddSse2; }

}  // namespace vistrel::h263

#endif
