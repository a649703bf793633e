// Intra blocks with DC/AC prediction, inter residual blocks, and the coefficient scans.
#include <cstdlib>
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_MP4_MB.h"

const uint8_t Kvr_Zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
const uint8_t Kvr_Alt_Horiz[64] = {0,  1,  2,  3,  8,  9,  16, 17, 10, 11, 4,  5,  6,  7,  15, 14,
                                   13, 12, 19, 18, 24, 25, 32, 33, 26, 27, 20, 21, 22, 23, 28, 29,
                                   30, 31, 34, 35, 40, 41, 48, 49, 42, 43, 36, 37, 38, 39, 44, 45,
                                   46, 47, 50, 51, 56, 57, 58, 59, 52, 53, 54, 55, 60, 61, 62, 63};
const uint8_t Kvr_Alt_Vert[64] = {0,  8,  16, 24, 1, 9,  2,  10, 17, 25, 32, 40, 48, 56, 57, 49,
                                  41, 33, 26, 18, 3, 11, 4,  12, 19, 27, 34, 42, 50, 58, 35, 43,
                                  51, 59, 20, 28, 5, 13, 6,  14, 21, 29, 36, 44, 52, 60, 37, 45,
                                  53, 61, 22, 30, 7, 15, 23, 31, 38, 46, 54, 62, 39, 47, 55, 63};

namespace {
const int KVR_DC_UNAVAILABLE = 1024;
const int KVR_MAX_DC_SIZE_8BIT = 9;  // |DC difference| of eight-bit samples stays under 512

inline int DC_Scaler(int Q, int Chroma) {
    if (Chroma) return Q < 5 ? 8 : (Q < 25 ? (Q + 13) / 2 : Q - 6);
    return Q < 5 ? 8 : (Q < 9 ? 2 * Q : (Q < 25 ? Q + 8 : 2 * Q - 16));
}

// Neighbour level A coded with quantiser Qp, rescaled to quantiser Qc with rounding.
inline int Rescale(int A, int Qp, int Qc) {
    if (Qp == Qc || A == 0) return A;
    const int P = A * Qp;
    return P >= 0 ? (P + Qc / 2) / Qc : -((Qc / 2 - P) / Qc);
}

// Intra dequantisation of the coded and predicted positions only; the rest of Dst is zero.
void Dequant_Intra(int16_t* Dst, const int16_t* Lev, uint64_t Coded, const int16_t* Table, int Q, int Scaler,
                   bool Mpeg) {
    KVR_ASSERT("kvr_quant_c", Q > 0 && Q < 32);
    const int16_t* M = Kvr_Dequant_Mult(Table, Q);
    std::memset(Dst, 0, 64 * sizeof(int16_t));
    const int Dc = Lev[0] * Scaler;
    Dst[0] = int16_t(Dc < -2048 ? -2048 : (Dc > 2047 ? 2047 : Dc));
    for (Coded &= ~uint64_t(1); Coded; Coded &= Coded - 1) {
        const int j = __builtin_ctzll(Coded);
        const int L = Lev[j];
        if (L) Dst[j] = int16_t(Mpeg ? Kvr_Dequant_MPEG_Intra(L, M, j) : Kvr_Dequant_H263(L, M, j));
    }
}

uint8_t* Block_Dst(KVR_MP4_STATE* D, const KVR_MB* MB, int Blk, int* Stride) {
    const KVR_MP4_FRAME* C = D->Cur;
    const int BpS = D->BpS;
    if (Blk < 4) {
        uint8_t* P = C->Y + (16 * MB->Y) * BpS + 16 * MB->X + 8 * (Blk & 1);
        if (MB->Field_DCT > 0) {
            *Stride = 2 * BpS;
            return P + (Blk >> 1) * BpS;
        }
        *Stride = BpS;
        return P + 8 * (Blk >> 1) * BpS;
    }
    *Stride = BpS;
    return (Blk == 4 ? C->U : C->V) + 8 * MB->Y * BpS + 8 * MB->X;
}
}  // namespace

void Kvr_Clear_Intra_Preds(KVR_MB* MB) {
    KVR_MB_PREDS& P = MB->Pred_Cur[MB->X + 1];
    for (KVR_MB_PRED& E : P.B) E.Quant = 0;
}

