#pragma once
// Layer headers fed to a fresh library decoder so that cameras which send bare video object
// planes can be decoded: one per width the cameras use (320 or 640, height 240, time
// resolution 30, MPEG quantisation).

#include <cstddef>
#include <cstdint>

namespace vistrel::mpeg4 {

constexpr std::size_t kPrimingHeaderSize = 35;

// Video object, video object layer, then a user data tag naming the header's origin.
#define VISTREL_PRIMING_HEADER(widthByte5, widthByte6)                                                        \
    {                                                                                                         \
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC4, 0x88, 0x80, 0x0F, widthByte5, widthByte6, \
            0x41, 0xE1, 0x49, 0x8F, 0x00, 0x00, 0x01, 0xB2, 'k', 'v', 'r', 'm', 'p', '4', ' ', '0', '0', '4', \
            0x00, 0x7F                                                                                        \
    }

inline constexpr std::uint8_t kPrimingHeader320[kPrimingHeaderSize] = VISTREL_PRIMING_HEADER(0x50, 0xA0);
inline constexpr std::uint8_t kPrimingHeader640[kPrimingHeaderSize] = VISTREL_PRIMING_HEADER(0x51, 0x40);

#undef VISTREL_PRIMING_HEADER

// The header for a picture width, or null when none is stored for it.
inline const std::uint8_t* PrimingHeaderForWidth(int width) {
    if (width == 320) return kPrimingHeader320;
    if (width == 640) return kPrimingHeader640;
    return nullptr;
}

}  // namespace vistrel::mpeg4
