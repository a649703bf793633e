// I-VOP macroblock loop.
#include <cstdio>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Conceal.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {
void Decode_Intra_MB(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    const int Mcbpc = Kvr_Read_MCBPC_Intra(B);
    if (Mcbpc < 0) throw KVR_STREAM_EXCEPTION("Invalid intra MCBPC at macroblock %d", MB->Idx);
    MB->Type = Mcbpc >> 2;
    MB->AC_Pred = int(B->Get1());
    const int Cbpy = Kvr_Read_CBPY(B, 1);
    if (Cbpy < 0) throw KVR_STREAM_EXCEPTION("Invalid CBPY at macroblock %d", MB->Idx);
    MB->CBP = (Cbpy << 2) | (Mcbpc & 3);
    MB->Quant_Prev = MB->Quant;
    if (MB->Type == 4) MB->Quant = Kvr_Read_DQuant(B, MB->Quant);
    MB->Field_Pred = 0;
    if (D->VOL.Interlaced) MB->Field_DCT = int(B->Get1());
    Kvr_Decode_Intra_MB(D, B, MB);
    MB->MV[0] = MB->MV[1] = MB->MV[2] = MB->MV[3] = KVR_MV{0, 0};
    Kvr_Store_MB(D, MB, 1);
    if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", "*-="[MB->Field_DCT + 1]);
    Kvr_Check_Overread(B);
}
}  // namespace

void Kvr_Decode_I_VOP(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MB MB;
    Kvr_MB_Start_VOP(D, &MB);
    MB.Packet_Bits = B->Bit_Pos();
    while (MB.Y < D->MB_H) {
        try {
            Decode_Intra_MB(D, B, &MB);
            Kvr_MB_Check_Resync(D, B, &MB);
        } catch (const KVR_STREAM_EXCEPTION&) {
            Kvr_MB_Recover(D, B, &MB);
        }
    }
    Kvr_Conceal_Lost(D);
    if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "\n");
}
