#include "video/picture/Palette.h"

#include "video/picture/ColourTables.h"

namespace vistrel {

PaletteRgb PaletteColour(int n) {
    n &= 0xFF;
    const std::uint8_t* clamp8 = OutputClamp();
    const int k = n >> 4;
    const int cb = ((n >> 2) & 3) * 32 - 48;
    const int cr = (n & 3) * 32 - 48;
    const int base = k * 1220944 - 610472;
    // Every result lies within -256..639 for n in 0..255, inside the clamp table.
    PaletteRgb colour;
    colour.red = clamp8[(base + 104597 * cr + 32768) >> 16];
    colour.green = clamp8[(base - 53279 * cr - 25675 * cb + 32768) >> 16];
    colour.blue = clamp8[(base + 132201 * cb + 32786) >> 16];
    return colour;
}

}  // namespace vistrel
