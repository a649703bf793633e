// Dequantisation kernels (H.263 and MPEG methods) and their multiplier tables.
#include <cstring>

#include "dsp_src/Kvr_Dsp.h"
#include "kvr_syst/Kvr_Except.h"

namespace {
inline int Sat(int V) { return V < -2048 ? -2048 : (V > 2047 ? 2047 : V); }
}  // namespace

void Kvr_Setup_Matrix_H263_C(int16_t* Table, const uint8_t*, int) {
    for (int q = 1; q <= 31; ++q) {
        int16_t* T = Table + (q - 1) * KVR_Q_PER_QUANT;
        for (int j = 0; j < 128; ++j) T[j] = 0;
        for (int j = 0; j < 64; ++j) {
            T[128 + j] = int16_t(2 * q);
            T[192 + j] = int16_t((q & 1) ? q : q - 1);
        }
    }
}

void Kvr_Setup_Matrix_MPEG_C(int16_t* Table, const uint8_t* Matrix, int Intra) {
    for (int j = 0; j < 64; ++j) KVR_ASSERT("kvr_quant_c", Matrix[j] > 0);
    for (int q = 1; q <= 31; ++q) {
        int16_t* T = Table + (q - 1) * KVR_Q_PER_QUANT;
        for (int j = 0; j < 128; ++j) T[j] = 0;
        for (int j = 0; j < 64; ++j) {
            const int B = 2 * q * Matrix[j];
            T[128 + j] = int16_t(B);
            T[192 + j] = int16_t(Intra ? 0 : B / 2);
        }
    }
}

namespace {
typedef int (*KVR_LEVEL_FN)(int L, const int16_t* M, int j);

// An intra block: the DC through the scaler, the other levels through Level.
template <KVR_LEVEL_FN Level>
void Dequant_Intra(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int DC_Scaler) {
    KVR_ASSERT("kvr_quant_c", q > 0 && q < 32);
    const int16_t* M = Kvr_Dequant_Mult(Table, q);
    Dst[0] = int16_t(Sat(Src[0] * DC_Scaler));
    for (int j = 1; j < 64; ++j) Dst[j] = Src[j] == 0 ? int16_t(0) : int16_t(Level(Src[j], M, j));
}

// An inter block, rows outside Row_Mask written as zeros; returns the XOR of every value written
// (the parity the MPEG method's mismatch control needs).
template <KVR_LEVEL_FN Level>
int Dequant_Inter(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Row_Mask) {
    KVR_ASSERT("kvr_quant_c", q > 0 && q < 32);
    const int16_t* M = Kvr_Dequant_Mult(Table, q);
    int Sum = 0;
    for (int r = 0; r < 8; ++r) {
        if (!(Row_Mask & (1 << r))) {
            std::memset(Dst + 8 * r, 0, 16);
            continue;
        }
        for (int j = 8 * r; j < 8 * r + 8; ++j) {
            const int V = Src[j] == 0 ? 0 : Level(Src[j], M, j);
            Dst[j] = int16_t(V);
            Sum ^= V;
        }
    }
    return Sum;
}
}  // namespace

void Kvr_Dequant_Intra_H263_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int DC_Scaler) {
    Dequant_Intra<Kvr_Dequant_H263>(Dst, Src, Table, q, DC_Scaler);
}

void Kvr_Dequant_Intra_MPEG_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int DC_Scaler) {
    Dequant_Intra<Kvr_Dequant_MPEG_Intra>(Dst, Src, Table, q, DC_Scaler);
}

void Kvr_Dequant_Inter_H263_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Row_Mask) {
    Dequant_Inter<Kvr_Dequant_H263>(Dst, Src, Table, q, Row_Mask);
}

void Kvr_Dequant_Inter_MPEG_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Row_Mask) {
    if ((Dequant_Inter<Kvr_Dequant_MPEG_Inter>(Dst, Src, Table, q, Row_Mask) & 1) == 0)
        Dst[63] = int16_t(Dst[63] ^ 1);
}
