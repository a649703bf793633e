// Floating-point reference inverse DCT of the "-Ref" kernel tables (CPU level 5).
#include <cmath>

#include "dsp_src/Kvr_Dsp.h"

namespace {
// Basis[x][u] = C(u) cos((2x + 1) u pi / 16) / 2.
struct BASIS {
    double C[8][8];
    BASIS() {
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u)
                C[x][u] = (u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * M_PI / 16) / 2;
    }
};
const BASIS Basis;

void Transform(const int16_t* Blk, double* Out) {
    double Tmp[64];
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            double S = 0;
            for (int u = 0; u < 8; ++u) S += Blk[8 * v + u] * Basis.C[x][u];
            Tmp[8 * v + x] = S;
        }
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
            double S = 0;
            for (int v = 0; v < 8; ++v) S += Tmp[8 * v + x] * Basis.C[y][v];
            Out[8 * y + x] = S;
        }
}

inline long Round(double V) { return std::lround(V); }
inline uint8_t Clip(long V) { return uint8_t(V < 0 ? 0 : (V > 255 ? 255 : V)); }
}  // namespace

void Kvr_IDCT_Ref(int16_t* Blk) {
    double Out[64];
    Transform(Blk, Out);
    for (int i = 0; i < 64; ++i) {
        const long V = Round(Out[i]);
        Blk[i] = int16_t(V < -32768 ? -32768 : (V > 32767 ? 32767 : V));
    }
}

void Kvr_IDCT_Put_Ref(int16_t* Blk, uint8_t* Dst, int BpS) {
    double Out[64];
    Transform(Blk, Out);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(Round(Out[8 * y + x]));
}

void Kvr_IDCT_Add_Ref(int16_t* Blk, uint8_t* Dst, int BpS) {
    double Out[64];
    Transform(Blk, Out);
    for (int y = 0; y < 8; ++y, Dst += BpS)
        for (int x = 0; x < 8; ++x) Dst[x] = Clip(Dst[x] + Round(Out[8 * y + x]));
}
