// Installs the quarter-sample, averaging and up-sampling kernels into a macroblock kernel table.
#include "dsp_src/Kvr_Bidir.h"
#include "dsp_src/Kvr_Qpel.h"
#include "dsp_src/Kvr_Upsample.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

// Sub-table entries KVR_MC_QPEL + position (12..27) hold the 8x8 quarter-sample filters, the block
// size every quarter-sample prediction can be cut into (four-vector, field and direct predictions
// use it as is; 16x16 predictions go through the 16x16 filters of Kvr_Qpel.h, whose mirroring
// differs).
void Kvr_Asp_Fill_MB_DSP(KVR_MB_DSP* Dsp) {
    for (int Pos = 0; Pos < 16; ++Pos) {
        Dsp->MC[KVR_MC_RND0][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Put_C[0][Pos];
        Dsp->MC[KVR_MC_RND1][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Put_C[1][Pos];
        Dsp->MC[KVR_MC_AVG][KVR_MC_QPEL + Pos] = Kvr_Qpel8_Avg_C[Pos];
    }
    for (int E = 0; E < KVR_BIDIR_ENTRIES; ++E) Dsp->MC[KVR_MC_AVG][E] = Kvr_Bidir_Avg_C[E];
    Dsp->Upsample_Put = Kvr_Upsample_Put_C;
    Dsp->Upsample_Add = Kvr_Upsample_Add_C;
}
