// Macroblock iterator and the shared macroblock-layer helpers (VLCs, blocks, vectors, prediction).
#pragma once

#include <cstdint>

#include "mpg_src/Kvr_MP4_State.h"

// Macroblock types stored for macroblocks that carry no data: later pictures copy (B-VOPs) or
// warp (GMC) them. Lost macroblocks are stored the same way once concealed.
enum { KVR_MB_SKIPPED = 6, KVR_MB_GMC_SKIPPED = 7 };

// Per-VOP iterator of the macroblock loops; lives on the stack of a loop.
struct KVR_MB {
    int X = 0, Y = 0, Idx = 0;  // column, row, linear index
    int Packet_Start = 0;       // linear index of the first macroblock of the current video packet
    int64_t Packet_Bits = 0;    // reader position after that packet's header (the VOP header for the first)
    int Quant = 1;              // current quantiser
    int Quant_Prev = 1;         // quantiser before this macroblock's DQUANT (intra-DC VLC test)
    int Type = 0;               // 0 inter, 1 inter+q, 2 inter 4v, 3 intra, 4 intra+q, 6 skipped
    int CBP = 0;                // 6 bits, bit 5 = block Y0
    int AC_Pred = 0;
    int Field_DCT = -1;  // -1 in progressive VOPs
    int Field_Pred = 0;
    int Field_Sel[2][2] = {};           // [forward, backward][top, bottom] reference field
    int MC_Sel = 0;                     // GMC-predicted macroblock of an S-VOP
    KVR_MV MV[4] = {};                  // block vectors (unclamped, VOP units)
    int Resync_Len = 0;                 // marker length L; 0 when markers are disabled
    KVR_MB_PREDS* Pred_Cur = nullptr;   // predictor sets of this row, index X + 1
    KVR_MB_PREDS* Pred_Prev = nullptr;  // of the row above
};

// Loop skeleton shared by all macroblock loops.
void Kvr_MB_Start_VOP(KVR_MP4_STATE* D, KVR_MB* MB);  // quantiser, marker length, predictor rows
void Kvr_MB_Row_Start(KVR_MP4_STATE* D, KVR_MB* MB);
// After a macroblock: 1 when a video-packet header was found (MB is repositioned at its first
// macroblock), 0 when the loop simply advances. Raises KVR_STREAM_EXCEPTION on a bad packet header;
// macroblocks a good header skips over are concealed and recorded as damage.
int Kvr_MB_Check_Resync(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB);
// Called from the handler of a KVR_STREAM_EXCEPTION in an I-, P- or S-VOP loop: records the damage,
// marks the damaged packet lost up to the next packet found in the VOP (the rest of the picture when
// there is none; the loop conceals them when it ends) and places MB at that packet's first
// macroblock, so the loop just goes on.
void Kvr_MB_Recover(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB);
// Raises KVR_STREAM_EXCEPTION once the reader has run past the end of the VOP data.
void Kvr_Check_Overread(const KVR_BITS* B);
// True when macroblock (X, Y) is inside the picture and in the current video packet.
bool Kvr_MB_Available(const KVR_MP4_STATE* D, const KVR_MB* MB, int X, int Y);
void Kvr_MB_End_Row(KVR_MP4_STATE* D, KVR_MB* MB);  // slicer callback, debug output

// Variable-length codes (-1 for an invalid code, nothing consumed then).
int Kvr_Read_MCBPC_Intra(KVR_BITS* B);  // MB type * 4 + CBPC; stuffing skipped
int Kvr_Read_MCBPC_Inter(KVR_BITS* B);  // MB type * 4 + CBPC, stuffing = -2
int Kvr_Read_CBPY(KVR_BITS* B, int Intra);
int Kvr_Read_DQuant(KVR_BITS* B, int Quant);         // new quantiser, clamped to 1..31
int Kvr_Read_MV_Component(KVR_BITS* B, int F_Code);  // the differential, before wrapping
int Kvr_Wrap_MV(int V, int F_Code);
// A coded vector: the horizontal then the vertical differential, each added to its predictor and
// wrapped into the range of F_Code.
KVR_MV Kvr_Read_MV(KVR_BITS* B, int Px, int Py, int F_Code);
int Kvr_Read_DC_Size(KVR_BITS* B, int Chroma);  // intra DC size 0..12, -1 invalid

