// Kernel tables: plain function pointers per family, chosen once per decoder by CPU level.
#pragma once

#include <cstdint>

// Returns its argument; called after a batch of kernel calls so that a variant that needs to
// leave a processor state (an MMX-style variant would) has a place to do it.
typedef void* (*KVR_FINISH_FN)(void*);
void* Kvr_Finish_Nop(void* P);

// Q tables: for each quantiser q = 1..31, 256 int16: 128 words the decoder leaves unused (an
// encoder's quantise reciprocals and rounding terms), then 64 dequantise multipliers and 64 offsets,
// raster order.
enum { KVR_Q_PER_QUANT = 256, KVR_Q_TABLE_BYTES = 31 * KVR_Q_PER_QUANT * 2, KVR_Q_BASE_BYTES = 0xF800 };
inline const int16_t* Kvr_Dequant_Mult(const int16_t* Table, int q) {
    return Table + (q - 1) * KVR_Q_PER_QUANT + 128;
}

typedef void (*KVR_MATRIX_SETUP_FN)(int16_t* Table, const uint8_t* Matrix, int Intra);
// Dst and Src may be the same block. Intra: Extra = DC scaler; inter: Extra = row mask (bit r set
// when row r of Src may hold a non-zero level; other rows are written as zeros unread).
typedef void (*KVR_DEQUANT_FN)(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Extra);
typedef void (*KVR_BLOCK_FN)(int16_t* Blk);
typedef void (*KVR_IDCT_STORE_FN)(int16_t* Blk, uint8_t* Dst, int BpS);

struct KVR_QUANT_DSP {
    const char* Name;
    KVR_MATRIX_SETUP_FN Setup_Matrix;
    KVR_DEQUANT_FN Dequant_Intra;
    KVR_DEQUANT_FN Dequant_Inter;
    KVR_BLOCK_FN IDCT;           // in place, raster order
    KVR_IDCT_STORE_FN IDCT_Put;  // transform, clamp, store
    KVR_IDCT_STORE_FN IDCT_Add;  // transform, add to Dst, clamp
};

// Motion-compensation kernels: Dst and Src share the stride BpS.
typedef void (*KVR_MC_FN)(uint8_t* Dst, const uint8_t* Src, int BpS);

// Index of a motion-compensation sub-table entry.
enum {
    KVR_MC_16x8 = 0,  // + position: 0 full, 1 horizontal half, 2 vertical half, 3 both half
    KVR_MC_8x8 = 4,
    KVR_MC_8x4 = 8,
    KVR_MC_QPEL = 12,  // 12..27: 8x8 quarter-sample filters, + position (filled by the quarter-sample module)
    KVR_MC_ENTRIES = 28
};
enum { KVR_MC_RND0 = 0, KVR_MC_RND1 = 1, KVR_MC_AVG = 2 };

// Reduced-resolution up-sampling of an 8x8 residual block to 16x16: put or add into Dst.
typedef void (*KVR_UPSAMPLE_FN)(uint8_t* Dst, const int16_t* Src, int BpS);
typedef void (*KVR_EXTEND_FN)(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS);
typedef void (*KVR_COPY_FN)(uint8_t* Dst, const uint8_t* Src, int BpS);

struct KVR_GMC_PARAMS;
typedef void (*KVR_GMC_PREDICT_FN)(const KVR_GMC_PARAMS* Gmc, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                                   const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS,
                                   int Mb_X, int Mb_Y, int Clip_W, int Clip_H, int Rounding);

// The three-entry routine list of the macroblock table: per-level kernels whose shape does not fit
// the sub-tables. The lists are static and shared by all tables.
struct KVR_MB_ROUTINES {
    const KVR_MC_FN (*Qpel16_Put)[16];  // [rounding][position]: 16x16 quarter-sample prediction
    const KVR_MC_FN* Qpel16_Avg;        // [position]: averaged into Dst (second reference)
    KVR_GMC_PREDICT_FN Gmc_Predict;     // one GMC macroblock (see Kvr_Gmc.h)
};

