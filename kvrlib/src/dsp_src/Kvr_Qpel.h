// Quarter-sample luma motion compensation: the 8-tap interpolation with mirrored block edges.
#pragma once

#include <cstdint>

// One kernel predicts a square block (16x16 or 8x8) at one of the 16 quarter-sample positions.
// Index of a kernel in its table: ((mv_y & 3) << 2) | (mv_x & 3); Src points at the integer-sample
// position (mv >> 2) in the reference. The filter reads Size + 1 columns and Size + 1 rows of Src:
// taps that would fall further out are mirrored back into the block, so no picture border beyond
// one sample is ever touched. BpS is the line stride of both Dst and Src (doubled for field blocks).
typedef void (*KVR_QPEL_FN)(uint8_t* Dst, const uint8_t* Src, int BpS);  // same shape as KVR_MC_FN

// [rounding control 0/1][position]: put the prediction into Dst.
extern const KVR_QPEL_FN Kvr_Qpel16_Put_C[2][16];
extern const KVR_QPEL_FN Kvr_Qpel8_Put_C[2][16];
// [position]: average the prediction (rounding 0) into what Dst already holds (second half of a
// bidirectional prediction).
extern const KVR_QPEL_FN Kvr_Qpel16_Avg_C[16];
extern const KVR_QPEL_FN Kvr_Qpel8_Avg_C[16];

// The sixteen position instances of a kernel template F<Args..., Pos>, in table order.
#define KVR_QPEL_POSITIONS(F, ...)                                                                              \
    {                                                                                                           \
        F<__VA_ARGS__, 0>, F<__VA_ARGS__, 1>, F<__VA_ARGS__, 2>, F<__VA_ARGS__, 3>, F<__VA_ARGS__, 4>,          \
            F<__VA_ARGS__, 5>, F<__VA_ARGS__, 6>, F<__VA_ARGS__, 7>, F<__VA_ARGS__, 8>, F<__VA_ARGS__, 9>,      \
            F<__VA_ARGS__, 10>, F<__VA_ARGS__, 11>, F<__VA_ARGS__, 12>, F<__VA_ARGS__, 13>, F<__VA_ARGS__, 14>, \
            F<__VA_ARGS__, 15>                                                                                  \
    }
