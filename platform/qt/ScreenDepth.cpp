#include "platform/qt/ScreenDepth.h"

namespace vistrel::platform::qt {

bool ParseScreenDepth(std::string_view text, ScreenDepth* depth) {
    struct Name {
        std::string_view text;
        ScreenDepth depth;
    };
    // "16" means 5-6-5 because that is what 16-bit desktops and handhelds almost always are.
    static constexpr Name kNames[] = {
        {"8", ScreenDepth::Indexed8}, {"16", ScreenDepth::Rgb565}, {"555", ScreenDepth::Rgb555},
        {"24", ScreenDepth::Bgr24},   {"32", ScreenDepth::Rgb32},
    };
    for (const Name& name : kNames) {
        if (name.text == text) {
            if (depth != nullptr) *depth = name.depth;
            return true;
        }
    }
    return false;
}

}  // namespace vistrel::platform::qt
