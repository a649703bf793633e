// SSE2 half-sample motion compensation (both roundings and the bidirectional average) and border
// extension; the same values as the C kernels.
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <emmintrin.h>

#include <cstring>

#include "dsp_src/Kvr_Avg_Sse2.h"
#include "dsp_src/Kvr_Extend.h"

namespace {

// W bytes of a line: 16 through a full register, 8 through its low half.
template <int W>
inline __m128i Load(const uint8_t* P) {
    if constexpr (W == 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    else return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P));
}
template <int W>
inline void Store(uint8_t* P, __m128i V) {
    if constexpr (W == 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V);
    else _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V);
}

// Mode: 0 rounding 0, 1 rounding 1, 2 rounding-0 prediction averaged into Dst.
template <int W, int H, int Pos, int Mode>
void MC(uint8_t* Dst, const uint8_t* Src, int BpS) {
    constexpr int Rnd = Mode == 1 ? 1 : 0;
    auto Put = [Dst, BpS](int Y, __m128i P) {
        uint8_t* D = Dst + Y * BpS;
        if constexpr (Mode == 2) P = _mm_avg_epu8(P, Load<W>(D));
        Store<W>(D, P);
    };
    if constexpr (Pos == 0) {
        for (int y = 0; y < H; ++y) Put(y, Load<W>(Src + y * BpS));
    } else if constexpr (Pos == 1) {
        for (int y = 0; y < H; ++y) {
            const uint8_t* S = Src + y * BpS;
            Put(y, Kvr_Avg2_SSE2<Rnd>(Load<W>(S), Load<W>(S + 1)));
        }
    } else if constexpr (Pos == 2) {
        __m128i Above = Load<W>(Src);
        for (int y = 0; y < H; ++y) {
            const __m128i Below = Load<W>(Src + (y + 1) * BpS);
            Put(y, Kvr_Avg2_SSE2<Rnd>(Above, Below));
            Above = Below;
        }
    } else {
        // Sums of horizontal pairs in 16 bits, each line's reused for the line above it.
        const __m128i Z = _mm_setzero_si128();
        const __m128i Bias = _mm_set1_epi16(2 - Rnd);
        auto Pairs = [Z](const uint8_t* S, __m128i* Lo, __m128i* Hi) {
            const __m128i A = Load<W>(S), B = Load<W>(S + 1);
            *Lo = _mm_add_epi16(_mm_unpacklo_epi8(A, Z), _mm_unpacklo_epi8(B, Z));
            if constexpr (W == 16) *Hi = _mm_add_epi16(_mm_unpackhi_epi8(A, Z), _mm_unpackhi_epi8(B, Z));
        };
        __m128i Lo0, Hi0 = Z, Lo1, Hi1 = Z;
        Pairs(Src, &Lo0, &Hi0);
        for (int y = 0; y < H; ++y) {
            Pairs(Src + (y + 1) * BpS, &Lo1, &Hi1);
            const __m128i L = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(Lo0, Lo1), Bias), 2);
            const __m128i R = W == 16 ? _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(Hi0, Hi1), Bias), 2) : Z;
            Put(y, _mm_packus_epi16(L, R));
            Lo0 = Lo1;
            Hi0 = Hi1;
        }
    }
}

template <int W, int H, int Mode>
void Fill4(KVR_MC_FN* T) {
    T[0] = MC<W, H, 0, Mode>;
    T[1] = MC<W, H, 1, Mode>;
    T[2] = MC<W, H, 2, Mode>;
    T[3] = MC<W, H, 3, Mode>;
}

template <int Mode>
void Fill(KVR_MC_FN* T) {
    Fill4<16, 8, Mode>(T + KVR_MC_16x8);
    Fill4<8, 8, Mode>(T + KVR_MC_8x8);
    Fill4<8, 4, Mode>(T + KVR_MC_8x4);
}

// N bytes of value V at P.
inline void Splat(uint8_t* P, uint8_t V, int N) {
    const __m128i X = _mm_set1_epi8(char(V));
    int i = 0;
    for (; i + 16 <= N; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(P + i), X);
    if (i < N) std::memset(P + i, V, size_t(N - i));
}

}  // namespace

void Kvr_Copy_16x16_SSE2(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < 16; ++y) Store<16>(Dst + y * BpS, Load<16>(Src + y * BpS));
}

void Kvr_Copy_8x8_SSE2(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < 8; ++y) Store<8>(Dst + y * BpS, Load<8>(Src + y * BpS));
}

void Kvr_Fill_MC_Halfpel_SSE2(KVR_MC_FN* Rnd0, KVR_MC_FN* Rnd1, KVR_MC_FN* Avg) {
    Fill<0>(Rnd0);
    Fill<1>(Rnd1);
    Fill<2>(Avg);
}

void Kvr_Extend_SSE2(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS) {
    Kvr_Extend_Picture(Y, U, V, W, H, BpS, Splat);
}
#endif
