// Reduced-resolution I- and P-VOPs: 32x32 macroblocks whose 8x8 blocks are up-sampled to 16x16.
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

namespace {

const int MB_SKIPPED = 6;

// The shared block decoders reconstruct through IDCT_Put / IDCT_Add; the reduced-resolution view
// carries these in their place, so that the dequantised block stays in Blocks to be transformed and
// up-sampled here.
void Keep_Block(int16_t*, uint8_t*, int) {}

inline int Clampi(int V, int Lo, int Hi) { return V < Lo ? Lo : (V > Hi ? Hi : V); }

// The state the shared macroblock code sees while a reduced-resolution picture is decoded: the
// 32x32 macroblock grid (so that vector and intra prediction find the real neighbours) and the
// block-keeping kernels. It is a copy, so the decoder's own grid and kernels are never touched, and
// it shares the pictures, maps and predictor rows the loop writes through its pointers. A plain field
// the shared code sets in these loops stays with the view (today only the damage note cleared at the
// start of a picture: reduced-resolution pictures are not concealed, an error ends them).
struct RR_View {
    KVR_MP4_STATE S;
    explicit RR_View(const KVR_MP4_STATE& D) : S(D) {
        S.MB_W = (D.MB_W + 1) / 2;
        S.MB_H = (D.MB_H + 1) / 2;
        S.Quant_Dsp.IDCT_Put = Keep_Block;
        S.Quant_Dsp.IDCT_Add = Keep_Block;
        // The picture slots are copied with the state: point at the copies, so that a slot's index
        // is the same in the view as in the decoder. They describe the same planes and maps.
        S.Fwd = Same_Slot(D, D.Fwd);
        S.Cur = Same_Slot(D, D.Cur);
        S.Bwd = Same_Slot(D, D.Bwd);
        S.B_Spare = Same_Slot(D, D.B_Spare);
        S.Last = nullptr;
    }
    KVR_MP4_FRAME* Same_Slot(const KVR_MP4_STATE& D, const KVR_MP4_FRAME* P) {
        const int I = Kvr_Pic_Index(&D, P);
        return I >= 0 && I < MAX_PICS ? &S.Pics[I] : nullptr;
    }
};

struct RR_Decoder {
    KVR_MP4_STATE* D;
    KVR_BITS* B;
    int Plane_W, Plane_H;  // macroblock-aligned luma size of the pictures

    // Top-left sample of 16x16 area Blk (0..3 luma quadrants, 4 Cb, 5 Cr) of 32x32 macroblock (X, Y).
    uint8_t* Area(KVR_MP4_FRAME* P, int X, int Y, int Blk) const {
        const int BpS = D->BpS;
        if (Blk < 4) return P->Y + (32 * Y + 16 * (Blk >> 1)) * BpS + 32 * X + 16 * (Blk & 1);
        return (Blk == 4 ? P->U : P->V) + 16 * Y * BpS + 16 * X;
    }

    // Transforms the kept blocks and puts (intra) or adds (inter) them up-sampled.
    void Reconstruct(const KVR_MB* MB, int Intra) {
        for (int b = 0; b < 6; ++b) {
            if (!Intra && !(MB->CBP & (32 >> b))) continue;
            D->Quant_Dsp.IDCT(D->Blocks[b]);
            uint8_t* Dst = Area(D->Cur, MB->X, MB->Y, b);
            if (Intra) D->MB_Dsp.Upsample_Put(Dst, D->Blocks[b], D->BpS);
            else D->MB_Dsp.Upsample_Add(Dst, D->Blocks[b], D->BpS);
        }
    }

    // One 16x16 luma quadrant (or a whole 16x16 chroma block) predicted with a half-sample vector that
    // keeps the block within the picture plus its border.
    void Predict_Area(uint8_t* Dst, const uint8_t* Ref_Origin, int Px, int Py, int Vx, int Vy, int Plane_W,
                      int Plane_H, int Border) {
        Vx = Clampi(Vx, 2 * (-Border - Px), 2 * (Plane_W + Border - 16 - Px));
        Vy = Clampi(Vy, 2 * (-Border - Py), 2 * (Plane_H + Border - 16 - Py));
        Kvr_MC_Block(D->MC, Dst, Ref_Origin + Py * D->BpS + Px, D->BpS, 16, Vx, Vy);
    }

