#pragma once
// Kernel table of colour conversion: one row routine per screen depth and CPU level. Every variant
// writes exactly what the table arithmetic of the plain C routines writes, byte for byte.

#include <cstdint>

#include "video/picture/CpuLevel.h"

namespace vistrel {

// Two luma rows sharing one chroma row (`chromaWidth` samples of Cb and Cr) into two screen rows
// of 2 * chromaWidth pixels. `chromaWidth` is even; nothing is written beyond the rows.
using RowPairFn = void (*)(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                           const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth);
// One luma row and its chroma row into `width` palette indices (width a multiple of 4), with the
// four dither offsets of this row's line of the matrix.
using DitherRowFn = void (*)(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                             std::uint8_t* out, int width, const std::uint8_t* dither);

struct ColourKernels {
    const char* name;
    RowPairFn to24;   // blue, green, red
    RowPairFn to32;   // blue, green, red, 0
    RowPairFn to565;  // red 11..15, green 5..10, blue 0..4
    RowPairFn to555;  // red 10..14, green 5..9, blue 0..4
    DitherRowFn to8;  // index of the 8-bit palette
};

// The table for `level` (lowered to what the processor has).
const ColourKernels& ColourKernelsFor(CpuLevel level);
// The table for ActiveCpuLevel(), chosen once.
const ColourKernels& ActiveColourKernels();

// The plain C routines: the references of every variant, and the tails the variants leave.
void ConvertRowPairTo24C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                         const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth);
void ConvertRowPairTo32C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                         const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth);
void ConvertRowPairTo565C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                          const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth);
void ConvertRowPairTo555C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                          const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1, int chromaWidth);
void DitherRowTo8C(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out,
                   int width, const std::uint8_t* dither);

void FillColourKernelsSse2(ColourKernels* k);
void FillColourKernelsSsse3(ColourKernels* k);
void FillColourKernelsAvx2(ColourKernels* k);

// The colour model as arithmetic, for the vector variants (the tables hold the same values):
// blue offset = (116130 * Cb - 14832896) >> 16 = (2 * Cb + 29032 * 4Cb - 14832896) >> 16,
// red offset = (91881 * Cr - 11728000) >> 16 = (1 * Cr + 22970 * 4Cr - 11728000) >> 16,
// green offset = (8943104 - 23401 * 2Cr - 22554 * Cb) >> 16 (both green runs with their +32,768),
// every factor within 16 bits so that a pair of products is one multiply-add.
inline constexpr int kBlueFromCb = 2;
inline constexpr int kBlueFrom4Cb = 29032;
inline constexpr int kBlueBase = -14832896;
inline constexpr int kRedFromCr = 1;
inline constexpr int kRedFrom4Cr = 22970;
inline constexpr int kRedBase = -11728000;
inline constexpr int kGreenFrom2Cr = -23401;
inline constexpr int kGreenFromCb = -22554;
inline constexpr int kGreenBase = 8943104;

}  // namespace vistrel
