#pragma once
// Live recordings made in memory the way the emulator streams them, for the exporter's tests.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dvr/H263Source.h"
#include "tools/dvr/Mpeg4Clips.h"
#include "tools/dvr/Scene.h"

namespace vistrel::exporter::test {

inline constexpr std::uint32_t kH263StepMs = 66;
inline constexpr std::uint32_t kMpeg4StepMs = 33;

// `frames` H.263 frames with frame headers whose words step by kH263StepMs, an intra picture every 10.
inline std::vector<std::uint8_t> H263Recording(int frames, int width = 320, int height = 240) {
    std::vector<std::uint8_t> out, bits;
    dvr::H263Source source(width, height);
    dvr::YuvFrame picture;
    for (int n = 0; n < frames; ++n) {
        dvr::SceneView view;
        view.channel = 1;
        view.millis = n * kH263StepMs;
        view.second = n / 15;
        dvr::renderScene(view, width, height, picture);
        bool intra = false;
        if (!source.encode(picture, n % 10 == 0, bits, intra)) return {};
        dvr::appendH263Frame(out, bits, true, std::uint32_t(n) * kH263StepMs);
    }
    return out;
}

inline bool LoadClips(dvr::Mpeg4ClipLibrary& clips) {
    std::string error;
    return clips.load(std::string(VISTREL_BINARY_DIR) + "/dvr-clips", &error);
}

// `frames` frames of channel 9's clip in live framing, with an information block now and then.
inline std::vector<std::uint8_t> Mpeg4Recording(const dvr::Mpeg4Clip& clip, int frames) {
    std::vector<std::uint8_t> out;
    for (int n = 0; n < frames; ++n)
        dvr::appendLiveMpeg4Frame(out, clip, clip.frames[std::size_t(n) % clip.frames.size()],
                                  n > 0 && n % 25 == 0, std::uint32_t(n) * kMpeg4StepMs);
    return out;
}

}  // namespace vistrel::exporter::test
