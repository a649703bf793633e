// Border extension of a whole picture, one walk for every kernel table: the variants differ only in
// how they write a run of one sample value.
#pragma once

#include <cstdint>
#include <cstring>

// W x H is the visible picture; everything around it up to the edge of the bordered store (one
// macroblock beyond the macroblock-aligned area) repeats the nearest visible sample. Fill(P, Value, N)
// writes N bytes of Value at P. The chroma planes share their lines (U left, V right), so the lines
// above and below are copied once for both.
template <typename FILL>
inline void Kvr_Extend_Picture(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS, FILL Fill) {
    const int Ha = (H + 15) & ~15;
    const int Right = BpS - 16 - W;
    for (int y = 0; y < H; ++y) {
        uint8_t* L = Y + y * BpS;
        Fill(L - 16, L[0], 16);
        Fill(L + W, L[W - 1], Right);
    }
    for (int y = 1; y <= 16; ++y) std::memcpy(Y - 16 - y * BpS, Y - 16, size_t(BpS));
    for (int y = H; y < Ha + 16; ++y) std::memcpy(Y - 16 + y * BpS, Y - 16 + (H - 1) * BpS, size_t(BpS));
    const int Cw = (W + 1) / 2, Ch = (H + 1) / 2;
    const int C_Right = BpS / 2 - 8 - Cw;
    for (int y = 0; y < Ch; ++y) {
        uint8_t* Lu = U + y * BpS;
        uint8_t* Lv = V + y * BpS;
        Fill(Lu - 8, Lu[0], 8);
        Fill(Lu + Cw, Lu[Cw - 1], C_Right);
        Fill(Lv - 8, Lv[0], 8);
        Fill(Lv + Cw, Lv[Cw - 1], C_Right);
    }
    for (int y = 1; y <= 8; ++y) std::memcpy(U - 8 - y * BpS, U - 8, size_t(BpS));
    for (int y = Ch; y < Ha / 2 + 8; ++y) std::memcpy(U - 8 + y * BpS, U - 8 + (Ch - 1) * BpS, size_t(BpS));
}
