// SSE2 quarter-sample interpolation: the same separable 8-tap filter with mirrored block edges as
// Kvr_Qpel_C.cpp, eight outputs per register in 16-bit lanes, and the same values.
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <emmintrin.h>

#include <cstring>

#include "dsp_src/Kvr_Avg_Sse2.h"

namespace {

inline __m128i Load8(const uint8_t* P) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)); }
inline __m128i Load16(const uint8_t* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }
inline void Store8(uint8_t* P, __m128i V) { _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V); }
inline void Store16(uint8_t* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }
inline __m128i Wide(__m128i V) { return _mm_unpacklo_epi8(V, _mm_setzero_si128()); }

// 20 (s3 + s4) - 6 (s2 + s5) + 3 (s1 + s6) - (s0 + s7), rounded, / 32, clamped: eight outputs.
// Every intermediate fits 16 bits (from -3570 to 11730).
template <int Rnd>
inline __m128i Filter(__m128i s0, __m128i s1, __m128i s2, __m128i s3, __m128i s4, __m128i s5, __m128i s6,
                      __m128i s7) {
    const __m128i A = _mm_mullo_epi16(_mm_add_epi16(s3, s4), _mm_set1_epi16(20));
    const __m128i B = _mm_mullo_epi16(_mm_add_epi16(s2, s5), _mm_set1_epi16(6));
    const __m128i C = _mm_mullo_epi16(_mm_add_epi16(s1, s6), _mm_set1_epi16(3));
    const __m128i D = _mm_add_epi16(s0, s7);
    __m128i T = _mm_add_epi16(_mm_sub_epi16(A, B), _mm_sub_epi16(C, D));
    T = _mm_srai_epi16(_mm_add_epi16(T, _mm_set1_epi16(16 - Rnd)), 5);
    return T;  // 16-bit, not yet clamped
}

// Horizontal half-sample filter of one line of N + 1 samples into N bytes.
template <int N, int Rnd>
inline void Lowpass_H_Line(uint8_t* Dst, const uint8_t* Src) {
    // The line with its mirrored taps: E[j] = sample j - 3.
    alignas(16) uint8_t E[N + 16];
    std::memcpy(E + 3, Src, N + 1);
    E[2] = Src[0];
    E[1] = Src[1];
    E[0] = Src[2];
    E[N + 4] = Src[N];
    E[N + 5] = Src[N - 1];
    E[N + 6] = Src[N - 2];
    for (int i = 0; i < N; i += 8) {
        const uint8_t* P = E + i;
        const __m128i T = Filter<Rnd>(Wide(Load8(P)), Wide(Load8(P + 1)), Wide(Load8(P + 2)), Wide(Load8(P + 3)),
                                      Wide(Load8(P + 4)), Wide(Load8(P + 5)), Wide(Load8(P + 6)),
                                      Wide(Load8(P + 7)));
        Store8(Dst + i, _mm_packus_epi16(T, T));
    }
}

// Vertical half-sample filter: N output lines from the N + 1 lines of In (stride N), N columns.
template <int N, int Rnd>
inline void Lowpass_V(uint8_t* Dst, const uint8_t* In) {
    // Line k - 3 of the mirrored column for k = 0 .. N + 6.
    int Map[N + 7];
    for (int k = 0; k < N + 7; ++k) {
        const int j = k - 3;
        Map[k] = j < 0 ? -1 - j : (j > N ? 2 * N + 1 - j : j);
    }
    for (int x = 0; x < N; x += 8) {
        __m128i L[N + 1];
        for (int j = 0; j <= N; ++j) L[j] = Wide(Load8(In + j * N + x));
        for (int i = 0; i < N; ++i) {
            const int* M = Map + i;
            const __m128i T = Filter<Rnd>(L[M[0]], L[M[1]], L[M[2]], L[M[3]], L[M[4]], L[M[5]], L[M[6]], L[M[7]]);
            Store8(Dst + i * N + x, _mm_packus_epi16(T, T));
        }
    }
}

template <int N>
inline __m128i LoadN(const uint8_t* P) {
    if constexpr (N == 16) return Load16(P);
    else return Load8(P);
}
template <int N>
inline void StoreN(uint8_t* P, __m128i V) {
    if constexpr (N == 16) Store16(P, V);
    else Store8(P, V);
}

