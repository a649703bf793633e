// Plain C reduced-resolution up-sampling (corner copies, 3:1 edges, 9:3:3:1 interior).
#include "dsp_src/Kvr_Upsample.h"

namespace {

inline uint8_t Clip_8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Output sample k (0..15) of a line lies a quarter sample from input k/2, towards input k/2 - 1 for
// even k and k/2 + 1 for odd k; the two end outputs have no far neighbour.
inline void Taps(int k, int* Near, int* Far) {
    *Near = k >> 1;
    if (k == 0 || k == 15) *Far = -1;
    else *Far = (k & 1) ? (k >> 1) + 1 : (k >> 1) - 1;
}

// The up-sampled value at (X, Y), before clamping.
inline int Up(const int16_t* S, int X, int Y) {
    int Nx, Fx, Ny, Fy;
    Taps(X, &Nx, &Fx);
    Taps(Y, &Ny, &Fy);
    const int N = S[Ny * 8 + Nx];
    if (Fx < 0 && Fy < 0) return N;
    if (Fy < 0) return (3 * N + S[Ny * 8 + Fx] + 2) >> 2;
    if (Fx < 0) return (3 * N + S[Fy * 8 + Nx] + 2) >> 2;
    return (9 * N + 3 * S[Ny * 8 + Fx] + 3 * S[Fy * 8 + Nx] + S[Fy * 8 + Fx] + 8) >> 4;
}

}  // namespace

// Values outside 0..255 (a damaged residual can reach far beyond) are clamped, never trusted.
void Kvr_Upsample_Put_C(uint8_t* Dst, const int16_t* Src, int BpS) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) Dst[y * BpS + x] = Clip_8(Up(Src, x, y));
}

void Kvr_Upsample_Add_C(uint8_t* Dst, const int16_t* Src, int BpS) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) Dst[y * BpS + x] = Clip_8(Dst[y * BpS + x] + Up(Src, x, y));
}
