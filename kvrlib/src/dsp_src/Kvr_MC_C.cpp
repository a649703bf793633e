// Half-sample motion compensation (both rounding modes) and picture border extension.
#include <cstring>

#include "dsp_src/Kvr_Dsp.h"
#include "dsp_src/Kvr_Extend.h"

namespace {
// Pos: 0 full, 1 horizontal half, 2 vertical half, 3 both. Rnd: rounding control (0 or 1).
template <int W, int H, int Pos, int Rnd>
void MC(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < H; ++y, Dst += BpS, Src += BpS) {
        for (int x = 0; x < W; ++x) {
            if constexpr (Pos == 0) Dst[x] = Src[x];
            else if constexpr (Pos == 1) Dst[x] = uint8_t((Src[x] + Src[x + 1] + 1 - Rnd) >> 1);
            else if constexpr (Pos == 2) Dst[x] = uint8_t((Src[x] + Src[x + BpS] + 1 - Rnd) >> 1);
            else Dst[x] = uint8_t((Src[x] + Src[x + 1] + Src[x + BpS] + Src[x + BpS + 1] + 2 - Rnd) >> 2);
        }
    }
}

template <int W, int H, int Rnd>
void Fill4(KVR_MC_FN* T) {
    T[0] = MC<W, H, 0, Rnd>;
    T[1] = MC<W, H, 1, Rnd>;
    T[2] = MC<W, H, 2, Rnd>;
    T[3] = MC<W, H, 3, Rnd>;
}

void Copy16(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < 16; ++y) std::memcpy(Dst + y * BpS, Src + y * BpS, 16);
}
void Copy8(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < 8; ++y) std::memcpy(Dst + y * BpS, Src + y * BpS, 8);
}
}  // namespace

void Kvr_Fill_MC_Halfpel_C(KVR_MC_FN* Rnd0, KVR_MC_FN* Rnd1) {
    Fill4<16, 8, 0>(Rnd0 + KVR_MC_16x8);
    Fill4<8, 8, 0>(Rnd0 + KVR_MC_8x8);
    Fill4<8, 4, 0>(Rnd0 + KVR_MC_8x4);
    Fill4<16, 8, 1>(Rnd1 + KVR_MC_16x8);
    Fill4<8, 8, 1>(Rnd1 + KVR_MC_8x8);
    Fill4<8, 4, 1>(Rnd1 + KVR_MC_8x4);
}

void Kvr_Copy_16x16_C(uint8_t* Dst, const uint8_t* Src, int BpS) { Copy16(Dst, Src, BpS); }
void Kvr_Copy_8x8_C(uint8_t* Dst, const uint8_t* Src, int BpS) { Copy8(Dst, Src, BpS); }

void Kvr_Extend_C(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS) {
    Kvr_Extend_Picture(Y, U, V, W, H, BpS,
                       [](uint8_t* P, uint8_t Value, int N) { std::memset(P, Value, size_t(N)); });
}
