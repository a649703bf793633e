// Plain C averaging kernels for the second reference of bidirectional and direct predictions.
#include "dsp_src/Kvr_Bidir.h"

namespace {

template <int W, int H, int Pos>
void Bidir_Avg(uint8_t* Dst, const uint8_t* Src, int BpS) {
    for (int y = 0; y < H; ++y) {
        const uint8_t* S0 = Src + y * BpS;
        const uint8_t* S2 = S0 + BpS;
        uint8_t* D = Dst + y * BpS;
        for (int x = 0; x < W; ++x) {
            int P;
            if (Pos == 0) P = S0[x];
            else if (Pos == 1) P = (S0[x] + S0[x + 1] + 1) >> 1;
            else if (Pos == 2) P = (S0[x] + S2[x] + 1) >> 1;
            else P = (S0[x] + S0[x + 1] + S2[x] + S2[x + 1] + 2) >> 2;
            D[x] = static_cast<uint8_t>((P + D[x] + 1) >> 1);
        }
    }
}

}  // namespace

const KVR_MC_FN Kvr_Bidir_Avg_C[KVR_BIDIR_ENTRIES] = {
    Bidir_Avg<16, 8, 0>, Bidir_Avg<16, 8, 1>, Bidir_Avg<16, 8, 2>, Bidir_Avg<16, 8, 3>,
    Bidir_Avg<8, 8, 0>,  Bidir_Avg<8, 8, 1>,  Bidir_Avg<8, 8, 2>,  Bidir_Avg<8, 8, 3>,
    Bidir_Avg<8, 4, 0>,  Bidir_Avg<8, 4, 1>,  Bidir_Avg<8, 4, 2>,  Bidir_Avg<8, 4, 3>,
};
