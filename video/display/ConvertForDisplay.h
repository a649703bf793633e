#pragma once
// The one choice of colour conversion for a display mode, shared by every decoding state.

#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

namespace vistrel {

// Converts `source` into `destination` in the pixel format of `displayMode` (kDisplayMode8..32).
// On an 8-bit screen the coarser dither matrix B serves windows narrower than the picture.
// False for an unknown mode or when the conversion refuses the pictures.
bool ConvertForDisplayMode(int displayMode, const YuvPicture* source, ScreenPicture* destination,
                           int windowClientWidth);

}  // namespace vistrel