// The prediction at quarter position Pos (x = Pos & 3, y = Pos >> 2) into Out (stride N).
template <int N, int Rnd, int Pos>
inline void Predict(uint8_t* Out, const uint8_t* Src, int BpS) {
    constexpr int Fx = Pos & 3, Fy = Pos >> 2;
    constexpr int Lines = Fy ? N + 1 : N;
    alignas(16) uint8_t H[N * (N + 1)];
    uint8_t* Hs = Fy ? H : Out;  // without a vertical stage the horizontal one is the result
    if constexpr (Fx == 0) {
        for (int y = 0; y < Lines; ++y) StoreN<N>(Hs + y * N, LoadN<N>(Src + y * BpS));
    } else {
        for (int y = 0; y < Lines; ++y) {
            uint8_t* D = Hs + y * N;
            Lowpass_H_Line<N, Rnd>(D, Src + y * BpS);
            if constexpr (Fx == 1) StoreN<N>(D, Kvr_Avg2_SSE2<Rnd>(LoadN<N>(D), LoadN<N>(Src + y * BpS)));
            if constexpr (Fx == 3) StoreN<N>(D, Kvr_Avg2_SSE2<Rnd>(LoadN<N>(D), LoadN<N>(Src + y * BpS + 1)));
        }
    }
    if constexpr (Fy != 0) {
        if constexpr (Fy == 2) {
            Lowpass_V<N, Rnd>(Out, H);
        } else {
            alignas(16) uint8_t V[N * N];
            Lowpass_V<N, Rnd>(V, H);
            const uint8_t* Near = Fy == 1 ? H : H + N;
            for (int y = 0; y < N; ++y)
                StoreN<N>(Out + y * N, Kvr_Avg2_SSE2<Rnd>(LoadN<N>(Near + y * N), LoadN<N>(V + y * N)));
        }
    }
}

template <int N, int Rnd, int Pos>
void Qpel_Put(uint8_t* Dst, const uint8_t* Src, int BpS) {
    if constexpr (Pos == 0) {
        for (int y = 0; y < N; ++y) StoreN<N>(Dst + y * BpS, LoadN<N>(Src + y * BpS));
    } else {
        alignas(16) uint8_t P[N * N];
        Predict<N, Rnd, Pos>(P, Src, BpS);
        for (int y = 0; y < N; ++y) StoreN<N>(Dst + y * BpS, LoadN<N>(P + y * N));
    }
}

template <int N, int Pos>
void Qpel_Avg(uint8_t* Dst, const uint8_t* Src, int BpS) {
    if constexpr (Pos == 0) {
        for (int y = 0; y < N; ++y)
            StoreN<N>(Dst + y * BpS, _mm_avg_epu8(LoadN<N>(Dst + y * BpS), LoadN<N>(Src + y * BpS)));
    } else {
        alignas(16) uint8_t P[N * N];
        Predict<N, 0, Pos>(P, Src, BpS);
        for (int y = 0; y < N; ++y)
            StoreN<N>(Dst + y * BpS, _mm_avg_epu8(LoadN<N>(Dst + y * BpS), LoadN<N>(P + y * N)));
    }
}

}  // namespace

const KVR_QPEL_FN Kvr_Qpel16_Put_SSE2[2][16] = {KVR_QPEL_POSITIONS(Qpel_Put, 16, 0),
                                                KVR_QPEL_POSITIONS(Qpel_Put, 16, 1)};
const KVR_QPEL_FN Kvr_Qpel8_Put_SSE2[2][16] = {KVR_QPEL_POSITIONS(Qpel_Put, 8, 0),
                                               KVR_QPEL_POSITIONS(Qpel_Put, 8, 1)};
const KVR_QPEL_FN Kvr_Qpel16_Avg_SSE2[16] = KVR_QPEL_POSITIONS(Qpel_Avg, 16);
const KVR_QPEL_FN Kvr_Qpel8_Avg_SSE2[16] = KVR_QPEL_POSITIONS(Qpel_Avg, 8);
#endif
