#include "video/display/ConvertForDisplay.h"

#include "video/display/DisplaySurface.h"
#include "video/picture/ColourConversion.h"

namespace vistrel {

bool ConvertForDisplayMode(int displayMode, const YuvPicture* source, ScreenPicture* destination,
                           int windowClientWidth) {
    if (source == nullptr) return false;
    switch (displayMode) {
        case kDisplayMode8:
            return ConvertTo8(source, destination,
                              windowClientWidth < source->width() ? kDitherMatrixB : kDitherMatrixA);
        case kDisplayMode555: return ConvertTo555(source, destination);
        case kDisplayMode565: return ConvertTo565(source, destination);
        case kDisplayMode24: return ConvertTo24(source, destination);
        case kDisplayMode32: return ConvertTo32(source, destination);
        default: return false;
    }
}

}  // namespace vistrel
