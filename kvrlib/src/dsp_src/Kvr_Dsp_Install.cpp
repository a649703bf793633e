// Kernel-table templates and their installation per CPU level and quantiser type.
#include <cstring>

#include "dsp_src/Kvr_Dsp.h"
#include "dsp_src/Kvr_Dsp_X86.h"
#include "dsp_src/Kvr_Gmc.h"
#include "kvr_syst/Kvr_Cpu.h"
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Copy_16x16_C(uint8_t* Dst, const uint8_t* Src, int BpS);
void Kvr_Copy_8x8_C(uint8_t* Dst, const uint8_t* Src, int BpS);

void Kvr_IDCT_Ref(int16_t* Blk);
void Kvr_IDCT_Put_Ref(int16_t* Blk, uint8_t* Dst, int BpS);
void Kvr_IDCT_Add_Ref(int16_t* Blk, uint8_t* Dst, int BpS);

void* Kvr_Finish_Nop(void* P) { return P; }

namespace {
// CPU level 5 selects the reference tables: the floating-point IDCT instead of the integer one.
const int KVR_CPU_REF = 5;
// Level 4: SSE2 and whatever later extension the (capped) processor description names.
const int KVR_CPU_SIMD = 4;

const KVR_MB_ROUTINES Routines_C = {Kvr_Qpel16_Put_C, Kvr_Qpel16_Avg_C, Kvr_Gmc_Predict_MB};
#if KVR_X86
const KVR_MB_ROUTINES Routines_SSE2 = {Kvr_Qpel16_Put_SSE2, Kvr_Qpel16_Avg_SSE2, Kvr_Gmc_Predict_MB_SSE2};
// The AVX2 list: the SSE2 kernels, with the AVX2 ones where they pay.
struct AVX2_LIST {
    KVR_MC_FN Put[2][16], Avg[16];
    KVR_MB_ROUTINES Routines;
    AVX2_LIST() {
        for (int Pos = 0; Pos < 16; ++Pos) {
            const bool Wide = Kvr_Qpel16_Avx2_Pays(Pos);
            for (int Rnd = 0; Rnd < 2; ++Rnd)
                Put[Rnd][Pos] = (Wide ? Kvr_Qpel16_Put_AVX2 : Kvr_Qpel16_Put_SSE2)[Rnd][Pos];
            Avg[Pos] = (Wide ? Kvr_Qpel16_Avg_AVX2 : Kvr_Qpel16_Avg_SSE2)[Pos];
        }
        Routines = {Put, Avg, Kvr_Gmc_Predict_MB_SSE2};
    }
};
const AVX2_LIST Avx2_List;
#endif

// The extensions the SIMD level may use, 0 where there are none.
int Simd_Mask(int Cpu_Level) {
    if (Cpu_Level != KVR_CPU_SIMD || !KVR_X86) return 0;
    return Kvr_CPU_Query().Mask;
}
}  // namespace

void Kvr_Install_Quant_DSP(KVR_QUANT_DSP* Dsp, int Quant_Type, int Cpu_Level) {
    KVR_ASSERT("kvr_quant_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->IDCT = Kvr_IDCT_C;
    Dsp->IDCT_Put = Kvr_IDCT_Put_C;
    Dsp->IDCT_Add = Kvr_IDCT_Add_C;
    if (Quant_Type == 0) {
        Dsp->Name = "H263-C";
        Dsp->Setup_Matrix = Kvr_Setup_Matrix_H263_C;
        Dsp->Dequant_Intra = Kvr_Dequant_Intra_H263_C;
        Dsp->Dequant_Inter = Kvr_Dequant_Inter_H263_C;
    } else {
        // Type 2 (the MPEG-1/2 path) is never installed by this decoder; it shares the MPEG method.
        Dsp->Name = Quant_Type == 1 ? "MPEG4-C" : "MPEG2-C";
        Dsp->Setup_Matrix = Kvr_Setup_Matrix_MPEG_C;
        Dsp->Dequant_Intra = Kvr_Dequant_Intra_MPEG_C;
        Dsp->Dequant_Inter = Kvr_Dequant_Inter_MPEG_C;
    }
#if KVR_X86
    if (Simd_Mask(Cpu_Level) & KVR_CPU_SSE2) {
        Dsp->Name = Quant_Type == 0 ? "H263-SSE2" : Quant_Type == 1 ? "MPEG4-SSE2" : "MPEG2-SSE2";
        Dsp->IDCT = Kvr_IDCT14_SSE2;
        Dsp->IDCT_Put = Kvr_IDCT14_Put_SSE2;
        Dsp->IDCT_Add = Kvr_IDCT14_Add_SSE2;
    }
#endif
    if (Cpu_Level == KVR_CPU_REF) {
        Dsp->Name = Quant_Type == 0 ? "H263-Ref" : Quant_Type == 1 ? "MPEG4-Ref" : "MPEG2-Ref";
        Dsp->IDCT = Kvr_IDCT_Ref;
        Dsp->IDCT_Put = Kvr_IDCT_Put_Ref;
        Dsp->IDCT_Add = Kvr_IDCT_Add_Ref;
    }
}

void Kvr_Install_MB_DSP(KVR_MB_DSP* Dsp, int Cpu_Level) {
    KVR_ASSERT("kvr_mb_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "MB--C-";
    Dsp->Finish = Kvr_Finish_Nop;
    Kvr_Fill_MC_Halfpel_C(Dsp->MC[KVR_MC_RND0], Dsp->MC[KVR_MC_RND1]);
    Dsp->Extend = Kvr_Extend_C;
    Dsp->Copy_16x16 = Kvr_Copy_16x16_C;
    Dsp->Copy_8x8 = Kvr_Copy_8x8_C;
    Kvr_Asp_Fill_MB_DSP(Dsp);
    Dsp->Routines = &Routines_C;
#if KVR_X86
    if (Simd_Mask(Cpu_Level) & KVR_CPU_SSE2) {
        Dsp->Name = "MB-SSE2";
        Kvr_Fill_MC_Halfpel_SSE2(Dsp->MC[KVR_MC_RND0], Dsp->MC[KVR_MC_RND1], Dsp->MC[KVR_MC_AVG]);
        for (int Pos = 0; Pos < 16; ++Pos) {
            Dsp->MC[KVR_MC_RND0][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Put_SSE2[0][Pos];
            Dsp->MC[KVR_MC_RND1][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Put_SSE2[1][Pos];
            Dsp->MC[KVR_MC_AVG][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Avg_SSE2[Pos];
        }
        Dsp->Extend = Kvr_Extend_SSE2;
        Dsp->Copy_16x16 = Kvr_Copy_16x16_SSE2;
        Dsp->Copy_8x8 = Kvr_Copy_8x8_SSE2;
        Dsp->Routines = &Routines_SSE2;
    }
    if (Simd_Mask(Cpu_Level) & KVR_CPU_AVX2) {
        Dsp->Name = "MB-AVX2";
        Dsp->Routines = &Avx2_List.Routines;
    }
#endif
    if (Cpu_Level == KVR_CPU_REF) Dsp->Name = "MB-Ref";
}

void Kvr_Install_IMG_DSP(KVR_IMG_DSP* Dsp, int) {
    KVR_ASSERT("kvr_img_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "IMG--C-";
}

void Kvr_Install_GMC_DSP(KVR_GMC_DSP* Dsp, int) {
    KVR_ASSERT("kvr_gmc_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "GMC--C-";
}
