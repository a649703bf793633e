// Entry points of the Advanced-Simple half of the decoder, called from the Simple-profile loops.
#pragma once

#include "mpg_src/Kvr_MP4_MB.h"

// Whole-picture loops.
void Kvr_Asp_Decode_B_VOP(KVR_MP4_STATE* D, KVR_BITS* B);   // B-VOP macroblock loop
void Kvr_Asp_Decode_RR_VOP(KVR_MP4_STATE* D, KVR_BITS* B);  // I/P-VOP with vop_reduced_resolution 1

// GMC: set up the warp of an S-VOP from D->VOP.Warp_Pts (called by the VOP header), and predict
// one macroblock of Cur from Fwd by it, filling MB->MV with the vector stored for prediction.
void Kvr_Asp_Setup_GMC(KVR_MP4_STATE* D);
void Kvr_Asp_Predict_GMC_MB(KVR_MP4_STATE* D, KVR_MB* MB);

// Field prediction in P-VOPs: read the two field vectors (MB->Field_Sel already read) and put the
// macroblock's stored vector into MB->MV[0..3]; then predict the macroblock from Ref.
void Kvr_Asp_Read_Field_MVs(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB);
void Kvr_Asp_Predict_Field_MB(KVR_MP4_STATE* D, KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc);

// Quarter-sample prediction of a macroblock (Nb_MV 1 or 4 vectors, unclamped, quarter units).
void Kvr_Asp_Predict_Qpel_MB(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                             const KVR_MV* Mv, int Nb_MV);

// Kernel-table entries of that half: quarter-sample filters (MC[..][KVR_MC_QPEL..]), the
// averaging sub-table MC[KVR_MC_AVG], and the up-sampling kernels. Called when a table is installed.
void Kvr_Asp_Fill_MB_DSP(KVR_MB_DSP* Dsp);
