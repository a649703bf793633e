#pragma once
// Peak signal-to-noise ratio of 8-bit samples, the measure every comparison with a reference
// decoder uses. Identical samples give kIdenticalPsnr rather than infinity, so that means stay finite.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::testsupport {

constexpr double kIdenticalPsnr = 99.0;

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);

// Bytes of one planar 4:2:0 picture (I420, chroma planes rounded up for odd sizes).
std::size_t I420Bytes(int width, int height);

// PSNR over all three planes of each picture of two I420 sequences, as far as both reach.
std::vector<double> I420FramePsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                                  int width, int height);

// Luma PSNR of picture `index` of two I420 sequences (both must hold it).
double I420LumaPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t index,
                    int width, int height);

}  // namespace vistrel::testsupport
