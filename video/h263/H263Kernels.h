#pragma once
// Kernel table of H.263 block reconstruction. The inverse transform (with put and add) and the
// half-sample prediction and copy kernels are the codec library's, taken from its kernel tables;
// only the flat-block short cut is our own.

#include <cstdint>

#include "video/picture/CpuLevel.h"

namespace vistrel::h263 {

// The library's transform kernels: 64 coefficients in raster order (16 bits; the block is used as
// scratch and left undefined); the transform alone (in place), or clamped into / added to 8 x 8
// samples of `dst` with rows `stride` bytes apart.
using TransformFn = void (*)(std::int16_t* block);
using TransformStoreFn = void (*)(std::int16_t* block, std::uint8_t* dst, int stride);
// A block whose only coefficient is its DC transforms to one flat value; adds it to 8 x 8 samples
// of `dst`, clamped.
using FlatAddFn = void (*)(std::int32_t value, std::uint8_t* dst, int stride);
// Same signature as the library's motion-compensation kernels: `dst` and `src` share `stride`.
using PredictFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, int stride);

// Sub-sample position of a prediction, the index into the prediction arrays below.
enum HalfSamplePosition { kFullSample = 0, kHalfHorizontal = 1, kHalfVertical = 2, kHalfBoth = 3 };

struct H263Kernels {
    const char* name;       // the library's name of its transform table
    TransformFn transform;  // in place, results saturated to 16 bits
    TransformStoreFn put;   // clamp(transform)
    TransformStoreFn add;   // clamp(dst + transform)
    FlatAddFn flatAdd;
    // [position]: 16 x 8 (luma, called twice per macroblock) and 8 x 8 (chroma) predictions,
    // rounding (a + b + 1) >> 1 and (a + b + c + d + 2) >> 2, reading one column and one row beyond
    // the block for the half positions.
    PredictFn predict16x8[4];
    PredictFn predict8x8[4];
    PredictFn copy16x16;
    PredictFn copy8x8;
};

// The table for `level` (lowered to what the processor has), built once per level. The library
// picks its own variants for every level above C (and honours VISTREL_CPU itself).
const H263Kernels& H263KernelsFor(CpuLevel level);
// The table for ActiveCpuLevel().
const H263Kernels& ActiveH263Kernels();

// The flat value of a DC-only block under the library's transforms: both of its arrangements end
// a lone DC as (dc + 4) >> 3 (the kernel checker holds every level to that).
inline std::int32_t FlatValue(std::int32_t dc) { return (dc + 4) >> 3; }

// Our own variants of flatAdd per level.
void FillH263KernelsC(H263Kernels* k);
void FillH263KernelsSse2(H263Kernels* k);

}  // namespace vistrel::h263
