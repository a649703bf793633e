// The plain C flat-block kernel.

#include <cstdint>

#include "video/h263/H263Kernels.h"

namespace vistrel::h263 {

namespace {

void flatAddC(std::int32_t value, std::uint8_t* dst, int stride) {
    for (int r = 0; r < 8; ++r, dst += stride) {
        for (int c = 0; c < 8; ++c) {
            const std::int64_t v = std::int64_t(dst[c]) + value;
            dst[c] = std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
}

}  // namespace

void FillH263KernelsC(H263Kernels* k) { k->flatAdd = flatAddC; }

}  // namespace vistrel::h263
