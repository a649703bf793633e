// The inverse DCT of the SIMD kernel tables: the direct even/odd form of the 8-point transform with
// constants scaled by 2^14, so that every product is a 16 x 16 -> 32-bit multiply-add.
#pragma once

#include <cstdint>

// The arithmetic, which the plain C model and every SIMD variant follow bit for bit:
//   rows then columns, each an 8-point pass over x0..x7 (16-bit inputs):
//     e0 = W4 x0 + W4 x4 + R     e1 = W4 x0 - W4 x4 + R     (R = 2^(shift - 1))
//     f0 = W2 x2 + W6 x6         f1 = W6 x2 - W2 x6
//     a0 = e0 + f0, a1 = e1 + f1, a2 = e1 - f1, a3 = e0 - f0
//     b0 = W1 x1 + W3 x3 + W5 x5 + W7 x7      b1 = W3 x1 - W7 x3 - W1 x5 - W5 x7
//     b2 = W5 x1 - W1 x3 + W7 x5 + W3 x7      b3 = W7 x1 - W5 x3 + W3 x5 - W1 x7
//     out[n] = sat16((a_n + b_n) >> shift), out[7 - n] = sat16((a_n - b_n) >> shift)
//   with shift 11 for rows and 20 for columns. The sums are 32-bit and wrap (as the packed adds do);
//   only coefficients far outside what a decoder can produce get there.
// Zero rows and zero halves give the same values through the full form, so the short paths the
// variants take for sparse blocks never change a result.
namespace kvr_idct14 {
constexpr int W1 = 22725, W2 = 21407, W3 = 19266, W4 = 16384, W5 = 12873, W6 = 8867, W7 = 4520;
constexpr int Row_Shift = 11, Col_Shift = 20;
}  // namespace kvr_idct14

void Kvr_IDCT14_C(int16_t* Blk);
void Kvr_IDCT14_Put_C(int16_t* Blk, uint8_t* Dst, int BpS);
void Kvr_IDCT14_Add_C(int16_t* Blk, uint8_t* Dst, int BpS);
