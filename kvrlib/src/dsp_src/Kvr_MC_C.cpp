// Half-sample motion compensation (both rounding modes) and picture border extension.
#include <cstring>

#include "dsp_src/Kvr_Dsp.h"

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

// W x H is the visible picture; everything around it up to the edge of the bordered store
// (one macroblock beyond the macroblock-aligned area) repeats the nearest visible sample.
void Kvr_Extend_C(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS) {
    const int Ha = (H + 15) & ~15;
    const int Right = BpS - 16 - W;
    for (int y = 0; y < H; ++y) {
        uint8_t* L = Y + y * BpS;
        std::memset(L - 16, L[0], 16);
        std::memset(L + W, L[W - 1], size_t(Right));
    }
    for (int y = 1; y <= 16; ++y) std::memcpy(Y - 16 - y * BpS, Y - 16, size_t(BpS));
    for (int y = H; y < Ha + 16; ++y) std::memcpy(Y - 16 + y * BpS, Y - 16 + (H - 1) * BpS, size_t(BpS));
    const int Cw = (W + 1) / 2, Ch = (H + 1) / 2;
    const int C_Right = BpS / 2 - 8 - Cw;
    for (int y = 0; y < Ch; ++y) {
        uint8_t* Lu = U + y * BpS;
        uint8_t* Lv = V + y * BpS;
        std::memset(Lu - 8, Lu[0], 8);
        std::memset(Lu + Cw, Lu[Cw - 1], size_t(C_Right));
        std::memset(Lv - 8, Lv[0], 8);
        std::memset(Lv + Cw, Lv[Cw - 1], size_t(C_Right));
    }
    for (int y = 1; y <= 8; ++y) std::memcpy(U - 8 - y * BpS, U - 8, size_t(BpS));
    for (int y = Ch; y < Ha / 2 + 8; ++y) std::memcpy(U - 8 + y * BpS, U - 8 + (Ch - 1) * BpS, size_t(BpS));
}
