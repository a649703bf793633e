// Motion vectors: prediction, storage, clamping, chroma derivation and block prediction.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {
inline int Median(int A, int B, int C) {
    if (A > B) {
        const int T = A;
        A = B;
        B = T;
    }
    if (B > C) B = C;
    return A > B ? A : B;
}
inline int Clamp(int V, int Lo, int Hi) { return V < Lo ? Lo : (V > Hi ? Hi : V); }
}  // namespace

KVR_MV Kvr_Read_MV(KVR_BITS* B, int Px, int Py, int F_Code) {
    const int Dx = Kvr_Read_MV_Component(B, F_Code);
    const int Dy = Kvr_Read_MV_Component(B, F_Code);
    return KVR_MV{int16_t(Kvr_Wrap_MV(Px + Dx, F_Code)), int16_t(Kvr_Wrap_MV(Py + Dy, F_Code))};
}

void Kvr_Predict_MV(KVR_MP4_STATE* D, const KVR_MB* MB, int Block, int* Px, int* Py) {
    // Candidate block offsets (dx, dy in 8x8 blocks from the current block) for left, top, top-right.
    static const int Off[4][3][2] = {{{-1, 0}, {0, -1}, {2, -1}},
                                     {{-1, 0}, {0, -1}, {1, -1}},
                                     {{-1, 0}, {0, -1}, {1, -1}},
                                     {{-1, 0}, {-1, -1}, {0, -1}}};
    const int Bx = 2 * MB->X + (Block & 1), By = 2 * MB->Y + (Block >> 1);
    int Vx[3], Vy[3], Avail[3], Nb = 0;
    for (int i = 0; i < 3; ++i) {
        const int Cx = Bx + Off[Block][i][0], Cy = By + Off[Block][i][1];
        Avail[i] = Kvr_MB_Available(D, MB, Cx >> 1, Cy >> 1) || ((Cx >> 1) == MB->X && (Cy >> 1) == MB->Y);
        if (Avail[i]) {
            const KVR_MV* V = Kvr_MV_At(D, 0, Cx, Cy);
            Vx[i] = V->X;
            Vy[i] = V->Y;
            ++Nb;
        } else {
            Vx[i] = Vy[i] = 0;
        }
    }
    if (Nb == 1) {
        for (int i = 0; i < 3; ++i)
            if (Avail[i]) {
                *Px = Vx[i];
                *Py = Vy[i];
            }
        return;
    }
    *Px = Median(Vx[0], Vx[1], Vx[2]);
    *Py = Median(Vy[0], Vy[1], Vy[2]);
}

void Kvr_Store_MB(KVR_MP4_STATE* D, const KVR_MB* MB, int Class) {
    KVR_MV* Row0 = Kvr_MV_At(D, 0, 2 * MB->X, 2 * MB->Y);
    KVR_MV* Row1 = Row0 + D->MV_Stride;
    Row0[0] = MB->MV[0];
    Row0[1] = MB->MV[1];
    Row1[0] = MB->MV[2];
    Row1[1] = MB->MV[3];
    KVR_MB_INFO& I = D->Maps[0].MB_Map[MB->Idx];
    I.Class = uint8_t(Class);
    I.Field = uint8_t(MB->Field_Pred > 0 ? 1 | (MB->Field_Sel[0][0] << 1) | (MB->Field_Sel[0][1] << 2) : 0);
    I.Quant = uint8_t(MB->Quant);
    I.Type = uint8_t(MB->Type);
    I.Lost = 0;
}

void Kvr_Clamp_Luma_MV(const KVR_MP4_STATE* D, int X, int Y, int Scale, int* Vx, int* Vy) {
    *Vx = Clamp(*Vx, -(16 * X + 16) * Scale, (D->Width - 16 * X) * Scale);
    *Vy = Clamp(*Vy, -(16 * Y + 16) * Scale, (D->Height - 16 * Y) * Scale);
}

void Kvr_Clamp_Chroma_MV(const KVR_MP4_STATE* D, int X, int Y, int* Vx, int* Vy) {
    *Vx = Clamp(*Vx, -16 * X - 16, 2 * (D->Width / 2) - 16 * X);
    *Vy = Clamp(*Vy, -16 * Y - 16, 2 * (D->Height / 2) - 16 * Y);
}

int Kvr_Chroma_MV_1(int V, int Quarter) {
    if (Quarter) V /= 2;
    return (V >> 1) | (V & 1);
}

