// Placeholder until the quarter-sample, averaging and up-sampling kernels exist: slots stay null.
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Asp_Fill_MB_DSP(KVR_MB_DSP*) {}
