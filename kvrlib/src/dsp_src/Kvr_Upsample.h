// Reduced-resolution up-sampling: an 8x8 block of samples or residuals becomes 16x16.
#pragma once

#include <cstdint>

// Put: Dst (16x16, stride BpS) = clamp(up-sampled Src). Add: Dst = clamp(Dst + up-sampled Src).
// Src is an 8x8 block in raster order, as left by the inverse transform. (KVR_UPSAMPLE_FN entries.)
void Kvr_Upsample_Put_C(uint8_t* Dst, const int16_t* Src, int BpS);
void Kvr_Upsample_Add_C(uint8_t* Dst, const int16_t* Src, int BpS);
