// P-VOP (and S-VOP) macroblock loop.
#include <cstdio>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_Conceal.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {
void Read_Vector(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB, int Block, KVR_MV* Out) {
    int Px, Py;
    Kvr_Predict_MV(D, MB, Block, &Px, &Py);
    *Out = Kvr_Read_MV(B, Px, Py, D->VOP.Fwd_Code);
}

// One macroblock of a P- or S-VOP (Gmc: an S-VOP with global motion compensation).
void Decode_Inter_MB(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB, bool Gmc) {
    const KVR_MP4_FRAME* Ref = D->Fwd;
    MB->Field_Pred = 0;
    MB->MC_Sel = 0;
    MB->Field_DCT = D->VOL.Interlaced ? 0 : -1;
    int Mcbpc = -2;
    bool Skipped = false;
    while (Mcbpc == -2) {
        if (B->Get1()) {
            Skipped = true;
            break;
        }
        Mcbpc = Kvr_Read_MCBPC_Inter(B);
        if (B->Overread()) break;
    }
    Kvr_Check_Overread(B);
    if (Skipped) {
        Kvr_Clear_Intra_Preds(MB);
        MB->CBP = 0;
        if (Gmc) {
            MB->MC_Sel = 1;
            MB->Type = KVR_MB_GMC_SKIPPED;
            Kvr_Asp_Predict_GMC_MB(D, MB);
            Kvr_Store_MB(D, MB, 0);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", 'g');
        } else {
            MB->Type = KVR_MB_SKIPPED;
            Kvr_Copy_MB(D, MB, Ref);
            MB->MV[0] = MB->MV[1] = MB->MV[2] = MB->MV[3] = KVR_MV{0, 0};
            Kvr_Store_MB(D, MB, 0);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", 's');
        }
        return;
    }
    if (Mcbpc < 0) throw KVR_STREAM_EXCEPTION("Invalid inter MCBPC at macroblock %d", MB->Idx);
    MB->Type = Mcbpc >> 2;
    const bool Intra = MB->Type >= 3;
    MB->AC_Pred = 0;
    if (Intra) MB->AC_Pred = int(B->Get1());
    else if (Gmc && MB->Type < 2) MB->MC_Sel = int(B->Get1());
    const int Cbpy = Kvr_Read_CBPY(B, Intra);
    if (Cbpy < 0) throw KVR_STREAM_EXCEPTION("Invalid CBPY at macroblock %d", MB->Idx);
    MB->CBP = (Cbpy << 2) | (Mcbpc & 3);
    MB->Quant_Prev = MB->Quant;
    if (MB->Type == 1 || MB->Type == 4) MB->Quant = Kvr_Read_DQuant(B, MB->Quant);
    if (D->VOL.Interlaced) {
        if (Intra) {
            MB->Field_DCT = int(B->Get1());
        } else {
            MB->Field_DCT = MB->CBP ? int(B->Get1()) : 0;
            if (MB->Type != 2 && !MB->MC_Sel) {
                MB->Field_Pred = int(B->Get1());
                if (MB->Field_Pred) {
                    MB->Field_Sel[0][0] = int(B->Get1());
                    MB->Field_Sel[0][1] = int(B->Get1());
                }
            }
        }
    }
    if (Intra) {
        Kvr_Decode_Intra_MB(D, B, MB);
        MB->MV[0] = MB->MV[1] = MB->MV[2] = MB->MV[3] = KVR_MV{0, 0};
        Kvr_Store_MB(D, MB, 1);
        if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", '*');
    } else {
        int Class = 3;
        if (MB->MC_Sel) {
            Class = 0;
            Kvr_Asp_Predict_GMC_MB(D, MB);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", 'g');
        } else if (MB->Field_Pred) {
            Kvr_Asp_Read_Field_MVs(D, B, MB);
            Kvr_Asp_Predict_Field_MB(D, MB, Ref, D->MC);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", '=');
        } else if (MB->Type == 2) {
            Class = 5;
            for (int k = 0; k < 4; ++k) {
                Read_Vector(D, B, MB, k, &MB->MV[k]);
                // Later blocks of this macroblock predict from the ones just read.
                *(Kvr_MV_At(D, 0, 2 * MB->X + (k & 1), 2 * MB->Y + (k >> 1))) = MB->MV[k];
            }
            Kvr_Predict_4MV(D, MB, Ref, D->MC, MB->MV);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", '4');
        } else {
            Read_Vector(D, B, MB, 0, &MB->MV[0]);
            MB->MV[1] = MB->MV[2] = MB->MV[3] = MB->MV[0];
            Kvr_Predict_1MV(D, MB, Ref, D->MC, MB->MV[0]);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", ".-="[MB->Field_DCT + 1]);
        }
        Kvr_Clear_Intra_Preds(MB);
        Kvr_Decode_Inter_Residual(D, B, MB);
        Kvr_Store_MB(D, MB, Class);
    }
    Kvr_Check_Overread(B);
}
}  // namespace

void Kvr_Decode_P_VOP(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MB MB;
    Kvr_MB_Start_VOP(D, &MB);
    MB.Packet_Bits = B->Bit_Pos();
    const bool Gmc = D->VOP.Coding == S_VOP && D->VOL.Sprite_Enable == 2;
    while (MB.Y < D->MB_H) {
        try {
            Decode_Inter_MB(D, B, &MB, Gmc);
            Kvr_MB_Check_Resync(D, B, &MB);
        } catch (const KVR_STREAM_EXCEPTION&) {
            Kvr_MB_Recover(D, B, &MB);
        }
    }
    Kvr_Conceal_Lost(D);
    if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "\n");
    if (D->Debug >= 1) Kvr_Draw_MVs(D);
}
