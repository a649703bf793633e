#pragma once
// Kernel table of H.263 block reconstruction: the inverse transform fused with storing or adding
// (one variant per CPU level, every one bit-exact with the 64-bit reference transform) and the
// half-sample prediction and copy kernels, which come from the codec library's macroblock table.

#include <cstdint>

#include "video/picture/CpuLevel.h"

namespace vistrel::h263 {

// Coefficients in raster order (not modified); writes clamp(transform) or clamp(dst + transform)
// over an 8 x 8 area of `dst` with rows `stride` bytes apart.
using IdctStoreFn = void (*)(const std::int32_t* coefficients, std::uint8_t* dst, int stride);
// The transform of a block whose only coefficient is the DC `dc` is flat; adds that value to 8 x 8
// samples of `dst`, clamped.
using DcAddFn = void (*)(std::int32_t dc, std::uint8_t* dst, int stride);
// Same signature as the library's motion-compensation kernels: `dst` and `src` share `stride`.
using PredictFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, int stride);

// Sub-sample position of a prediction, the index into the prediction arrays below.
enum HalfSamplePosition { kFullSample = 0, kHalfHorizontal = 1, kHalfVertical = 2, kHalfBoth = 3 };

struct H263Kernels {
    const char* name;
    IdctStoreFn idctPut;
    IdctStoreFn idctAdd;
    // The same for blocks whose coefficients all lie in the top-left 4 x 4 (scan positions 0..9;
    // the rest of the block must be zero), the usual case in predicted pictures.
    IdctStoreFn idctPutSparse;
    IdctStoreFn idctAddSparse;
    DcAddFn dcAdd;
    // [position]: 16 x 8 (luma, called twice per macroblock) and 8 x 8 (chroma) predictions,
    // rounding (a + b + 1) >> 1 and (a + b + c + d + 2) >> 2, reading one column and one row beyond
    // the block for the half positions.
    PredictFn predict16x8[4];
    PredictFn predict8x8[4];
    PredictFn copy16x16;
    PredictFn copy8x8;
};

// The table for `level` (lowered to what the processor has), built once per level.
const H263Kernels& H263KernelsFor(CpuLevel level);
// The table for ActiveCpuLevel().
const H263Kernels& ActiveH263Kernels();

// The flat value a lone DC coefficient transforms to (both passes of the reference, rounded).
inline std::int32_t DcOnlyValue(std::int32_t dc) {
    const std::int64_t v = (std::int64_t(dc) * 4 + 16) >> 5;
    return std::int32_t(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}

// The reference transform in 64 bits, raster order in and out; results saturate to 32 bits.
void InverseTransformRaster(const std::int32_t* coefficients, std::int32_t* samples);

// The fast variants are exact only while the values fit the 32-bit arithmetic; beyond this bound
// (never reached by dequantised H.263 levels, only by hostile callers) they use the reference.
constexpr std::int32_t kFastTransformLimit = 12000;

// Blocks whose last coefficient lies at or before this scan position take the sparse kernels.
constexpr int kSparseLastScan = 9;

// Variants per level, filled by the per-CPU files; nullptr where a level has none of its own.
void FillH263KernelsC(H263Kernels* k);
void FillH263KernelsSse2(H263Kernels* k);
void FillH263KernelsAvx2(H263Kernels* k);

}  // namespace vistrel::h263
