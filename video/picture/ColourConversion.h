#pragma once
// Conversion of a decoded YUV 4:2:0 picture into a screen picture of the same size, one routine
// per screen pixel format, in integer arithmetic over the shared colour tables.

#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

namespace vistrel {

// Each routine returns false, writing nothing, when either picture is missing, the sizes differ,
// width or height is not a multiple of 4, or the destination's bits per pixel do not match
// the routine (24, 32, 16, 16, 8).

// 3 bytes per pixel: blue, green, red.
bool ConvertTo24(const YuvPicture* source, ScreenPicture* destination);
// 4 bytes per pixel: blue, green, red, 0.
bool ConvertTo32(const YuvPicture* source, ScreenPicture* destination);
// 16 bits: red 11..15, green 5..10, blue 0..4.
bool ConvertTo565(const YuvPicture* source, ScreenPicture* destination);
// 16 bits: red 10..14, green 5..9, blue 0..4.
bool ConvertTo555(const YuvPicture* source, ScreenPicture* destination);

inline constexpr int kDitherMatrixA = 1;
inline constexpr int kDitherMatrixB = 2;
// 1 byte per pixel, an index of the 8-bit palette (see Palette.h), ordered-dithered with
// matrix A (1) or B (2); any other matrix is refused.
bool ConvertTo8(const YuvPicture* source, ScreenPicture* destination, int matrix);

// The 24-bit conversion into caller-provided rows (`height` pointers, top row first, each with
// room for width * 3 bytes); used for snapshot bitmaps. Same checks as ConvertTo24.
bool ConvertTo24Rows(const YuvPicture* source, std::uint8_t* const* rows, int width, int height);

}  // namespace vistrel
