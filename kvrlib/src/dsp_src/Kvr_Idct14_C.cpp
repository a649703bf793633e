// Plain C model of the SIMD inverse DCT (see Kvr_Idct14.h for the arithmetic).
#include "dsp_src/Kvr_Idct14.h"

namespace {
using namespace kvr_idct14;

inline int32_t Madd(int X, int C, int Y, int D) { return int32_t(X * C + Y * D); }  // never overflows
inline int16_t Sat16(int32_t V) { return int16_t(V < -32768 ? -32768 : (V > 32767 ? 32767 : V)); }
// Wrapping 32-bit sum, then the arithmetic shift of the packed variants.
inline int16_t Out(uint32_t A, uint32_t B, int Shift) { return Sat16(int32_t(A + B) >> Shift); }

void Pass(const int16_t* In, int S, int16_t* Res, int R, int Shift) {
    const int x0 = In[0], x1 = In[S], x2 = In[2 * S], x3 = In[3 * S];
    const int x4 = In[4 * S], x5 = In[5 * S], x6 = In[6 * S], x7 = In[7 * S];
    const uint32_t Rnd = uint32_t(1) << (Shift - 1);
    const uint32_t e0 = uint32_t(Madd(x0, W4, x4, W4)) + Rnd, e1 = uint32_t(Madd(x0, W4, x4, -W4)) + Rnd;
    const uint32_t f0 = uint32_t(Madd(x2, W2, x6, W6)), f1 = uint32_t(Madd(x2, W6, x6, -W2));
    const uint32_t a0 = e0 + f0, a1 = e1 + f1, a2 = e1 - f1, a3 = e0 - f0;
    const uint32_t b0 = uint32_t(Madd(x1, W1, x3, W3)) + uint32_t(Madd(x5, W5, x7, W7));
    const uint32_t b1 = uint32_t(Madd(x1, W3, x3, -W7)) + uint32_t(Madd(x5, -W1, x7, -W5));
    const uint32_t b2 = uint32_t(Madd(x1, W5, x3, -W1)) + uint32_t(Madd(x5, W7, x7, W3));
    const uint32_t b3 = uint32_t(Madd(x1, W7, x3, -W5)) + uint32_t(Madd(x5, W3, x7, -W1));
    Res[0] = Out(a0, b0, Shift);
    Res[7 * R] = Out(a0, -b0, Shift);
    Res[R] = Out(a1, b1, Shift);
    Res[6 * R] = Out(a1, -b1, Shift);
    Res[2 * R] = Out(a2, b2, Shift);
    Res[5 * R] = Out(a2, -b2, Shift);
    Res[3 * R] = Out(a3, b3, Shift);
    Res[4 * R] = Out(a3, -b3, Shift);
}

void Transform(int16_t* Blk) {
    int16_t Tmp[64];
    for (int r = 0; r < 8; ++r) {
        const int16_t* In = Blk + 8 * r;
        if ((In[0] | In[1] | In[2] | In[3] | In[4] | In[5] | In[6] | In[7]) == 0) {
            for (int i = 0; i < 8; ++i) Tmp[8 * r + i] = 0;
            continue;
        }
        Pass(In, 1, Tmp + 8 * r, 1, Row_Shift);
    }
    for (int c = 0; c < 8; ++c) Pass(Tmp + c, 8, Blk + c, 8, Col_Shift);
}

inline uint8_t Clip(int V) { return uint8_t(V < 0 ? 0 : (V > 255 ? 255 : V)); }
}  // namespace

void Kvr_IDCT14_C(int16_t* Blk) { Transform(Blk); }

void Kvr_IDCT14_Put_C(int16_t* Blk, uint8_t* Dst, int BpS) {
    Transform(Blk);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(Blk[8 * y + x]);
}

void Kvr_IDCT14_Add_C(int16_t* Blk, uint8_t* Dst, int BpS) {
    Transform(Blk);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(Dst[x] + Blk[8 * y + x]);
}
