#pragma once
// The process-wide lookup tables of colour conversion and of H.263 reconstruction, built once.

#include <cstdint>

#include "platform/WindowHandle.h"

namespace vistrel {

// Builds every table below once per process; later and concurrent calls return at once (after
// the first has finished). The window is not used. Always true.
bool InitColourTables(WindowHandle window = nullptr);

// The accessors build the tables first if nobody has yet.

// 1,024 entries, four runs of 256 indexed by a chroma value:
//   [0..255]    green part from Cb, 16.16 fixed point, not shifted (+32,768 included)
//   [256..511]  blue offset from Cb, already shifted
//   [512..767]  red offset from Cr, already shifted
//   [768..1023] green part from Cr, not shifted (+32,768 included)
const std::int32_t* ColourTable();
inline constexpr int kColourRunGreenCb = 0;
inline constexpr int kColourRunBlueCb = 256;
inline constexpr int kColourRunRedCr = 512;
inline constexpr int kColourRunGreenCr = 768;

// Output clamp: pointer to the entry of index 0; valid indices kOutputClampMin..kOutputClampMax.
// Negative indices give 0, 0..255 the index, above 255 give 255.
const std::uint8_t* OutputClamp();
inline constexpr int kOutputClampMin = -256;
inline constexpr int kOutputClampMax = 1408 - 256 - 1;

// Reconstruction clamp of the H.263 decoder: pointer to the entry of index 0; valid indices
// kReconClampMin..kReconClampMax (512 zeros, identity 0..255, 512 times 255).
const std::uint8_t* ReconstructionClamp();
inline constexpr int kReconClampMin = -512;
inline constexpr int kReconClampMax = 767;

// The quantiser tables of the 8-bit conversion.
struct QuantiserTables {
    const std::uint8_t* luma;      // 272 entries: clamp((k - 8) >> 4, 1, 14) << 4
    const std::uint8_t* cr;        // 144 entries: clamp((k - 40) >> 4, 0, 3)
    const std::uint8_t* cb;        // 144 entries: cr[k] << 2
    const std::uint8_t* indexMap;  // 256 entries: k
};
const QuantiserTables& EightBitTables();
inline constexpr int kLumaQuantiserSize = 272;
inline constexpr int kChromaQuantiserSize = 144;

// 4 x 4 dither offsets 0..15, row by row; matrix 1 = A, 2 = B.
inline constexpr std::uint8_t kDitherA[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
inline constexpr std::uint8_t kDitherB[4][4] = {{0, 8, 14, 2}, {12, 4, 6, 10}, {11, 7, 5, 13}, {3, 15, 9, 1}};

}  // namespace vistrel
