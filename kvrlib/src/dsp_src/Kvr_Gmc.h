// Global motion compensation of S-VOPs: warp setup from the warping points, the warp kernel, average vectors.
#pragma once

#include <cstdint>

// The warp of one S-VOP, in the form the kernel walks: a sample (i, j) of the current picture is
// predicted from reference position ((Offset[p][0] + Delta[0][0] i + Delta[0][1] j),
// (Offset[p][1] + Delta[1][0] i + Delta[1][1] j)) >> 16, in units of 1 / 2^(Accuracy+1) sample,
// with p = 0 for luma and 1 for chroma (chroma coordinates).
// Sixteen 32-bit words, so that it travels in the parameter block of the GMC kernel table.
struct KVR_GMC_PARAMS {
    int32_t Accuracy = 0;  // sprite_warping_accuracy, 0..3 (1/2 .. 1/16 sample)
    int32_t Points = 0;    // warping points in force after simplification (1 = pure translation)
    int32_t Width = 0;     // picture size the warp was built for (luma samples)
    int32_t Height = 0;
    int32_t Offset[2][2] = {};
    int32_t Delta[2][2] = {};
    // Translation form (Points 1), in units of 1 / 2^(Accuracy+1) sample: the vector average
    // derivation works on it directly.
    int32_t Trans[2][2] = {};
};
static_assert(sizeof(KVR_GMC_PARAMS) == 16 * sizeof(int32_t), "fits the GMC parameter block");

// Builds the warp from the decoded trajectories Du/Dv of the first Nb_Points (0..4) warping points.
// Returns false when the warp cannot be represented (sizes below 16, accuracy out of 0..3, or a warp
// so large that the 32-bit position arithmetic would overflow); the parameters are then an identity
// warp so that a caller that still predicts reads only the picture.
bool Kvr_Gmc_Setup(KVR_GMC_PARAMS* Gmc, const int Du[4], const int Dv[4], int Nb_Points, int Accuracy, int Width,
                   int Height);

// Predicts the 16x16 luma and two 8x8 chroma blocks of macroblock (Mb_X, Mb_Y) from the reference
// planes. Reference samples outside Clip_W x Clip_H (luma; chroma uses (Clip_W + 1) / 2 x
// (Clip_H + 1) / 2) repeat the nearest edge sample, so reads never leave that area.
void Kvr_Gmc_Predict_MB(const KVR_GMC_PARAMS* Gmc, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                        const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS, int Mb_X,
                        int Mb_Y, int Clip_W, int Clip_H, int Rounding);

// The walk of Kvr_Gmc_Predict_MB shared by its variants: the block origins of the luma block and the
// two chroma blocks of macroblock (Mb_X, Mb_Y), each warped by Warp(Dst, Ref, BpS, W, H, Ox, Oy, G,
// Clip_W, Clip_H, Rounding) with the origin in 16.16 fixed point.
template <typename WARP>
inline void Kvr_Gmc_Warp_MB(WARP Warp, const KVR_GMC_PARAMS* G, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                            const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS, int Mb_X,
                            int Mb_Y, int Clip_W, int Clip_H, int Rounding) {
    int64_t Ox =
        int64_t{G->Offset[0][0]} + int64_t{G->Delta[0][0]} * Mb_X * 16 + int64_t{G->Delta[0][1]} * Mb_Y * 16;
    int64_t Oy =
        int64_t{G->Offset[0][1]} + int64_t{G->Delta[1][0]} * Mb_X * 16 + int64_t{G->Delta[1][1]} * Mb_Y * 16;
    Warp(Dst_Y, Ref_Y, BpS, 16, 16, Ox, Oy, G, Clip_W, Clip_H, Rounding);
    Ox = int64_t{G->Offset[1][0]} + int64_t{G->Delta[0][0]} * Mb_X * 8 + int64_t{G->Delta[0][1]} * Mb_Y * 8;
    Oy = int64_t{G->Offset[1][1]} + int64_t{G->Delta[1][0]} * Mb_X * 8 + int64_t{G->Delta[1][1]} * Mb_Y * 8;
    const int Cw = (Clip_W + 1) >> 1, Ch = (Clip_H + 1) >> 1;
    Warp(Dst_U, Ref_U, BpS, 8, 8, Ox, Oy, G, Cw, Ch, Rounding);
    Warp(Dst_V, Ref_V, BpS, 8, 8, Ox, Oy, G, Cw, Ch, Rounding);
}

// The average vector of the warp over macroblock (Mb_X, Mb_Y), in half-sample units (quarter-sample
// units when Quarter is 1), limited to the range of the forward f-code. Stored in the vector map for
// the prediction of later vectors and for direct mode.
void Kvr_Gmc_Average_MV(const KVR_GMC_PARAMS* Gmc, int Mb_X, int Mb_Y, int Quarter, int F_Code, int* Mv_X,
                        int* Mv_Y);
