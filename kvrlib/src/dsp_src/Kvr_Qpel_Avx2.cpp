// AVX2 quarter-sample interpolation of 16x16 blocks: a whole line of sixteen outputs per register in
// 16-bit lanes (the SSE2 variant needs two). Same filter, mirroring and values as Kvr_Qpel_C.cpp.
// Compiled for AVX2 per function (the pragma below), installed only when the processor has AVX2,
// and then only for the positions where it was measured faster than SSE2 (Kvr_Qpel16_Avx2_Pays).
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <immintrin.h>

#include <cstring>

// Outside the AVX2 region: the 128-bit average is the SSE2 one.
#include "dsp_src/Kvr_Avg_Sse2.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

inline __m128i Load16(const uint8_t* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }
inline void Store16(uint8_t* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }
inline __m256i Wide(const uint8_t* P) { return _mm256_cvtepu8_epi16(Load16(P)); }

// 20 (s3 + s4) - 6 (s2 + s5) + 3 (s1 + s6) - (s0 + s7), rounded, / 32, clamped: sixteen bytes.
template <int Rnd>
inline __m128i Filter(__m256i s0, __m256i s1, __m256i s2, __m256i s3, __m256i s4, __m256i s5, __m256i s6,
                      __m256i s7) {
    const __m256i A = _mm256_mullo_epi16(_mm256_add_epi16(s3, s4), _mm256_set1_epi16(20));
    const __m256i B = _mm256_mullo_epi16(_mm256_add_epi16(s2, s5), _mm256_set1_epi16(6));
    const __m256i C = _mm256_mullo_epi16(_mm256_add_epi16(s1, s6), _mm256_set1_epi16(3));
    const __m256i D = _mm256_add_epi16(s0, s7);
    __m256i T = _mm256_add_epi16(_mm256_sub_epi16(A, B), _mm256_sub_epi16(C, D));
    T = _mm256_srai_epi16(_mm256_add_epi16(T, _mm256_set1_epi16(16 - Rnd)), 5);
    return _mm_packus_epi16(_mm256_castsi256_si128(T), _mm256_extracti128_si256(T, 1));
}

template <int Rnd>
inline void Lowpass_H_Line(uint8_t* Dst, const uint8_t* Src) {
    alignas(32) uint8_t E[48];  // E[j] = sample j - 3, mirrored beyond both ends
    std::memcpy(E + 3, Src, 17);
    E[2] = Src[0];
    E[1] = Src[1];
    E[0] = Src[2];
    E[20] = Src[16];
    E[21] = Src[15];
    E[22] = Src[14];
    Store16(Dst, Filter<Rnd>(Wide(E), Wide(E + 1), Wide(E + 2), Wide(E + 3), Wide(E + 4), Wide(E + 5), Wide(E + 6),
                             Wide(E + 7)));
}

// Sixteen output lines from the seventeen lines of In (stride 16), mirrored at both ends.
template <int Rnd>
inline void Lowpass_V(uint8_t* Dst, const uint8_t* In) {
    // Lines 0-2 and 13-15 reach over an end and take mirrored taps; the others read straight down.
    __m256i L[17];
    for (int j = 0; j <= 16; ++j) L[j] = Wide(In + 16 * j);
    constexpr int Map[23] = {2, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16, 15, 14};
    for (int i = 0; i < 16; ++i) {
        const int* M = Map + i;  // Map[k] = line k - 3, mirrored
        Store16(Dst + 16 * i, Filter<Rnd>(L[M[0]], L[M[1]], L[M[2]], L[M[3]], L[M[4]], L[M[5]], L[M[6]], L[M[7]]));
    }
}

