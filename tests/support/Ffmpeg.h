#pragma once
// ffmpeg as the independent encoder of test streams and as the reference decoder.

#include <string>

namespace vistrel::testsupport {

// Encodes `frames` pictures of W x H, a window moving fast over a larger test pattern, with the
// given ffmpeg output options into an MPEG-4 elementary stream at `path`.
bool EncodeMovingClip(const std::string& path, int width, int height, int frames, const std::string& options);

// ffmpeg's decoding of `path` as I420 pictures at `yuvPath`, one per coded picture.
bool ReferenceDecode(const std::string& path, const std::string& yuvPath);

}  // namespace vistrel::testsupport
