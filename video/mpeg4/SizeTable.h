#pragma once
// The picture sizes the MPEG-4 adapter works in: size codes, and the code for a size the
// library reports.

namespace vistrel::mpeg4 {

constexpr int kInitialSizeCode = 6;  // 320 x 240

// Width and height of a size code the adapter can produce; false for any other code.
bool SizeOfCode(int code, int* width, int* height);

// The size code for a picture the library reports, or 0 for a size outside the table.
int SizeCodeForPicture(int width, int height);

// Whether a reported picture size calls for a size change at all, given the current size.
// Very small pictures never do; the adapter then drops them as not matching its buffers.
bool PictureSizeChangeConsidered(int width, int height, int currentWidth, int currentHeight);

// The size code a frame header's size hint (byte 13, low 2 bits) asks for, 0 for none.
int SizeCodeForHint(int hint);

}  // namespace vistrel::mpeg4
