// The byte average with rounding control on SSE2 registers, shared by the half- and quarter-sample kernels.
#pragma once

#include <emmintrin.h>

// (a + b + 1 - Rnd) >> 1 per byte: the instruction rounds up; rounding down takes off the odd bit.
template <int Rnd>
inline __m128i Kvr_Avg2_SSE2(__m128i A, __m128i B) {
    const __m128i R = _mm_avg_epu8(A, B);
    if constexpr (Rnd == 0) return R;
    else return _mm_sub_epi8(R, _mm_and_si128(_mm_xor_si128(A, B), _mm_set1_epi8(1)));
}
