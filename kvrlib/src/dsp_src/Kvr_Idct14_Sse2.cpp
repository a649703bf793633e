// SSE2 inverse DCT, put and add: bit for bit the C model of Kvr_Idct14.h. Both passes run down the
// eight vectors of a transposed block, 32-bit products through multiply-add pairs.
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <emmintrin.h>

#include "dsp_src/Kvr_Idct14.h"

namespace {
using namespace kvr_idct14;

inline __m128i Pair(int A, int B) { return _mm_set1_epi32(int32_t((uint32_t(uint16_t(B)) << 16) | uint16_t(A))); }

__attribute__((always_inline)) inline void Transpose(__m128i* V) {
    const __m128i a0 = _mm_unpacklo_epi16(V[0], V[1]), a1 = _mm_unpackhi_epi16(V[0], V[1]);
    const __m128i a2 = _mm_unpacklo_epi16(V[2], V[3]), a3 = _mm_unpackhi_epi16(V[2], V[3]);
    const __m128i a4 = _mm_unpacklo_epi16(V[4], V[5]), a5 = _mm_unpackhi_epi16(V[4], V[5]);
    const __m128i a6 = _mm_unpacklo_epi16(V[6], V[7]), a7 = _mm_unpackhi_epi16(V[6], V[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    V[0] = _mm_unpacklo_epi64(b0, b4);
    V[1] = _mm_unpackhi_epi64(b0, b4);
    V[2] = _mm_unpacklo_epi64(b1, b5);
    V[3] = _mm_unpackhi_epi64(b1, b5);
    V[4] = _mm_unpacklo_epi64(b2, b6);
    V[5] = _mm_unpackhi_epi64(b2, b6);
    V[6] = _mm_unpacklo_epi64(b3, b7);
    V[7] = _mm_unpackhi_epi64(b3, b7);
}

// Four lanes of one pass from the interleaved pairs (x0,x4), (x2,x6), (x1,x3), (x5,x7).
// High: x4..x7 may be non-zero (otherwise their products are left out).
template <int Shift, bool High>
inline void Half(__m128i p04, __m128i p26, __m128i p13, __m128i p57, __m128i* o) {
    const __m128i Rnd = _mm_set1_epi32(1 << (Shift - 1));
    const __m128i e0 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(W4, W4)), Rnd);
    const __m128i e1 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(W4, -W4)), Rnd);
    const __m128i f0 = _mm_madd_epi16(p26, Pair(W2, W6)), f1 = _mm_madd_epi16(p26, Pair(W6, -W2));
    const __m128i a0 = _mm_add_epi32(e0, f0), a3 = _mm_sub_epi32(e0, f0);
    const __m128i a1 = _mm_add_epi32(e1, f1), a2 = _mm_sub_epi32(e1, f1);
    __m128i b0 = _mm_madd_epi16(p13, Pair(W1, W3)), b1 = _mm_madd_epi16(p13, Pair(W3, -W7));
    __m128i b2 = _mm_madd_epi16(p13, Pair(W5, -W1)), b3 = _mm_madd_epi16(p13, Pair(W7, -W5));
    if (High) {
        b0 = _mm_add_epi32(b0, _mm_madd_epi16(p57, Pair(W5, W7)));
        b1 = _mm_add_epi32(b1, _mm_madd_epi16(p57, Pair(-W1, -W5)));
        b2 = _mm_add_epi32(b2, _mm_madd_epi16(p57, Pair(W7, W3)));
        b3 = _mm_add_epi32(b3, _mm_madd_epi16(p57, Pair(W3, -W1)));
    }
    o[0] = _mm_srai_epi32(_mm_add_epi32(a0, b0), Shift);
    o[7] = _mm_srai_epi32(_mm_sub_epi32(a0, b0), Shift);
    o[1] = _mm_srai_epi32(_mm_add_epi32(a1, b1), Shift);
    o[6] = _mm_srai_epi32(_mm_sub_epi32(a1, b1), Shift);
    o[2] = _mm_srai_epi32(_mm_add_epi32(a2, b2), Shift);
    o[5] = _mm_srai_epi32(_mm_sub_epi32(a2, b2), Shift);
    o[3] = _mm_srai_epi32(_mm_add_epi32(a3, b3), Shift);
    o[4] = _mm_srai_epi32(_mm_sub_epi32(a3, b3), Shift);
}

