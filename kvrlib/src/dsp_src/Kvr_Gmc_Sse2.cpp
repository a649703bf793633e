// SSE2 GMC macroblock prediction: the warp positions, their clamping and the bilinear weights of eight
// samples at a time; the four reference samples of each are fetched one by one (SSE2 has no gather).
// The same values as Kvr_Gmc_Predict_MB.
#include "dsp_src/Kvr_Dsp_X86.h"

#if KVR_X86
#include <emmintrin.h>

#include "dsp_src/Kvr_Gmc.h"

namespace {

// Lanes of V limited to Lo..Hi (SSE2 has no 32-bit minimum or maximum).
inline __m128i Clamp32(__m128i V, __m128i Lo, __m128i Hi) {
    const __m128i Below = _mm_cmplt_epi32(V, Lo);
    V = _mm_or_si128(_mm_and_si128(Below, Lo), _mm_andnot_si128(Below, V));
    const __m128i Above = _mm_cmpgt_epi32(V, Hi);
    return _mm_or_si128(_mm_and_si128(Above, Hi), _mm_andnot_si128(Above, V));
}

// Position >> 16 of (Base + Step * x) for x = X0 .. X0 + 3, exactly as the 64-bit form: the base is
// split into whole units and a fraction, and only the fraction plus at most 15 steps is summed in 32
// bits (the setup bounds a step by 2^31 / (width + 16)).
inline __m128i Positions(int64_t Base, int32_t Step, int X0) {
    const int64_t Whole = Base >> 16;
    const int32_t Frac = int32_t(Base - Whole * 65536);
    const __m128i X = _mm_setr_epi32(X0, X0 + 1, X0 + 2, X0 + 3);
    // Step * x in 32 bits: SSE2 multiplies unsigned pairs, whose low halves are the signed products.
    const __m128i S = _mm_set1_epi32(Step);
    const __m128i Even = _mm_mul_epu32(X, S), Odd = _mm_mul_epu32(_mm_srli_epi64(X, 32), S);
    const __m128i Prod = _mm_unpacklo_epi32(_mm_shuffle_epi32(Even, 0x08), _mm_shuffle_epi32(Odd, 0x08));
    const __m128i D = _mm_add_epi32(Prod, _mm_set1_epi32(Frac));
    return _mm_add_epi32(_mm_srai_epi32(D, 16), _mm_set1_epi32(int32_t(Whole)));
}

void Warp_Block(uint8_t* Dst, const uint8_t* Ref, int BpS, int W, int H, int64_t Ox, int64_t Oy,
                const KVR_GMC_PARAMS* G, int Clip_W, int Clip_H, int Rounding) {
    const int Shift = G->Accuracy + 1;
    const int S = 1 << Shift;
    const __m128i Mask = _mm_set1_epi32(S - 1);
    const __m128i Zero = _mm_setzero_si128(), One = _mm_set1_epi32(1);
    const __m128i Max_X = _mm_set1_epi32(Clip_W - 1), Max_Y = _mm_set1_epi32(Clip_H - 1);
    const __m128i S16 = _mm_set1_epi16(int16_t(S));
    const __m128i R = _mm_set1_epi16(int16_t((1 << (2 * Shift - 1)) - Rounding));
    const __m128i Sh = _mm_cvtsi32_si128(2 * Shift);
    alignas(16) int32_t X0[8], X1[8], Y0[8], Y1[8];
    alignas(16) uint8_t A[16], B[16], C[16], D[16];
    for (int y = 0; y < H; ++y) {
        const int64_t Vx = Ox + int64_t{G->Delta[0][1]} * y;
        const int64_t Vy = Oy + int64_t{G->Delta[1][1]} * y;
        for (int x = 0; x < W; x += 8) {
            __m128i Fx[2], Fy[2];
            for (int h = 0; h < 2; ++h) {
                const __m128i Px = Positions(Vx, G->Delta[0][0], x + 4 * h);
                const __m128i Py = Positions(Vy, G->Delta[1][0], x + 4 * h);
                Fx[h] = _mm_and_si128(Px, Mask);
                Fy[h] = _mm_and_si128(Py, Mask);
                const __m128i Ix = _mm_sra_epi32(Px, _mm_cvtsi32_si128(Shift));
                const __m128i Iy = _mm_sra_epi32(Py, _mm_cvtsi32_si128(Shift));
                _mm_store_si128(reinterpret_cast<__m128i*>(X0 + 4 * h), Clamp32(Ix, Zero, Max_X));
                _mm_store_si128(reinterpret_cast<__m128i*>(X1 + 4 * h),
                                Clamp32(_mm_add_epi32(Ix, One), Zero, Max_X));
                _mm_store_si128(reinterpret_cast<__m128i*>(Y0 + 4 * h), Clamp32(Iy, Zero, Max_Y));
                _mm_store_si128(reinterpret_cast<__m128i*>(Y1 + 4 * h),
                                Clamp32(_mm_add_epi32(Iy, One), Zero, Max_Y));
            }
            for (int i = 0; i < 8; ++i) {
                const uint8_t* L0 = Ref + Y0[i] * BpS;
                const uint8_t* L1 = Ref + Y1[i] * BpS;
                A[i] = L0[X0[i]];
                B[i] = L0[X1[i]];
                C[i] = L1[X0[i]];
                D[i] = L1[X1[i]];
            }
            // ((a (S - fx) + b fx) (S - fy) + (c (S - fx) + d fx) fy + R) >> 2 Shift: below 2^16, so
            // unsigned 16-bit lanes hold every step.
            const __m128i Wx = _mm_packs_epi32(Fx[0], Fx[1]), Wy = _mm_packs_epi32(Fy[0], Fy[1]);
            const __m128i Ix_ = _mm_sub_epi16(S16, Wx), Iy_ = _mm_sub_epi16(S16, Wy);
            auto Wide = [Zero](const uint8_t* P) {
                return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)), Zero);
            };
            const __m128i Top = _mm_add_epi16(_mm_mullo_epi16(Wide(A), Ix_), _mm_mullo_epi16(Wide(B), Wx));
            const __m128i Bot = _mm_add_epi16(_mm_mullo_epi16(Wide(C), Ix_), _mm_mullo_epi16(Wide(D), Wx));
            __m128i V = _mm_add_epi16(_mm_mullo_epi16(Top, Iy_), _mm_mullo_epi16(Bot, Wy));
            V = _mm_srl_epi16(_mm_add_epi16(V, R), Sh);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Dst + y * BpS + x), _mm_packus_epi16(V, V));
        }
    }
}

}  // namespace

void Kvr_Gmc_Predict_MB_SSE2(const KVR_GMC_PARAMS* G, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                             const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS, int Mb_X,
                             int Mb_Y, int Clip_W, int Clip_H, int Rounding) {
    Kvr_Gmc_Warp_MB(Warp_Block, G, Dst_Y, Dst_U, Dst_V, Ref_Y, Ref_U, Ref_V, BpS, Mb_X, Mb_Y, Clip_W, Clip_H,
                    Rounding);
}
#endif
