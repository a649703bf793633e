// Quarter-sample prediction of whole macroblocks (one or four vectors) with their chroma.
#include <cstdlib>

#include "dsp_src/Kvr_Qpel.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_Asp_Pred.h"

int Kvr_Asp_MC_Kind(const KVR_MP4_STATE* D, const KVR_MC_FN* Mc) {
    if (Mc == D->MB_Dsp.MC[KVR_MC_AVG]) return 2;
    return Mc == D->MB_Dsp.MC[KVR_MC_RND1] ? 1 : 0;
}

int Kvr_Asp_Chroma_Qpel_1(int V) {
    const int H = V / 2;  // quarter to half units, truncating as the encoders do
    return (H >> 1) | (H & 1);
}

int Kvr_Asp_Chroma_Sum_4(int Sum) {
    // Sixteenths of the sum of four vectors rounded towards the nearest half sample.
    static const int Round16[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
    const int A = std::abs(Sum);
    const int C = Round16[A & 15] + ((A >> 4) << 1);
    return Sum < 0 ? -C : C;
}

namespace {

void Chroma_Predict(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc, int Cx,
                    int Cy) {
    Kvr_Clamp_Chroma_MV(D, MB->X, MB->Y, &Cx, &Cy);
    const int BpS = D->BpS;
    const int Pos = ((Cy & 1) << 1) | (Cx & 1);
    const int Dst_Off = MB->Y * 8 * BpS + MB->X * 8;
    const int Src_Off = (MB->Y * 8 + (Cy >> 1)) * BpS + MB->X * 8 + (Cx >> 1);
    Mc[KVR_MC_8x8 + Pos](D->Cur->U + Dst_Off, Ref->U + Src_Off, BpS);
    Mc[KVR_MC_8x8 + Pos](D->Cur->V + Dst_Off, Ref->V + Src_Off, BpS);
}

}  // namespace

void Kvr_Asp_Predict_Qpel_MB(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                             const KVR_MV* Mv, int Nb_MV) {
    const int Kind = Kvr_Asp_MC_Kind(D, Mc);
    const int BpS = D->BpS;
    uint8_t* Dst = D->Cur->Y + MB->Y * 16 * BpS + MB->X * 16;
    const uint8_t* Src = Ref->Y + MB->Y * 16 * BpS + MB->X * 16;
    if (Nb_MV == 1) {
        int Vx = Mv[0].X, Vy = Mv[0].Y;
        Kvr_Clamp_Luma_MV(D, MB->X, MB->Y, 4, &Vx, &Vy);
        const int Pos = ((Vy & 3) << 2) | (Vx & 3);
        const uint8_t* S = Src + (Vy >> 2) * BpS + (Vx >> 2);
        const KVR_MB_ROUTINES* R = D->MB_Dsp.Routines;
        if (Kind == 2) R->Qpel16_Avg[Pos](Dst, S, BpS);
        else R->Qpel16_Put[Kind][Pos](Dst, S, BpS);
        Chroma_Predict(D, MB, Ref, Mc, Kvr_Asp_Chroma_Qpel_1(Mv[0].X), Kvr_Asp_Chroma_Qpel_1(Mv[0].Y));
        return;
    }
    int Sx = 0, Sy = 0;
    for (int i = 0; i < 4; ++i) {
        int Vx = Mv[i].X, Vy = Mv[i].Y;
        Sx += Vx / 2;
        Sy += Vy / 2;
        Kvr_Clamp_Luma_MV(D, MB->X, MB->Y, 4, &Vx, &Vy);
        const int Pos = ((Vy & 3) << 2) | (Vx & 3);
        const int Blk = (i >> 1) * 8 * BpS + (i & 1) * 8;
        const uint8_t* S = Src + Blk + (Vy >> 2) * BpS + (Vx >> 2);
        D->MB_Dsp.MC[Kind][KVR_MC_QPEL + Pos](Dst + Blk, S, BpS);
    }
    Chroma_Predict(D, MB, Ref, Mc, Kvr_Asp_Chroma_Sum_4(Sx), Kvr_Asp_Chroma_Sum_4(Sy));
}