void Kvr_Decode_Intra_MB(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    KVR_MB_PREDS* Cur = &MB->Pred_Cur[MB->X + 1];
    KVR_MB_PREDS* Left = &MB->Pred_Cur[MB->X];
    KVR_MB_PREDS* Top = &MB->Pred_Prev[MB->X + 1];
    KVR_MB_PREDS* Top_Left = &MB->Pred_Prev[MB->X];
    // Neighbours per block: {left, top-left, top} as (predictor set, block).
    const struct {
        KVR_MB_PREDS* S;
        int B;
    } N[6][3] = {{{Left, 1}, {Top_Left, 3}, {Top, 2}}, {{Cur, 0}, {Top, 2}, {Top, 3}},
                 {{Left, 3}, {Left, 1}, {Cur, 0}},     {{Cur, 2}, {Cur, 0}, {Cur, 1}},
                 {{Left, 4}, {Top_Left, 4}, {Top, 4}}, {{Left, 5}, {Top_Left, 5}, {Top, 5}}};
    const int Qc = MB->Quant;
    const int Use_DC_VLC = MB->Quant_Prev < D->VOP.DC_Thresh;
    const KVR_QUANT_DSP& Q = D->Quant_Dsp;
    int16_t Lev[64];
    for (int b = 0; b < 6; ++b) {
        const int Chroma = b >= 4;
        const int Scaler = DC_Scaler(Qc, Chroma);
        const KVR_MB_PRED* A = &N[b][0].S->B[N[b][0].B];
        const KVR_MB_PRED* Bq = &N[b][1].S->B[N[b][1].B];
        const KVR_MB_PRED* C = &N[b][2].S->B[N[b][2].B];
        const int Fa = A->Quant ? A->DC : KVR_DC_UNAVAILABLE;
        const int Fb = Bq->Quant ? Bq->DC : KVR_DC_UNAVAILABLE;
        const int Fc = C->Quant ? C->DC : KVR_DC_UNAVAILABLE;
        const bool From_Top = std::abs(Fa - Fb) < std::abs(Fb - Fc);
        const uint8_t* Scan = Kvr_Zigzag;
        if (D->VOP.Alt_Scan) Scan = Kvr_Alt_Vert;
        else if (MB->AC_Pred) Scan = From_Top ? Kvr_Alt_Horiz : Kvr_Alt_Vert;

        std::memset(Lev, 0, sizeof(Lev));
        uint64_t Coded = 1;  // the DC is always dequantised (its prediction makes it non-zero)
        int Pos = 0;
        if (Use_DC_VLC) {
            const int Size = Kvr_Read_DC_Size(B, Chroma);
            if (Size < 0) throw KVR_STREAM_EXCEPTION("Invalid DC size code");
            // Eight-bit samples keep a DC difference within 9 bits; a longer one is damage.
            if (Size > KVR_MAX_DC_SIZE_8BIT && !D->VOL.Not_8b) throw KVR_STREAM_EXCEPTION("DC size %d", Size);
            if (Size > 0) {
                int V = int(B->Get(Size));
                if (!(V >> (Size - 1))) V -= (1 << Size) - 1;
                if (Size > 8) B->Skip(1);
                Lev[0] = int16_t(V);
            }
            Pos = 1;
        }
        if (MB->CBP & (32 >> b)) Coded |= Kvr_Decode_Intra_Coefs(B, Lev, Scan, Pos);

        KVR_MB_PRED* E = &Cur->B[b];
        const KVR_MB_PRED* P = From_Top ? C : A;
        if (MB->AC_Pred && P->Quant) {
            if (From_Top) {
                for (int i = 1; i < 8; ++i) Lev[i] = int16_t(Lev[i] + Rescale(P->Row[i - 1], P->Quant, Qc));
                Coded |= 0xFE;
            } else {
                for (int i = 1; i < 8; ++i)
                    Lev[8 * i] = int16_t(Lev[8 * i] + Rescale(P->Col[i - 1], P->Quant, Qc));
                Coded |= 0x0101010101010100ull;
            }
        }
        const int Pred = From_Top ? Fc : Fa;
        Lev[0] = int16_t(Lev[0] + (Pred + Scaler / 2) / Scaler);
        // Samples never average below zero, so a negative DC read with its own code is damage.
        if (Use_DC_VLC && Lev[0] < 0) throw KVR_STREAM_EXCEPTION("Negative intra DC");
        int Dc = Lev[0] * Scaler;
        // The predictor keeps a value a later block can use even when this one overflowed.
        Dc = Dc < 0 ? 0 : (Dc > 2047 ? 2047 : Dc);
        E->Quant = int16_t(Qc);
        E->DC = int16_t(Dc);
        for (int i = 1; i < 8; ++i) {
            E->Row[i - 1] = Lev[i];
            E->Col[i - 1] = Lev[8 * i];
        }
        Dequant_Intra(D->Blocks[b], Lev, Coded, D->Q_Base, Qc, Scaler, D->VOL.Quant_Type != 0);
    }
    for (int b = 0; b < 6; ++b) {
        int Stride;
        uint8_t* Dst = Block_Dst(D, MB, b, &Stride);
        Q.IDCT_Put(D->Blocks[b], Dst, Stride);
    }
}

void Kvr_Decode_Inter_Residual(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    const KVR_QUANT_DSP& Q = D->Quant_Dsp;
    const uint8_t* Scan = D->VOP.Alt_Scan ? Kvr_Alt_Vert : Kvr_Zigzag;
    KVR_ASSERT("kvr_quant_c", MB->Quant > 0 && MB->Quant < 32);
    const int16_t* M = Kvr_Dequant_Mult(D->Q_Inter, MB->Quant);
    const int Mpeg = D->VOL.Quant_Type != 0;
    for (int b = 0; b < 6; ++b) {
        if (!(MB->CBP & (32 >> b))) continue;
        std::memset(D->Blocks[b], 0, sizeof(D->Blocks[b]));
        Kvr_Decode_Inter_Coefs(B, D->Blocks[b], Scan, Mpeg, M);
        int Stride;
        uint8_t* Dst = Block_Dst(D, MB, b, &Stride);
        Q.IDCT_Add(D->Blocks[b], Dst, Stride);
    }
}
