#include "tests/support/Psnr.h"

#include <cmath>

namespace vistrel::testsupport {

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
    double squares = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = double(a[i]) - double(b[i]);
        squares += d * d;
    }
    if (squares == 0) return kIdenticalPsnr;
    return 10.0 * std::log10(255.0 * 255.0 * double(count) / squares);
}

std::size_t I420Bytes(int width, int height) {
    return std::size_t(width) * std::size_t(height) +
           2 * std::size_t((width + 1) / 2) * std::size_t((height + 1) / 2);
}

std::vector<double> I420FramePsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                                  int width, int height) {
    const std::size_t frame = I420Bytes(width, height);
    std::vector<double> out;
    for (std::size_t at = 0; at + frame <= a.size() && at + frame <= b.size(); at += frame)
        out.push_back(Psnr(a.data() + at, b.data() + at, frame));
    return out;
}

double I420LumaPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t index,
                    int width, int height) {
    const std::size_t at = index * I420Bytes(width, height);
    return Psnr(a.data() + at, b.data() + at, std::size_t(width) * std::size_t(height));
}

}  // namespace vistrel::testsupport
