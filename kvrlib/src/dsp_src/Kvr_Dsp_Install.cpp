// Kernel-table templates and their installation per CPU level and quantiser type.
#include <cstring>

#include "dsp_src/Kvr_Dsp.h"
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
}  // namespace

namespace {
void MB_Init_C(KVR_MB_DSP*) {}
}  // namespace

void Kvr_Install_Quant_DSP(KVR_QUANT_DSP* Dsp, int Quant_Type, int Cpu_Level) {
    KVR_ASSERT("kvr_quant_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Finish = Kvr_Finish_Nop;
    Dsp->Clear_Block = Kvr_Clear_Block_C;
    Dsp->IDCT = Dsp->IDCT2 = Kvr_IDCT_C;
    Dsp->IDCT_Put = Dsp->IDCT_Put2 = Kvr_IDCT_Put_C;
    Dsp->IDCT_Add = Dsp->IDCT_Add2 = Kvr_IDCT_Add_C;
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
    if (Cpu_Level == KVR_CPU_REF) {
        Dsp->Name = Quant_Type == 0 ? "H263-Ref" : Quant_Type == 1 ? "MPEG4-Ref" : "MPEG2-Ref";
        Dsp->IDCT = Dsp->IDCT2 = Kvr_IDCT_Ref;
        Dsp->IDCT_Put = Dsp->IDCT_Put2 = Kvr_IDCT_Put_Ref;
        Dsp->IDCT_Add = Dsp->IDCT_Add2 = Kvr_IDCT_Add_Ref;
    }
}

void Kvr_Install_MB_DSP(KVR_MB_DSP* Dsp, int Cpu_Level) {
    KVR_ASSERT("kvr_mb_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "MB--C-";
    Dsp->Finish = Kvr_Finish_Nop;
    Dsp->Init = MB_Init_C;
    Kvr_Fill_MC_Halfpel_C(Dsp->MC[KVR_MC_RND0], Dsp->MC[KVR_MC_RND1]);
    Dsp->Extend = Kvr_Extend_C;
    Dsp->Copy_16x16 = Kvr_Copy_16x16_C;
    Dsp->Copy_8x8 = Kvr_Copy_8x8_C;
    Kvr_Asp_Fill_MB_DSP(Dsp);
    Dsp->Init(Dsp);
    if (Cpu_Level == KVR_CPU_REF) {
        Dsp->Name = "MB-Ref";
        Dsp->Init = nullptr;
    }
}

void Kvr_Install_IMG_DSP(KVR_IMG_DSP* Dsp, int) {
    KVR_ASSERT("kvr_img_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "IMG--C-";
    Dsp->Finish = Kvr_Finish_Nop;
}

void Kvr_Install_GMC_DSP(KVR_GMC_DSP* Dsp, int) {
    KVR_ASSERT("kvr_gmc_dsp", Dsp != nullptr);
    std::memset(Dsp, 0, sizeof(*Dsp));
    Dsp->Name = "GMC--C-";
    Dsp->Finish = Kvr_Finish_Nop;
}
