#pragma once
// The 8-bit palette that matches ConvertTo8: index = luma level << 4 | Cb level << 2 | Cr level.

#include <cstdint>

namespace vistrel {

struct PaletteRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// The entries ConvertTo8 can produce (luma levels 1..14).
inline constexpr int kPaletteFirstColour = 16;
inline constexpr int kPaletteLastColour = 239;

// The colour of palette index n (0..255; meaningful for kPaletteFirstColour..kPaletteLastColour).
PaletteRgb PaletteColour(int n);

}  // namespace vistrel
