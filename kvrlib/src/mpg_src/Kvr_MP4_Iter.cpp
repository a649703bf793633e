// Macroblock iterator: rows, video packets after resync markers, overread checks, row callbacks.
#include <cstdio>
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Conceal.h"
#include "mpg_src/Kvr_MP4_MB.h"
#include "mpg_src/Kvr_Packet.h"

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
    MB->Packet_Bits = 0;
    D->Damage = nullptr;
    // Markers are looked for even when the layer says they are disabled: cameras send pictures with
    // video packets after a stored layer header that says otherwise, and valid macroblock data never
    // holds stuffing followed by sixteen zero bits, so the probe cannot misfire on streams without them.
    MB->Resync_Len = Kvr_Resync_Marker_Len(V);
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

// Moves MB to macroblock Next, closing every row it passes; a new packet starts there when H is given.
static void Move_To(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB, int Next, const KVR_PACKET_HEADER* H) {
    for (int Y = MB->Y; Y < Next / D->MB_W && Y < D->MB_H; ++Y) {
        MB->Y = Y;
        Kvr_MB_End_Row(D, MB);
        Kvr_MB_Row_Start(D, MB);
    }
    Set_Position(D, MB, Next);
    if (!H || MB->Y >= D->MB_H) return;
    MB->Quant = MB->Quant_Prev = H->Quant;
    MB->Packet_Start = Next;
    MB->Packet_Bits = B->Bit_Pos();
    // Intra predictors of earlier packets are not available to this one.
    std::memset(MB->Pred_Prev, 0, sizeof(KVR_MB_PREDS) * (D->MB_W + 1));
    std::memset(MB->Pred_Cur, 0, sizeof(KVR_MB_PREDS) * (MB->X + 1));
}

int Kvr_MB_Check_Resync(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    const int Next = MB->Idx + 1;
    const int Total = D->MB_W * D->MB_H;
    if (!MB->Resync_Len || Next >= Total || !Kvr_Packet_Ahead(B, MB->Resync_Len)) {
        Move_To(D, B, MB, Next, nullptr);
        return 0;
    }
    KVR_PACKET_HEADER H;
    if (!Kvr_Read_Packet_Header(D, B, MB->Resync_Len, Next, false, &H))
        throw KVR_STREAM_EXCEPTION("Damaged video packet header after macroblock %d", MB->Idx);
    if (H.First_MB > Next) {
        // Fewer macroblocks than the packet header says were read: this packet's data was damaged
        // without a code going invalid.
        Kvr_Note_Damage(
            D, std::make_exception_ptr(KVR_STREAM_EXCEPTION("Video packet at macroblock %d ended at %d, before %d",
                                                            MB->Packet_Start, Next, H.First_MB)));
        Kvr_Mark_Lost(D, Kvr_Short_Packet_Lost_From(MB->Packet_Start, Next), H.First_MB);
    }
    Move_To(D, B, MB, H.First_MB, &H);
    return 1;
}

void Kvr_MB_Recover(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB) {
    Kvr_Note_Damage(D);
    KVR_PACKET_HEADER H;
    int From = 0, Next = 0;
    const bool Found =
        Kvr_Find_Lost_Span(D, B, MB->Resync_Len, MB->Packet_Bits, MB->Packet_Start, MB->Idx, &From, &Next, &H);
    Kvr_Mark_Lost(D, From, Next);
    Move_To(D, B, MB, Next, Found ? &H : nullptr);
}
