// Prediction helpers shared by the B-VOP loop and the P-VOP hooks: field and quarter-sample paths.
#pragma once

#include "mpg_src/Kvr_MP4_MB.h"

// Which flavour of a motion-compensation sub-table Mc is: 0 rounding 0, 1 rounding 1, 2 averaging.
int Kvr_Asp_MC_Kind(const KVR_MP4_STATE* D, const KVR_MC_FN* Mc);

// Predicts both fields of the macroblock at (MB->X, MB->Y) of Cur: field f (0 top, 1 bottom) from
// field Sel[f] of Ref with vector Mv[f] (vertical component in field units). Reads are kept inside
// the reference field (its edge lines repeat), whatever the vectors say.
void Kvr_Asp_Predict_Fields(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                            const KVR_MV Mv[2], const int Sel[2]);

// Chroma vector (half-sample units) of a one-vector quarter-sample macroblock, and the rounding of
// a sum of four half-sample luma vectors to one chroma vector.
int Kvr_Asp_Chroma_Qpel_1(int V);
int Kvr_Asp_Chroma_Sum_4(int Sum);
