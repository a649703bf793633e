// Bidirectional averaging: half-sample predictions averaged into a forward prediction already in place.
#pragma once

#include <cstdint>

#include "dsp_src/Kvr_Dsp.h"

// Averaging sub-table entries 0..11 (KVR_MC_AVG): index = 4 * size + position, size 0 = 16 wide x 8 lines,
// 1 = 8 x 8, 2 = 8 wide x 4 lines; position 0 full, 1 horizontal half, 2 vertical half, 3 both.
// The half-sample value p is formed with rounding control 0, then Dst = (p + Dst + 1) >> 1.
constexpr int KVR_BIDIR_ENTRIES = 12;
extern const KVR_MC_FN Kvr_Bidir_Avg_C[KVR_BIDIR_ENTRIES];
