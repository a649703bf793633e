// Macroblock iterator: rows, video packets after resync markers, overread checks, row callbacks.
#include <cstdio>
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_MP4_MB.h"

void Kvr_Check_Overread(const KVR_BITS* B) {
    if (B->Overread()) throw KVR_STREAM_EXCEPTION("VOP data ended before its last macroblock");
}

bool Kvr_MB_Available(const KVR_MP4_STATE* D, const KVR_MB* MB, int X, int Y) {
    if (X < 0 || Y < 0 || X >= D->MB_W || Y >= D->MB_H) return false;
    return Y * D->MB_W + X >= MB->Packet_Start;
}

static void Set_Position(KVR_MP4_STATE* D, KVR_MB* MB, int Idx) {
    MB->Idx = Idx;
    MB->X = Idx % D->MB_W;
    MB->Y = Idx / D->MB_W;
}

void Kvr_MB_Row_Start(KVR_MP4_STATE* D, KVR_MB* MB) {
    KVR_MB_PREDS* T = MB->Pred_Prev;
    MB->Pred_Prev = MB->Pred_Cur;
    MB->Pred_Cur = T;
    std::memset(&MB->Pred_Cur[0], 0, sizeof(KVR_MB_PREDS));  // left of column 0: never available
    (void)D;
}

void Kvr_MB_Start_VOP(KVR_MP4_STATE* D, KVR_MB* MB) {
    const KVR_MP4_VOP& V = D->VOP;
    MB->Quant = MB->Quant_Prev = V.Quant;
    MB->Packet_Start = 0;
    // Markers are looked for even when the layer says they are disabled: cameras send pictures with
    // video packets after a stored layer header that says otherwise, and valid macroblock data never
    // holds stuffing followed by sixteen zero bits, so the probe cannot misfire on streams without them.
    if (V.Coding == I_VOP) MB->Resync_Len = 17;
    else if (V.Coding == B_VOP) {
        int F = V.Fwd_Code > V.Bwd_Code ? V.Fwd_Code : V.Bwd_Code;
        MB->Resync_Len = 16 + (F > 2 ? F : 2);
    } else MB->Resync_Len = 16 + V.Fwd_Code;
    const int Row = D->MB_W + 1;
    MB->Pred_Cur = D->MB_Data;
    MB->Pred_Prev = D->MB_Data + Row;
    std::memset(D->MB_Data, 0, D->MB_Data_Bytes);
    MB->Field_DCT = D->VOL.Interlaced ? 0 : -1;
    Set_Position(D, MB, 0);
}

// The DC values of the luma predictors: the row just decoded (bottom blocks) and its top blocks.
static void Dump_Pred_Row(const KVR_MP4_STATE* D, const KVR_MB* MB) {
    if (MB->Y == 0) {
        Kvr_Log(&D->Log, KVR_LOG_INFO, "[top]");
        for (int x = 0; x < D->MB_W; ++x)
            for (int b = 2; b < 4; ++b) Kvr_Log(&D->Log, KVR_LOG_INFO, "%2d", MB->Pred_Prev[x + 1].B[b].DC);
        Kvr_Log(&D->Log, KVR_LOG_INFO, "  Frame #%d\n", D->Frame_Nb);
    }
    Kvr_Log(&D->Log, KVR_LOG_INFO, "[%3d]", MB->Y);
    for (int x = 0; x < D->MB_W; ++x)
        for (int b = 2; b < 4; ++b) Kvr_Log(&D->Log, KVR_LOG_INFO, "%2d", MB->Pred_Cur[x + 1].B[b].DC);
    Kvr_Log(&D->Log, KVR_LOG_INFO, "\n[---]");
    for (int x = 0; x < D->MB_W; ++x)
        for (int b = 0; b < 2; ++b) Kvr_Log(&D->Log, KVR_LOG_INFO, "%2d", MB->Pred_Cur[x + 1].B[b].DC);
    Kvr_Log(&D->Log, KVR_LOG_INFO, "\n");
}

void Kvr_MB_End_Row(KVR_MP4_STATE* D, KVR_MB* MB) {
    if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "\n");
    if (D->Debug >= 2) Dump_Pred_Row(D, MB);
    if (D->Slicer) D->Slicer(D->Cur, 16 * MB->Y, 16, D->Slicer_Data);
}

// Stuffing (0 then ones up to the byte boundary, a whole 0x7F when aligned) and the marker.
static bool Marker_Ahead(KVR_BITS* B, int L) {
    int N = B->Bits_To_Byte_Align();
    if (N == 0) N = 8;
    const uint32_t Stuff = (1u << (N - 1)) - 1;
    const uint32_t Want = (Stuff << L) | 1u;
    return B->See(N + L) == Want && B->Bits_Avail() >= N + L;
}

int Kvr_MB_Check_Resync(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    const int Old_Y = MB->Y;
    int Next = MB->Idx + 1;
    int Resync = 0;
    const int Total = D->MB_W * D->MB_H;
    if (MB->Resync_Len && Next < Total && Marker_Ahead(B, MB->Resync_Len)) {
        int N = B->Bits_To_Byte_Align();
        B->Skip((N == 0 ? 8 : N) + MB->Resync_Len);
        const int Num = int(B->Get(Kvr_Bit_Length(uint32_t(Total - 1))));
        int Q = int(B->Get(D->VOL.Quant_Prec));
        const KVR_MP4_VOP& V = D->VOP;
        if (B->Get1()) {  // header extension: a copy of the picture header fields
            while (B->Get1() && !B->Overread()) {}
            B->Skip(1);
            B->Skip(D->VOL.Time_Bits);
            B->Skip(1);
            B->Skip(2);
            B->Skip(3);
            if (V.Coding != I_VOP) B->Skip(3);
            if (V.Coding == B_VOP) B->Skip(3);
        }
        Kvr_Check_Overread(B);
        if (Num < Next || Num >= Total)
            throw KVR_STREAM_EXCEPTION("Video packet at macroblock %d out of order", Num);
        if (Q < 1) Q = 1;
        if (Q > 31) Q = 31;
        MB->Quant = MB->Quant_Prev = Q;
        Next = Num;
        Resync = 1;
    }
    // Close every row the position moves past.
    for (int Y = Old_Y; Y < Next / D->MB_W && Y < D->MB_H; ++Y) {
        MB->Y = Y;
        Kvr_MB_End_Row(D, MB);
        Kvr_MB_Row_Start(D, MB);
    }
    Set_Position(D, MB, Next);
    if (Resync && MB->Y < D->MB_H) {
        MB->Packet_Start = Next;
        // Intra predictors of earlier packets are not available to this one.
        std::memset(MB->Pred_Prev, 0, sizeof(KVR_MB_PREDS) * (D->MB_W + 1));
        std::memset(MB->Pred_Cur, 0, sizeof(KVR_MB_PREDS) * (MB->X + 1));
    }
    return Resync;
}
