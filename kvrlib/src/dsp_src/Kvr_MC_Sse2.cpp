// SSE2 half-sample motion compensation (both roundings and the bidirectional average) and border
// extension; the same values as the C kernels.
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <emmintrin.h>

#include <cstring>

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

// (a + b + 1 - Rnd) >> 1: the byte average rounds up; rounding down takes off the odd bit.
template <int Rnd>
inline __m128i Avg2(__m128i A, __m128i B) {
    const __m128i R = _mm_avg_epu8(A, B);
    if constexpr (Rnd == 0) return R;
    else return _mm_sub_epi8(R, _mm_and_si128(_mm_xor_si128(A, B), _mm_set1_epi8(1)));
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
            Put(y, Avg2<Rnd>(Load<W>(S), Load<W>(S + 1)));
        }
    } else if constexpr (Pos == 2) {
        __m128i Above = Load<W>(Src);
        for (int y = 0; y < H; ++y) {
            const __m128i Below = Load<W>(Src + (y + 1) * BpS);
            Put(y, Avg2<Rnd>(Above, Below));
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

// N bytes of value V at P, N a multiple of 8.
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

// The same area as Kvr_Extend_C: the side borders line by line, then whole lines above and below.
void Kvr_Extend_SSE2(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS) {
    const int Ha = (H + 15) & ~15;
    const int Right = BpS - 16 - W;
    for (int y = 0; y < H; ++y) {
        uint8_t* L = Y + y * BpS;
        Splat(L - 16, L[0], 16);
        Splat(L + W, L[W - 1], Right);
    }
    for (int y = 1; y <= 16; ++y) std::memcpy(Y - 16 - y * BpS, Y - 16, size_t(BpS));
    for (int y = H; y < Ha + 16; ++y) std::memcpy(Y - 16 + y * BpS, Y - 16 + (H - 1) * BpS, size_t(BpS));
    const int Cw = (W + 1) / 2, Ch = (H + 1) / 2;
    const int C_Right = BpS / 2 - 8 - Cw;
    for (int y = 0; y < Ch; ++y) {
        uint8_t* Lu = U + y * BpS;
        uint8_t* Lv = V + y * BpS;
        std::memset(Lu - 8, Lu[0], 8);
        Splat(Lu + Cw, Lu[Cw - 1], C_Right);
        std::memset(Lv - 8, Lv[0], 8);
        Splat(Lv + Cw, Lv[Cw - 1], C_Right);
    }
    for (int y = 1; y <= 8; ++y) std::memcpy(U - 8 - y * BpS, U - 8, size_t(BpS));
    for (int y = Ch; y < Ha / 2 + 8; ++y) std::memcpy(U - 8 + y * BpS, U - 8 + (Ch - 1) * BpS, size_t(BpS));
}
#endif
