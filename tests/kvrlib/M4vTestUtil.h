// Helpers of the kvrlib tests: making streams with ffmpeg, reading files, comparing pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvrtest {

bool haveFfmpeg();
// A scratch folder of this test program under the build tree, created on demand.
std::string scratchDir(const std::string& name);
bool run(const std::string& command);
std::vector<std::uint8_t> readFile(const std::string& path);

// Encodes Frames frames of moving test pictures of W x H with the given ffmpeg output options
// into an MPEG-4 elementary stream at Path.
bool encodeClip(const std::string& path, int w, int h, int frames, const std::string& options);
// ffmpeg's own decoding of Path as I420 at RefPath.
bool referenceDecode(const std::string& path, const std::string& refPath);

// PSNR of each frame over all three planes (99 for identical frames).
std::vector<double> framePsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                              int w, int h);

}  // namespace kvrtest
