#pragma once
// The pixel formats the desktop window can emulate for its framebuffer, and the names the
// command line gives them.

#include <string_view>

namespace vistrel::platform::qt {

enum class ScreenDepth { Indexed8, Rgb555, Rgb565, Bgr24, Rgb32 };

// "8", "16" (= 5-6-5), "555", "24", "32"; false for anything else (depth left untouched).
bool ParseScreenDepth(std::string_view text, ScreenDepth* depth);

}  // namespace vistrel::platform::qt