struct KVR_MB_DSP {
    const char* Name;
    KVR_FINISH_FN Finish;
    KVR_UPSAMPLE_FN Upsample_Put;  // reduced resolution (filled by that module)
    KVR_UPSAMPLE_FN Upsample_Add;
    KVR_MC_FN MC[3][KVR_MC_ENTRIES];  // [KVR_MC_RND0 | KVR_MC_RND1 | KVR_MC_AVG][entry]
    KVR_EXTEND_FN Extend;             // border extension of a whole picture
    KVR_COPY_FN Copy_16x16;
    KVR_COPY_FN Copy_8x8;
    const KVR_MB_ROUTINES* Routines;
};

// No picture-level kernel is used by the decoder; the table is installed with its name only.
struct KVR_IMG_DSP {
    const char* Name;
};

// Global motion compensation: the warp parameters are written per S-VOP by the GMC setup.
struct KVR_GMC_DSP {
    const char* Name;
    int32_t Param[16];
};

// Table installation. Level 4 (SSE2, the x86-64 baseline) starts from the C templates and overwrites
// each family's entries with the SIMD kernels of every extension the processor has and the cap of
// Kvr_CPU_Set_Cap allows (Kvr_CPU_Query); level 5 is the floating-point reference; every other level
// and every non-x86 build install the C kernels. The integer IDCT of the C tables is the one of
// Kvr_Idct_C.cpp; the SIMD tables carry the transform of Kvr_Idct14.h, which meets the same accuracy
// bounds and is cheaper in 16-bit lanes.
void Kvr_Install_Quant_DSP(KVR_QUANT_DSP* Dsp, int Quant_Type, int Cpu_Level);
void Kvr_Install_MB_DSP(KVR_MB_DSP* Dsp, int Cpu_Level);
void Kvr_Install_IMG_DSP(KVR_IMG_DSP* Dsp, int Cpu_Level);
void Kvr_Install_GMC_DSP(KVR_GMC_DSP* Dsp, int Cpu_Level);

// The plain C kernels, also the references of the kernel checker.
void Kvr_Setup_Matrix_H263_C(int16_t* Table, const uint8_t* Matrix, int Intra);
void Kvr_Setup_Matrix_MPEG_C(int16_t* Table, const uint8_t* Matrix, int Intra);
void Kvr_Dequant_Intra_H263_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int DC_Scaler);
void Kvr_Dequant_Inter_H263_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Row_Mask);
void Kvr_Dequant_Intra_MPEG_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int DC_Scaler);
void Kvr_Dequant_Inter_MPEG_C(int16_t* Dst, const int16_t* Src, const int16_t* Table, int q, int Row_Mask);
void Kvr_IDCT_C(int16_t* Blk);
void Kvr_IDCT_Put_C(int16_t* Blk, uint8_t* Dst, int BpS);
void Kvr_IDCT_Add_C(int16_t* Blk, uint8_t* Dst, int BpS);
void Kvr_Extend_C(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS);
void Kvr_Fill_MC_Halfpel_C(KVR_MC_FN* Rnd0, KVR_MC_FN* Rnd1);

// Dequantisation of one coefficient as the parser reads it (level L != 0 at raster position j, with
// M = Kvr_Dequant_Mult(Table, q)); the same values as the block kernels above, saturated.
inline int Kvr_Dequant_H263(int L, const int16_t* M, int j) {
    const int A = (L < 0 ? -L : L) * M[j] + M[64 + j];
    const int V = L < 0 ? -A : A;
    return V < -2048 ? -2048 : (V > 2047 ? 2047 : V);
}
inline int Kvr_Dequant_MPEG_Intra(int L, const int16_t* M, int j) {
    const int A = ((L < 0 ? -L : L) * M[j]) >> 4;
    const int V = L < 0 ? -A : A;
    return V < -2048 ? -2048 : (V > 2047 ? 2047 : V);
}
inline int Kvr_Dequant_MPEG_Inter(int L, const int16_t* M, int j) {
    const int A = ((L < 0 ? -L : L) * M[j] + M[64 + j]) >> 4;
    const int V = L < 0 ? -A : A;
    return V < -2048 ? -2048 : (V > 2047 ? 2047 : V);
}
