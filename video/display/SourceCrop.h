#pragma once
// The part of the decoded picture a window shows (digital zoom): kept per window, so that it
// survives the decoder re-making its surface, and applied by the display surface before scaling.

#include <cstdint>

#include "platform/WindowHandle.h"

namespace vistrel {

// Crop edges in 1/65536ths of the picture's width and height, so the crop does not depend on the
// picture size the decoder happens to produce.
inline constexpr std::uint32_t kCropUnit = 65536;

struct SourceCrop {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = kCropUnit;
    std::uint32_t height = kCropUnit;

    bool isWhole() const { return left == 0 && top == 0 && width >= kCropUnit && height >= kCropUnit; }
};

struct CropPixels {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Any thread. A whole crop forgets the window; the owner of a window clears its crop before
// the window goes, so that a later window at the same address does not inherit it.
void SetSourceCrop(WindowHandle window, const SourceCrop& crop);
void ClearSourceCrop(WindowHandle window);
SourceCrop GetSourceCrop(WindowHandle window);

// The crop in pixels of a picture of width x height: inside the picture and at least one pixel,
// whatever the crop says.
CropPixels CropToPixels(const SourceCrop& crop, int width, int height);

}  // namespace vistrel
