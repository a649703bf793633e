// The x86 SIMD kernels behind the CPU-level tables. SSE2 is the x86-64 baseline and needs no flag;
// the later families are compiled per function (target attributes) and only installed when the
// processor has them, so the program still runs on any x86-64. Elsewhere KVR_X86 is 0 and none of
// these exist: every level installs the C kernels.
#pragma once

#include <cstdint>

#include "dsp_src/Kvr_Dsp.h"
#include "dsp_src/Kvr_Qpel.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define KVR_X86 1
#else
#define KVR_X86 0
#endif

#if KVR_X86
void Kvr_IDCT14_SSE2(int16_t* Blk);
void Kvr_IDCT14_Put_SSE2(int16_t* Blk, uint8_t* Dst, int BpS);
void Kvr_IDCT14_Add_SSE2(int16_t* Blk, uint8_t* Dst, int BpS);

// Half-sample sub-tables (entries 0..11) for rounding 0, rounding 1 and averaging.
void Kvr_Fill_MC_Halfpel_SSE2(KVR_MC_FN* Rnd0, KVR_MC_FN* Rnd1, KVR_MC_FN* Avg);
void Kvr_Copy_16x16_SSE2(uint8_t* Dst, const uint8_t* Src, int BpS);
void Kvr_Copy_8x8_SSE2(uint8_t* Dst, const uint8_t* Src, int BpS);
void Kvr_Extend_SSE2(uint8_t* Y, uint8_t* U, uint8_t* V, int W, int H, int BpS);

// One GMC macroblock (the shape of Kvr_Gmc_Predict_MB).
void Kvr_Gmc_Predict_MB_SSE2(const KVR_GMC_PARAMS* G, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                             const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS, int Mb_X,
                             int Mb_Y, int Clip_W, int Clip_H, int Rounding);

// Quarter-sample kernels in the layout of Kvr_Qpel.h.
extern const KVR_QPEL_FN Kvr_Qpel16_Put_SSE2[2][16];
extern const KVR_QPEL_FN Kvr_Qpel8_Put_SSE2[2][16];
extern const KVR_QPEL_FN Kvr_Qpel16_Avg_SSE2[16];
extern const KVR_QPEL_FN Kvr_Qpel8_Avg_SSE2[16];
// AVX2: 16x16 quarter-sample prediction, a line per register.
extern const KVR_QPEL_FN Kvr_Qpel16_Put_AVX2[2][16];
extern const KVR_QPEL_FN Kvr_Qpel16_Avg_AVX2[16];
bool Kvr_Qpel16_Avx2_Pays(int Pos);
#endif
