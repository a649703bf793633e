// S-VOPs: the global-motion warp of the picture and the prediction of its GMC macroblocks.
#include <cstring>

#include "dsp_src/Kvr_Gmc.h"
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

static_assert(sizeof(KVR_GMC_PARAMS) == sizeof(KVR_GMC_DSP::Param), "the warp travels in the GMC block");

void Kvr_Asp_Setup_GMC(KVR_MP4_STATE* D) {
    KVR_GMC_PARAMS G;
    int Du[4], Dv[4];
    for (int i = 0; i < 4; ++i) {
        Du[i] = D->VOP.Warp_Pts[i][0];
        Dv[i] = D->VOP.Warp_Pts[i][1];
    }
    const int Nb = D->VOL.Sprite_Nb_Pts > 4 ? 4 : D->VOL.Sprite_Nb_Pts;
    const bool Ok = Kvr_Gmc_Setup(&G, Du, Dv, Nb, D->VOL.Sprite_Accuracy, D->Width, D->Height);
    std::memcpy(D->GMC_Dsp.Param, &G, sizeof(G));
    if (!Ok) throw KVR_STREAM_EXCEPTION("GMC warp out of range");
}

void Kvr_Asp_Predict_GMC_MB(KVR_MP4_STATE* D, KVR_MB* MB) {
    KVR_GMC_PARAMS G;
    std::memcpy(&G, D->GMC_Dsp.Param, sizeof(G));
    const int BpS = D->BpS;
    const int Off_Y = MB->Y * 16 * BpS + MB->X * 16, Off_C = MB->Y * 8 * BpS + MB->X * 8;
    KVR_MP4_FRAME* C = D->Cur;
    const KVR_MP4_FRAME* R = D->Fwd;
    D->MB_Dsp.Routines->Gmc_Predict(&G, C->Y + Off_Y, C->U + Off_C, C->V + Off_C, R->Y, R->U, R->V, BpS, MB->X,
                                    MB->Y, D->MB_W * 16, D->MB_H * 16, D->VOP.Rounding);
    int Mx, My;
    Kvr_Gmc_Average_MV(&G, MB->X, MB->Y, D->VOL.Quarter, D->VOP.Fwd_Code, &Mx, &My);
    for (int i = 0; i < 4; ++i) MB->MV[i] = KVR_MV{static_cast<int16_t>(Mx), static_cast<int16_t>(My)};
}
