// Field prediction: field vectors of P-VOP macroblocks and the prediction of both fields.
#include <cstring>

#include "dsp_src/Kvr_Qpel.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_Asp_Pred.h"

namespace {

constexpr int Tmp_Stride = 32;

// One W x H block of a field through kernel Fn: the (W+1) x (H+1) source area starting at column
// Bx, field line By is gathered with edge repetition (columns 0..Plane_W-1, lines 0..Rows-1 of the
// field), so that out-of-picture vectors see the field's own edge lines as the encoder did.
void Field_Block(uint8_t* Dst, int Dst_Stride, const uint8_t* Field, int Field_Stride, int Plane_W, int Rows,
                 int Bx, int By, int W, int H, const KVR_MC_FN* Fns, int Nb_Fns, int Fn_W) {
    uint8_t Src[Tmp_Stride * 18];
    uint8_t Out[Tmp_Stride * 16];
    for (int y = 0; y <= H; ++y) {
        int Ly = By + y;
        Ly = Ly < 0 ? 0 : (Ly >= Rows ? Rows - 1 : Ly);
        const uint8_t* Line = Field + Ly * Field_Stride;
        for (int x = 0; x <= W; ++x) {
            int Lx = Bx + x;
            Lx = Lx < 0 ? 0 : (Lx >= Plane_W ? Plane_W - 1 : Lx);
            Src[y * Tmp_Stride + x] = Line[Lx];
        }
    }
    for (int y = 0; y < H; ++y) std::memcpy(Out + y * Tmp_Stride, Dst + y * Dst_Stride, W);
    for (int i = 0; i < Nb_Fns; ++i) Fns[i](Out + i * Fn_W, Src + i * Fn_W, Tmp_Stride);
    for (int y = 0; y < H; ++y) std::memcpy(Dst + y * Dst_Stride, Out + y * Tmp_Stride, W);
}

}  // namespace

void Kvr_Asp_Predict_Fields(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                            const KVR_MV Mv[2], const int Sel[2]) {
    const int BpS = D->BpS, BpS2 = 2 * D->BpS;
    const int Kind = Kvr_Asp_MC_Kind(D, Mc);
    const int Luma_W = D->MB_W * 16, Luma_Rows = D->MB_H * 8;
    const int Chroma_W = D->MB_W * 8, Chroma_Rows = D->MB_H * 4;
    for (int f = 0; f < 2; ++f) {
        const int Vx = Mv[f].X, Vy = Mv[f].Y;
        const int S = Sel[f] & 1;
        uint8_t* Dst_Y = D->Cur->Y + MB->Y * 16 * BpS + MB->X * 16 + f * BpS;
        int Cx, Cy;
        if (D->VOL.Quarter) {
            const int Pos = ((Vy & 3) << 2) | (Vx & 3);
            const KVR_MC_FN Fn = D->MB_Dsp.MC[Kind][KVR_MC_QPEL + Pos];
            const KVR_MC_FN Fns[2] = {Fn, Fn};
            Field_Block(Dst_Y, BpS2, Ref->Y + S * BpS, BpS2, Luma_W, Luma_Rows, MB->X * 16 + (Vx >> 2),
                        MB->Y * 8 + (Vy >> 2), 16, 8, Fns, 2, 8);
            const int Mx = Vx / 2, My = Vy >> 1;
            Cx = (Mx >> 1) | (Mx & 1);
            Cy = (My >> 1) | (My & 1);
        } else {
            const int Pos = ((Vy & 1) << 1) | (Vx & 1);
            Field_Block(Dst_Y, BpS2, Ref->Y + S * BpS, BpS2, Luma_W, Luma_Rows, MB->X * 16 + (Vx >> 1),
                        MB->Y * 8 + (Vy >> 1), 16, 8, &Mc[KVR_MC_16x8 + Pos], 1, 16);
            Cx = (Vx >> 1) | (Vx & 1);
            Cy = (Vy >> 1) | (Vy & 1);
        }
        const int Pos = ((Cy & 1) << 1) | (Cx & 1);
        const int Dst_Off = MB->Y * 8 * BpS + MB->X * 8 + f * BpS;
        const int Bx = MB->X * 8 + (Cx >> 1), By = MB->Y * 4 + (Cy >> 1);
        Field_Block(D->Cur->U + Dst_Off, BpS2, Ref->U + S * BpS, BpS2, Chroma_W, Chroma_Rows, Bx, By, 8, 4,
                    &Mc[KVR_MC_8x4 + Pos], 1, 8);
        Field_Block(D->Cur->V + Dst_Off, BpS2, Ref->V + S * BpS, BpS2, Chroma_W, Chroma_Rows, Bx, By, 8, 4,
                    &Mc[KVR_MC_8x4 + Pos], 1, 8);
    }
}

void Kvr_Asp_Read_Field_MVs(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    int Px, Py;
    Kvr_Predict_MV(D, MB, 0, &Px, &Py);
    const int F = D->VOP.Fwd_Code;
    KVR_MB_INFO& Info = D->Maps[0].MB_Map[MB->Idx];
    // Field vectors predict their vertical component in field lines.
    for (int f = 0; f < 2; ++f) Info.Field_MV[f] = Kvr_Read_MV(B, Px, Py / 2, F);
    // The macroblock's vector for later predictions: the mean of the two, odd halves kept odd.
    const int Sx = Info.Field_MV[0].X + Info.Field_MV[1].X;
    const KVR_MV Mv = {static_cast<int16_t>((Sx >> 1) | (Sx & 1)),
                       static_cast<int16_t>(Info.Field_MV[0].Y + Info.Field_MV[1].Y)};
    for (int i = 0; i < 4; ++i) MB->MV[i] = Mv;
}

void Kvr_Asp_Predict_Field_MB(KVR_MP4_STATE* D, KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc) {
    const KVR_MB_INFO& Info = D->Maps[0].MB_Map[MB->Idx];
    const int Sel[2] = {MB->Field_Sel[0][0], MB->Field_Sel[0][1]};
    Kvr_Asp_Predict_Fields(D, MB, Ref, Mc, Info.Field_MV, Sel);
}