template <int Rnd, int Pos>
inline void Predict(uint8_t* Out, const uint8_t* Src, int BpS) {
    constexpr int Fx = Pos & 3, Fy = Pos >> 2;
    constexpr int Lines = Fy ? 17 : 16;
    alignas(32) uint8_t H[16 * 17];
    uint8_t* Hs = Fy ? H : Out;
    if constexpr (Fx == 0) {
        for (int y = 0; y < Lines; ++y) Store16(Hs + 16 * y, Load16(Src + y * BpS));
    } else {
        for (int y = 0; y < Lines; ++y) {
            uint8_t* D = Hs + 16 * y;
            Lowpass_H_Line<Rnd>(D, Src + y * BpS);
            if constexpr (Fx == 1) Store16(D, Kvr_Avg2_SSE2<Rnd>(Load16(D), Load16(Src + y * BpS)));
            if constexpr (Fx == 3) Store16(D, Kvr_Avg2_SSE2<Rnd>(Load16(D), Load16(Src + y * BpS + 1)));
        }
    }
    if constexpr (Fy != 0) {
        if constexpr (Fy == 2) {
            Lowpass_V<Rnd>(Out, H);
        } else {
            alignas(32) uint8_t V[256];
            Lowpass_V<Rnd>(V, H);
            const uint8_t* Near = Fy == 1 ? H : H + 16;
            for (int y = 0; y < 16; ++y)
                Store16(Out + 16 * y, Kvr_Avg2_SSE2<Rnd>(Load16(Near + 16 * y), Load16(V + 16 * y)));
        }
    }
}

template <int Rnd, int Pos>
void Qpel16_Put(uint8_t* Dst, const uint8_t* Src, int BpS) {
    if constexpr (Pos == 0) {
        for (int y = 0; y < 16; ++y) Store16(Dst + y * BpS, Load16(Src + y * BpS));
    } else {
        alignas(32) uint8_t P[256];
        Predict<Rnd, Pos>(P, Src, BpS);
        for (int y = 0; y < 16; ++y) Store16(Dst + y * BpS, Load16(P + 16 * y));
    }
}

template <int Pos>
void Qpel16_Avg(uint8_t* Dst, const uint8_t* Src, int BpS) {
    alignas(32) uint8_t P[256];
    if constexpr (Pos == 0) {
        for (int y = 0; y < 16; ++y) Store16(P + 16 * y, Load16(Src + y * BpS));
    } else {
        Predict<0, Pos>(P, Src, BpS);
    }
    for (int y = 0; y < 16; ++y) Store16(Dst + y * BpS, _mm_avg_epu8(Load16(Dst + y * BpS), Load16(P + 16 * y)));
}

#define KVR_QPEL_ROW(F, ...)                                                                               \
    {                                                                                                      \
        F<__VA_ARGS__ 0>, F<__VA_ARGS__ 1>, F<__VA_ARGS__ 2>, F<__VA_ARGS__ 3>, F<__VA_ARGS__ 4>,          \
            F<__VA_ARGS__ 5>, F<__VA_ARGS__ 6>, F<__VA_ARGS__ 7>, F<__VA_ARGS__ 8>, F<__VA_ARGS__ 9>,      \
            F<__VA_ARGS__ 10>, F<__VA_ARGS__ 11>, F<__VA_ARGS__ 12>, F<__VA_ARGS__ 13>, F<__VA_ARGS__ 14>, \
            F<__VA_ARGS__ 15>                                                                              \
    }

}  // namespace

// Instantiated here, inside the AVX2 region.
const KVR_QPEL_FN Kvr_Qpel16_Put_AVX2[2][16] = {KVR_QPEL_ROW(Qpel16_Put, 0, ), KVR_QPEL_ROW(Qpel16_Put, 1, )};
const KVR_QPEL_FN Kvr_Qpel16_Avg_AVX2[16] = KVR_QPEL_ROW(Qpel16_Avg, );

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Outside the AVX2 region: the installation asks this on every processor.
// Measured with bench_mpeg4_asp (BM_Qpel16Level): about 10% faster than SSE2 on the horizontal-only
// positions, 10-35% slower wherever the vertical stage runs (seventeen wide lines do not stay in
// registers), so only the former are installed.
bool Kvr_Qpel16_Avx2_Pays(int Pos) { return (Pos >> 2) == 0; }
#endif
