#pragma once
// The synthetic picture of an H.263 channel: a textured scene seen through the channel's virtual
// camera, a sweeping bar that moves with time, and the channel number and clock drawn over it.

#include <cstdint>
#include <vector>

#include "tools/dvr/DvrServer.h"

namespace vistrel::dvr {

struct SceneView {
    int channel = 1;                       // 1..16, as shown
    int hour = 0, minute = 0, second = 0;  // the clock shown
    std::int64_t millis = 0;               // drives the motion
    CameraPosition camera;
};

// A planar YUV 4:2:0 picture, luma then Cb then Cr, no padding.
struct YuvFrame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> data;
    std::uint8_t* y() { return data.data(); }
    std::uint8_t* u() { return data.data() + std::size_t(width) * height; }
    std::uint8_t* v() { return u() + std::size_t(width / 2) * (height / 2); }
};

// Sizes must be even; the frame is resized as needed.
void renderScene(const SceneView& view, int width, int height, YuvFrame& out);

}  // namespace vistrel::dvr
