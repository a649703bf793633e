#pragma once
// H.263 block arithmetic: dequantisation, the integer inverse DCT, motion-compensated prediction
// (half samples formed per block on demand), intra storage and the copy of uncoded macroblocks.
// Pictures are one buffer each: luma (stride width), then Cb, then Cr (stride width / 2).

#include <cstdint>

#include "video/h263/H263Kernels.h"

namespace vistrel::h263 {

constexpr int kBlockSize = 64;
constexpr int kBlocksPerMacroblock = 6;

inline int Dequantise(int level, bool negative, int quantiser) {
    const int magnitude = quantiser * (2 * level + 1) - ((quantiser & 1) == 0 ? 1 : 0);
    return negative ? -magnitude : magnitude;
}

// The transform of the active kernel table (the codec library's): one block stored by scan
// position into samples in raster order, in place. Coefficients beyond 16 bits are saturated first.
void InverseTransformBlock(std::int32_t* block);
// All six blocks; `codedMask` bit 5-b set means block b holds coefficients (others stay zero).
void InverseTransform(std::int32_t* blocks, int codedMask = 0x3F);

// Sample clamp for reconstructed values, safe for any input.
inline std::uint8_t ClampSample(std::int32_t v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The three interpolated versions of a picture, each with the picture's own layout. Prediction no
// longer reads them (it interpolates per block, with the same edge rules); kept for callers that
// want the whole planes.
struct HalfSamplePlanes {
    std::uint8_t* horizontal = nullptr;
    std::uint8_t* vertical = nullptr;
    std::uint8_t* diagonal = nullptr;
};

// Horizontal, vertical and diagonal averages; a sample without a right or lower neighbour stands
// in for it (so the last column's horizontal value is the sample itself).
void BuildHalfSamplePlanes(const std::uint8_t* reference, const HalfSamplePlanes& half, int width, int height);

// Where one macroblock of one picture is written and where its prediction comes from.
struct ReconstructionTarget {
    std::uint8_t* output = nullptr;
    const std::uint8_t* reference = nullptr;
    HalfSamplePlanes half;  // not read by the reconstruction
    int width = 0;
    int height = 0;
    const H263Kernels* kernels = nullptr;  // null: the table of ActiveCpuLevel()
};

// Blocks already transformed (residual samples in raster order).
void StoreIntra(const ReconstructionTarget& t, int row, int column, const std::int32_t* blocks);
// Vector in half samples; a vector that points outside the reference is clamped to it.
void PredictAndAdd(const ReconstructionTarget& t, int row, int column, int vx, int vy, const std::int32_t* blocks,
                   int codedMask);
void CopyNotCoded(const ReconstructionTarget& t, int row, int column);

// The decoder's fused paths. `coefficients` holds the six blocks in raster order (untransformed,
// used as scratch: undefined afterwards); `lastScan[b]` is the highest scan position of block b
// holding a coefficient, or -1 for none. A block with only its DC takes the flat short cut; the
// results equal transforming with InverseTransformBlock and then StoreIntra / PredictAndAdd.
void ReconstructIntra(const ReconstructionTarget& t, int row, int column, std::int16_t* coefficients,
                      const int* lastScan);
void ReconstructPredicted(const ReconstructionTarget& t, int row, int column, int vx, int vy,
                          std::int16_t* coefficients, const int* lastScan);

}  // namespace vistrel::h263
