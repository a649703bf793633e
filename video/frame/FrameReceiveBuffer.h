#pragma once
// The live consumer's receive buffer, on which the decoders' frame extraction works in place.
// Owned by the live consumer thread; nothing else touches it.

#include <cstddef>
#include <cstdint>

namespace vistrel::frame {

constexpr std::size_t kReceiveBufferSize = 307200;

struct FrameReceiveBuffer {
    std::uint8_t data[kReceiveBufferSize];
    std::uint32_t held = 0;        // bytes held, counted from data[0]
    std::uint32_t readOffset = 0;  // where the next frame search starts
};

}  // namespace vistrel::frame