// One 8-point pass down the vectors: V[k] holds input k of eight independent transforms.
template <int Shift, bool High>
inline void Pass(__m128i* V) {
    __m128i Lo[8], Hi[8];
    const __m128i Z = _mm_setzero_si128();
    const __m128i x4 = High ? V[4] : Z, x6 = High ? V[6] : Z;
    Half<Shift, High>(_mm_unpacklo_epi16(V[0], x4), _mm_unpacklo_epi16(V[2], x6), _mm_unpacklo_epi16(V[1], V[3]),
                      _mm_unpacklo_epi16(V[5], V[7]), Lo);
    Half<Shift, High>(_mm_unpackhi_epi16(V[0], x4), _mm_unpackhi_epi16(V[2], x6), _mm_unpackhi_epi16(V[1], V[3]),
                      _mm_unpackhi_epi16(V[5], V[7]), Hi);
    for (int i = 0; i < 8; ++i) V[i] = _mm_packs_epi32(Lo[i], Hi[i]);
}

// The transform of Blk into V (rows of output samples); returns false for a DC-only block, whose
// single value is then in every lane of V[0] only.
inline bool Transform(const int16_t* Blk, __m128i* V) {
    for (int i = 0; i < 8; ++i) V[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Blk) + i);
    const __m128i Z = _mm_setzero_si128();
    const __m128i Bottom = _mm_or_si128(_mm_or_si128(V[4], V[5]), _mm_or_si128(V[6], V[7]));
    const __m128i Rest = _mm_or_si128(_mm_or_si128(V[1], V[2]), V[3]);
    const __m128i All = _mm_or_si128(_mm_or_si128(Bottom, Rest), _mm_srli_si128(V[0], 2));  // all but DC
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(All, Z)) == 0xFFFF) {
        // DC only: the row pass gives one value for the first row, the column pass one for all.
        const int32_t R = (int32_t(Blk[0]) * W4 + (1 << (Row_Shift - 1))) >> Row_Shift;
        const int32_t Rs = R < -32768 ? -32768 : (R > 32767 ? 32767 : R);
        const int32_t C = (Rs * W4 + (1 << (Col_Shift - 1))) >> Col_Shift;
        V[0] = _mm_set1_epi16(int16_t(C < -32768 ? -32768 : (C > 32767 ? 32767 : C)));
        return false;
    }
    // Right half of every row zero: after the transpose the row pass has no x4..x7.
    const __m128i Right = _mm_or_si128(_mm_or_si128(Bottom, Rest), V[0]);
    const bool Right_Zero = (_mm_movemask_epi8(_mm_cmpeq_epi8(Right, Z)) & 0xFF00) == 0xFF00;
    const bool Bottom_Zero = _mm_movemask_epi8(_mm_cmpeq_epi8(Bottom, Z)) == 0xFFFF;
    Transpose(V);
    if (Right_Zero) Pass<Row_Shift, false>(V);
    else Pass<Row_Shift, true>(V);
    Transpose(V);
    // Zero rows stay zero through the row pass, so the column pass has no x4..x7 either.
    if (Bottom_Zero) Pass<Col_Shift, false>(V);
    else Pass<Col_Shift, true>(V);
    return true;
}

inline void Store8(uint8_t* Dst, __m128i Px) { _mm_storel_epi64(reinterpret_cast<__m128i*>(Dst), Px); }
inline __m128i Load8(const uint8_t* Src) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Src)); }
}  // namespace

void Kvr_IDCT14_SSE2(int16_t* Blk) {
    __m128i V[8];
    if (!Transform(Blk, V))
        for (int i = 1; i < 8; ++i) V[i] = V[0];
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(Blk) + i, V[i]);
}

void Kvr_IDCT14_Put_SSE2(int16_t* Blk, uint8_t* Dst, int BpS) {
    __m128i V[8];
    if (!Transform(Blk, V)) {
        const __m128i Px = _mm_packus_epi16(V[0], V[0]);
        for (int y = 0; y < 8; ++y) Store8(Dst + y * BpS, Px);
        return;
    }
    for (int y = 0; y < 8; y += 2) {
        const __m128i Px = _mm_packus_epi16(V[y], V[y + 1]);
        Store8(Dst + y * BpS, Px);
        Store8(Dst + (y + 1) * BpS, _mm_srli_si128(Px, 8));
    }
}

void Kvr_IDCT14_Add_SSE2(int16_t* Blk, uint8_t* Dst, int BpS) {
    __m128i V[8];
    const bool Full = Transform(Blk, V);
    const __m128i Z = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2) {
        uint8_t* D0 = Dst + y * BpS;
        uint8_t* D1 = D0 + BpS;
        const __m128i S0 = _mm_adds_epi16(_mm_unpacklo_epi8(Load8(D0), Z), Full ? V[y] : V[0]);
        const __m128i S1 = _mm_adds_epi16(_mm_unpacklo_epi8(Load8(D1), Z), Full ? V[y + 1] : V[0]);
        const __m128i Px = _mm_packus_epi16(S0, S1);
        Store8(D0, Px);
        Store8(D1, _mm_srli_si128(Px, 8));
    }
}
#endif