int Kvr_Chroma_MV_4(int Sum, int Quarter) {
    static const int Round16[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
    if (Quarter) Sum /= 2;
    if (Sum >= 0) return Round16[Sum & 15] + ((Sum >> 3) & ~1);
    Sum = -Sum;
    return -(Round16[Sum & 15] + ((Sum >> 3) & ~1));
}

void Kvr_MC_Block(const KVR_MC_FN* Mc, uint8_t* Dst, const uint8_t* Ref, int BpS, int Size, int Vx, int Vy) {
    const uint8_t* Src = Ref + (Vy >> 1) * BpS + (Vx >> 1);
    const int Pos = (Vx & 1) | ((Vy & 1) << 1);
    if (Size == 16) {
        Mc[KVR_MC_16x8 + Pos](Dst, Src, BpS);
        Mc[KVR_MC_16x8 + Pos](Dst + 8 * BpS, Src + 8 * BpS, BpS);
    } else {
        Mc[KVR_MC_8x8 + Pos](Dst, Src, BpS);
    }
}

static void Predict_Chroma(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                           int Cx, int Cy) {
    Kvr_Clamp_Chroma_MV(D, MB->X, MB->Y, &Cx, &Cy);
    const int Off = 8 * MB->Y * D->BpS + 8 * MB->X;
    Kvr_MC_Block(Mc, D->Cur->U + Off, Ref->U + Off, D->BpS, 8, Cx, Cy);
    Kvr_MC_Block(Mc, D->Cur->V + Off, Ref->V + Off, D->BpS, 8, Cx, Cy);
}

void Kvr_Predict_1MV(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                     KVR_MV Mv) {
    if (D->VOL.Quarter) {
        Kvr_Asp_Predict_Qpel_MB(D, MB, Ref, Mc, &Mv, 1);
        return;
    }
    int Vx = Mv.X, Vy = Mv.Y;
    Kvr_Clamp_Luma_MV(D, MB->X, MB->Y, 2, &Vx, &Vy);
    const int Off = 16 * MB->Y * D->BpS + 16 * MB->X;
    Kvr_MC_Block(Mc, D->Cur->Y + Off, Ref->Y + Off, D->BpS, 16, Vx, Vy);
    Predict_Chroma(D, MB, Ref, Mc, Kvr_Chroma_MV_1(Mv.X, 0), Kvr_Chroma_MV_1(Mv.Y, 0));
}

void Kvr_Predict_4MV(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                     const KVR_MV* Mv) {
    if (D->VOL.Quarter) {
        Kvr_Asp_Predict_Qpel_MB(D, MB, Ref, Mc, Mv, 4);
        return;
    }
    int Sx = 0, Sy = 0;
    for (int k = 0; k < 4; ++k) {
        int Vx = Mv[k].X, Vy = Mv[k].Y;
        Sx += Vx;
        Sy += Vy;
        Kvr_Clamp_Luma_MV(D, MB->X, MB->Y, 2, &Vx, &Vy);
        const int Off = (16 * MB->Y + 8 * (k >> 1)) * D->BpS + 16 * MB->X + 8 * (k & 1);
        Kvr_MC_Block(Mc, D->Cur->Y + Off, Ref->Y + Off, D->BpS, 8, Vx, Vy);
    }
    Predict_Chroma(D, MB, Ref, Mc, Kvr_Chroma_MV_4(Sx, 0), Kvr_Chroma_MV_4(Sy, 0));
}

void Kvr_Copy_MB(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref) {
    const int Off = 16 * MB->Y * D->BpS + 16 * MB->X;
    D->MB_Dsp.Copy_16x16(D->Cur->Y + Off, Ref->Y + Off, D->BpS);
    const int C_Off = 8 * MB->Y * D->BpS + 8 * MB->X;
    D->MB_Dsp.Copy_8x8(D->Cur->U + C_Off, Ref->U + C_Off, D->BpS);
    D->MB_Dsp.Copy_8x8(D->Cur->V + C_Off, Ref->V + C_Off, D->BpS);
}

void Kvr_Draw_MVs(KVR_MP4_STATE* D) {
    const int Shift = D->VOL.Quarter ? 2 : 1;
    uint8_t* Y = D->Cur->Y;
    for (int My = 0; My < D->MB_H; ++My)
        for (int Mx = 0; Mx < D->MB_W; ++Mx) {
            const KVR_MV* V = Kvr_MV_At(D, 0, 2 * Mx, 2 * My);
            const int X0 = 16 * Mx + 8, Y0 = 16 * My + 8;
            const int Dx = V->X >> Shift, Dy = V->Y >> Shift;
            const int Steps = std::max(std::abs(Dx), std::abs(Dy));
            for (int i = 0; i <= Steps; ++i) {
                const int X = X0 + (Steps ? Dx * i / Steps : 0), Yp = Y0 + (Steps ? Dy * i / Steps : 0);
                if (X >= 0 && X < D->Width && Yp >= 0 && Yp < D->Height) Y[Yp * D->BpS + X] = 255;
            }
        }
}
