// Integer 8x8 inverse DCT (Loeffler-Ligtenberg-Moschytz, 16-bit constants) with put and add.
#include "dsp_src/Kvr_Dsp.h"

namespace {
const int CB = 16;  // constant bits
const int P1 = 3;   // extra precision bits kept between the passes
const int64_t F_0_298 = 19571, F_0_390 = 25571, F_0_541 = 35468, F_0_765 = 50159, F_0_899 = 58981, F_1_175 = 77062,
              F_1_501 = 98391, F_1_847 = 121095, F_1_961 = 128553, F_2_053 = 134553, F_2_562 = 167963,
              F_3_072 = 201373;

// One 8-point pass over In[0], In[S], ... In[7S]; results shifted right by Shift with rounding.
template <typename T>
inline void Pass(const T* In, int S, int64_t* Out, int Shift) {
    int64_t z2 = In[2 * S], z3 = In[6 * S];
    int64_t z1 = (z2 + z3) * F_0_541;
    const int64_t t2 = z1 - z3 * F_1_847;
    const int64_t t3 = z1 + z2 * F_0_765;
    z2 = In[0];
    z3 = In[4 * S];
    const int64_t Rnd = int64_t(1) << (Shift - 1);
    const int64_t t0 = ((z2 + z3) << CB) + Rnd;
    const int64_t t1 = ((z2 - z3) << CB) + Rnd;
    const int64_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;

    int64_t o0 = In[7 * S], o1 = In[5 * S], o2 = In[3 * S], o3 = In[1 * S];
    z1 = o0 + o3;
    z2 = o1 + o2;
    z3 = o0 + o2;
    int64_t z4 = o1 + o3;
    const int64_t z5 = (z3 + z4) * F_1_175;
    o0 *= F_0_298;
    o1 *= F_2_053;
    o2 *= F_3_072;
    o3 *= F_1_501;
    z1 *= -F_0_899;
    z2 *= -F_2_562;
    z3 = z3 * -F_1_961 + z5;
    z4 = z4 * -F_0_390 + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;
    Out[0] = (t10 + o3) >> Shift;
    Out[7] = (t10 - o3) >> Shift;
    Out[1] = (t11 + o2) >> Shift;
    Out[6] = (t11 - o2) >> Shift;
    Out[2] = (t12 + o1) >> Shift;
    Out[5] = (t12 - o1) >> Shift;
    Out[3] = (t13 + o0) >> Shift;
    Out[4] = (t13 - o0) >> Shift;
}

inline uint8_t Clip(int64_t V) { return uint8_t(V < 0 ? 0 : (V > 255 ? 255 : V)); }

// Rows then columns; results in Ws (raster order), not clipped.
void Transform(const int16_t* Blk, int32_t* Ws) {
    int32_t Tmp[64];
    int64_t O[8];
    for (int r = 0; r < 8; ++r) {
        const int16_t* In = Blk + 8 * r;
        int32_t* T = Tmp + 8 * r;
        if ((In[1] | In[2] | In[3] | In[4] | In[5] | In[6] | In[7]) == 0) {
            const int32_t Dc = int32_t(In[0]) * (1 << P1);
            for (int i = 0; i < 8; ++i) T[i] = Dc;
            continue;
        }
        Pass(In, 1, O, CB - P1);
        for (int i = 0; i < 8; ++i) T[i] = int32_t(O[i]);
    }
    for (int c = 0; c < 8; ++c) {
        Pass(Tmp + c, 8, O, CB + P1 + 3);
        for (int i = 0; i < 8; ++i) Ws[8 * i + c] = int32_t(O[i]);
    }
}
}  // namespace

void Kvr_IDCT_C(int16_t* Blk) {
    int32_t Ws[64];
    Transform(Blk, Ws);
    for (int i = 0; i < 64; ++i) Blk[i] = int16_t(Ws[i] < -32768 ? -32768 : (Ws[i] > 32767 ? 32767 : Ws[i]));
}

void Kvr_IDCT_Put_C(int16_t* Blk, uint8_t* Dst, int BpS) {
    int32_t Ws[64];
    Transform(Blk, Ws);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(Ws[8 * y + x]);
}

void Kvr_IDCT_Add_C(int16_t* Blk, uint8_t* Dst, int BpS) {
    int32_t Ws[64];
    Transform(Blk, Ws);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(int64_t(Dst[x]) + Ws[8 * y + x]);
}
