#pragma once
// YUV4MPEG2 output of vistrel-cli decode: the stream header with the picture size and the frame
// rate the stream's own timing gives (25 when it has none), and the per-picture marker, so that
// players and ffmpeg open the file without being told its size or rate.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vistrel::cli {

struct Y4mRate {
    int numerator = 25;
    int denominator = 1;
};

inline constexpr const char* kY4mFrameMarker = "FRAME\n";

// The rate of a whole input held in memory (elementary or DVR-framed).
Y4mRate Y4mRateForStream(const std::uint8_t* data, std::size_t size, bool h263);

// "YUV4MPEG2 W320 H240 F30:1 Ip A1:1 C420jpeg\n": 4:2:0 as ffmpeg's yuv420p lays it out.
std::string Y4mStreamHeader(int width, int height, Y4mRate rate);

}  // namespace vistrel::cli