    // Motion compensation of a 32x32 macroblock: vectors act at double scale.
    void Predict(const KVR_MB* MB, int Four) {
        const KVR_MP4_FRAME* R = D->Fwd;
        const int W = Plane_W, H = Plane_H;
        int Sx = 0, Sy = 0;
        for (int q = 0; q < 4; ++q) {
            const KVR_MV V = MB->MV[Four ? q : 0];
            Sx += 2 * V.X;
            Sy += 2 * V.Y;
            const int Px = 32 * MB->X + 16 * (q & 1), Py = 32 * MB->Y + 16 * (q >> 1);
            Predict_Area(Area(D->Cur, MB->X, MB->Y, q), R->Y, Px, Py, 2 * V.X, 2 * V.Y, W, H, 16);
        }
        const int Cx = Four ? Kvr_Chroma_MV_4(Sx, 0) : Kvr_Chroma_MV_1(2 * MB->MV[0].X, 0);
        const int Cy = Four ? Kvr_Chroma_MV_4(Sy, 0) : Kvr_Chroma_MV_1(2 * MB->MV[0].Y, 0);
        for (int c = 4; c < 6; ++c)
            Predict_Area(Area(D->Cur, MB->X, MB->Y, c), c == 4 ? R->U : R->V, 16 * MB->X, 16 * MB->Y, Cx, Cy,
                         W / 2, H / 2, 8);
    }

    void Copy(const KVR_MB* MB) {
        for (int b = 0; b < 6; ++b) {
            uint8_t* Dst = Area(D->Cur, MB->X, MB->Y, b);
            const uint8_t* Src = Area(D->Fwd, MB->X, MB->Y, b);
            D->MB_Dsp.Copy_16x16(Dst, Src, D->BpS);
        }
    }

    void Read_Vector(KVR_MB* MB, int Block, KVR_MV* Out) {
        int Px, Py;
        Kvr_Predict_MV(D, MB, Block, &Px, &Py);
        const int F = D->VOP.Fwd_Code;
        const int Dx = Kvr_Read_MV_Component(B, F);
        const int Dy = Kvr_Read_MV_Component(B, F);
        Out->X = int16_t(Kvr_Wrap_MV(Px + Dx, F));
        Out->Y = int16_t(Kvr_Wrap_MV(Py + Dy, F));
    }

    void Intra(KVR_MB* MB) {
        MB->AC_Pred = int(B->Get1());
        const int Cbpy = Kvr_Read_CBPY(B, 1);
        if (Cbpy < 0) throw KVR_STREAM_EXCEPTION("Invalid CBPY in a reduced-resolution picture");
        MB->CBP = (Cbpy << 2) | (MB->CBP & 3);
        MB->Quant_Prev = MB->Quant;
        if (MB->Type == 4) MB->Quant = Kvr_Read_DQuant(B, MB->Quant);
        Kvr_Decode_Intra_MB(D, B, MB);
        Reconstruct(MB, 1);
        MB->MV[0] = MB->MV[1] = MB->MV[2] = MB->MV[3] = KVR_MV{0, 0};
        Kvr_Store_MB(D, MB, 1);
    }