// Vector prediction from the motion-vector map of set 0 (median of left, top, top-right).
void Kvr_Predict_MV(KVR_MP4_STATE* D, const KVR_MB* MB, int Block, int* Px, int* Py);
// Stores MB->MV into the map of set 0 (all four entries) and the info entry of the macroblock.
void Kvr_Store_MB(KVR_MP4_STATE* D, const KVR_MB* MB, int Class);

// Blocks. Coefficients go to raster positions through Scan; returns the row mask of the block.
int Kvr_Decode_Coefs(KVR_BITS* B, int16_t* Blk, const uint8_t* Scan, int Pos, int Intra);
// Intra levels into Lev (not dequantised: DC/AC prediction works on levels); returns the raster
// positions coded, one bit each (bit j = position j).
uint64_t Kvr_Decode_Intra_Coefs(KVR_BITS* B, int16_t* Lev, const uint8_t* Scan, int Pos);
// Inter coefficients dequantised as they are read into Blk (zeroed by the caller), only the coded
// ones touched: H.263 method (Mpeg 0) or MPEG method with mismatch control (Mpeg 1); M is
// Kvr_Dequant_Mult of the non-intra table for the macroblock's quantiser.
void Kvr_Decode_Inter_Coefs(KVR_BITS* B, int16_t* Blk, const uint8_t* Scan, int Mpeg, const int16_t* M);
// Six intra blocks of MB: parse, predict, dequantise, reconstruct into Cur.
void Kvr_Decode_Intra_MB(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB);
// Residual of the coded blocks of an inter macroblock: parse, dequantise, add into Cur.
void Kvr_Decode_Inter_Residual(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MB* MB);
// Marks this macroblock's intra predictors unavailable (inter and skipped macroblocks).
void Kvr_Clear_Intra_Preds(KVR_MB* MB);

// Prediction of the macroblock at (MB->X, MB->Y) of Cur from Ref through the sub-table Mc
// (D->MC for plain prediction, D->MC_Avg to average onto what is already there). Vectors are in
// VOP units and unclamped; these helpers clamp, derive chroma and go to the quarter-sample path
// when the layer uses quarter-sample vectors.
void Kvr_Predict_1MV(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc, KVR_MV Mv);
void Kvr_Predict_4MV(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc,
                     const KVR_MV* Mv);
void Kvr_Copy_MB(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref);
// Debug aid: draws each macroblock's vector into the luma plane of Cur.
void Kvr_Draw_MVs(KVR_MP4_STATE* D);
// Clamp of a luma vector (Scale 2 half-sample, 4 quarter-sample) and of a chroma vector.
void Kvr_Clamp_Luma_MV(const KVR_MP4_STATE* D, int X, int Y, int Scale, int* Vx, int* Vy);
void Kvr_Clamp_Chroma_MV(const KVR_MP4_STATE* D, int X, int Y, int* Vx, int* Vy);
// Chroma vector (half-sample) of a one-vector macroblock and of four luma vectors.
int Kvr_Chroma_MV_1(int V, int Quarter);
int Kvr_Chroma_MV_4(int Sum, int Quarter);
// Half-sample block prediction: Size 16 (16x16, as two 16x8), 8 (8x8).
void Kvr_MC_Block(const KVR_MC_FN* Mc, uint8_t* Dst, const uint8_t* Ref, int BpS, int Size, int Vx, int Vy);

extern const uint8_t Kvr_Zigzag[64];
extern const uint8_t Kvr_Alt_Horiz[64];
extern const uint8_t Kvr_Alt_Vert[64];