    char Macroblock(KVR_MB* MB) {
        MB->Field_Pred = 0;
        MB->MC_Sel = 0;
        MB->Field_DCT = -1;
        if (D->VOP.Coding == I_VOP) {
            const int Mcbpc = Kvr_Read_MCBPC_Intra(B);
            if (Mcbpc < 0) throw KVR_STREAM_EXCEPTION("Invalid intra MCBPC in a reduced-resolution picture");
            MB->Type = Mcbpc >> 2;
            MB->CBP = Mcbpc & 3;
            Intra(MB);
            return '*';
        }
        int Mcbpc = -2;
        while (Mcbpc == -2) {
            if (B->Get1()) {
                Kvr_Clear_Intra_Preds(MB);
                MB->Type = MB_SKIPPED;
                MB->CBP = 0;
                Copy(MB);
                MB->MV[0] = MB->MV[1] = MB->MV[2] = MB->MV[3] = KVR_MV{0, 0};
                Kvr_Store_MB(D, MB, 0);
                return 's';
            }
            Mcbpc = Kvr_Read_MCBPC_Inter(B);
            Kvr_Check_Overread(B);
        }
        if (Mcbpc < 0) throw KVR_STREAM_EXCEPTION("Invalid inter MCBPC in a reduced-resolution picture");
        MB->Type = Mcbpc >> 2;
        MB->CBP = Mcbpc & 3;
        if (MB->Type >= 3) {
            Intra(MB);
            return '*';
        }
        KVR_ASSERT("kvr_mpg4_rvop", MB->MC_Sel == 0);
        const int Cbpy = Kvr_Read_CBPY(B, 0);
        if (Cbpy < 0) throw KVR_STREAM_EXCEPTION("Invalid CBPY in a reduced-resolution picture");
        MB->CBP |= Cbpy << 2;
        MB->Quant_Prev = MB->Quant;
        if (MB->Type == 1) MB->Quant = Kvr_Read_DQuant(B, MB->Quant);
        const int Four = MB->Type == 2;
        if (Four) {
            for (int k = 0; k < 4; ++k) {
                Read_Vector(MB, k, &MB->MV[k]);
                *Kvr_MV_At(D, 0, 2 * MB->X + (k & 1), 2 * MB->Y + (k >> 1)) = MB->MV[k];
            }
        } else {
            Read_Vector(MB, 0, &MB->MV[0]);
            MB->MV[1] = MB->MV[2] = MB->MV[3] = MB->MV[0];
        }
        Predict(MB, Four);
        Kvr_Clear_Intra_Preds(MB);
        Kvr_Decode_Inter_Residual(D, B, MB);
        Reconstruct(MB, 0);
        Kvr_Store_MB(D, MB, Four ? 5 : 3);
        return Four ? '4' : '.';
    }
};

}  // namespace

void Kvr_Asp_Decode_RR_VOP(KVR_MP4_STATE* D, KVR_BITS* B) {
    const KVR_MP4_VOP& V = D->VOP;
    KVR_ASSERT("kvr_mpg4_rvop", V.Reduced_VOP == 1 && V.Coding != B_VOP && V.Coding != S_VOP);
    KVR_ASSERT("kvr_mpg4_rvop", D->VOL.Reduced_VOP >= 0);
    // Video packets and interlaced coding are not combined with reduced resolution here.
    if (D->VOL.Resync)
        throw KVR_UNSUPPORTED_EXCEPTION("Video packets in reduced-resolution pictures not supported");
    if (D->VOL.Interlaced) throw KVR_UNSUPPORTED_EXCEPTION("Interlaced reduced-resolution pictures not supported");
    if (V.Coding == P_VOP && !D->Pic_Ok[Kvr_Pic_Index(D, D->Fwd)])
        throw KVR_STREAM_EXCEPTION("Reduced-resolution P-VOP without a reference picture");

    RR_View View(*D);
    KVR_MP4_STATE* const R = &View.S;
    RR_Decoder Dec{R, B, D->MB_W * 16, D->MB_H * 16};
    KVR_MB MB;
    Kvr_MB_Start_VOP(R, &MB);
    const int Rw = R->MB_W, Rh = R->MB_H;
    for (int Y = 0; Y < Rh; ++Y) {
        if (Y > 0) Kvr_MB_Row_Start(R, &MB);
        for (int X = 0; X < Rw; ++X) {
            MB.X = X;
            MB.Y = Y;
            MB.Idx = Y * Rw + X;
            Kvr_Check_Overread(B);
            const char C = Dec.Macroblock(&MB);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", C);
        }
        if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "\n");
        // Rows are 32 lines high; the caller hears of each once it is complete.
        if (D->Slicer) D->Slicer(D->Cur, 32 * Y, 32, D->Slicer_Data);
    }
    Kvr_Check_Overread(B);
}
