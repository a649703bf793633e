#pragma once
// Helpers of the H.263 tests: synthetic moving pictures and encoding them into live frames.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/h263enc/H263Encoder.h"

namespace vistrel::h263test {

// A picture with texture and motion: a drifting gradient, a moving bright box and deterministic
// noise, so that every coding path (intra, vectors, half samples, skips) gets used.
inline std::vector<std::uint8_t> syntheticFrame(int width, int height, int index, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> f(std::size_t(width) * std::size_t(height) * 3 / 2);
    std::uint32_t rng = seed * 2654435761u + std::uint32_t(index) * 40503u;
    auto noise = [&rng]() {
        rng = rng * 1664525u + 1013904223u;
        return int(rng >> 28) - 8;
    };
    const int boxX = (index * 3) % (width - 40);
    const int boxY = (index * 2) % (height - 40);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = ((x + index) * 255 / width + (y * 128 / height)) / 2 + 40;
            v += int(40 * std::sin((x + 2 * index) * 0.15) * std::cos((y + index) * 0.11));
            if (x >= boxX && x < boxX + 32 && y >= boxY && y < boxY + 32) v = 230 - (x - boxX) * 2;
            v += noise();
            f[std::size_t(y) * std::size_t(width) + std::size_t(x)] = std::uint8_t(std::clamp(v, 0, 255));
        }
    }
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(width / 2) + std::size_t(x);
            f[luma + i] = std::uint8_t(std::clamp(128 + (x + index) % 64 - 32 + noise(), 0, 255));
            f[luma + luma / 4 + i] = std::uint8_t(std::clamp(128 + (y * 2 - index) % 48 - 24 + noise(), 0, 255));
        }
    }
    return f;
}

inline h263enc::I420View viewOf(const std::vector<std::uint8_t>& frame, int width, int height) {
    const std::size_t luma = std::size_t(width) * std::size_t(height);
    return h263enc::I420View{frame.data(), frame.data() + luma, frame.data() + luma + luma / 4, width, width / 2};
}

struct EncodedStream {
    std::vector<std::vector<std::uint8_t>> pictures;         // raw H.263 pictures
    std::vector<std::vector<std::uint8_t>> reconstructions;  // encoder's picture after each
};

inline EncodedStream encodeSynthetic(int width, int height, int count, int quantiser, int gop,
                                     std::uint32_t seed = 1) {
    EncodedStream s;
    h263enc::H263Encoder encoder(width, height, quantiser, gop);
    for (int i = 0; i < count; ++i) {
        const auto frame = syntheticFrame(width, height, i, seed);
        std::vector<std::uint8_t> picture;
        encoder.encode(viewOf(frame, width, height), &picture);
        s.pictures.push_back(picture);
        s.reconstructions.emplace_back(encoder.reconstruction(), encoder.reconstruction() + encoder.frameBytes());
    }
    return s;
}

inline std::vector<std::uint8_t> liveFrame(const std::vector<std::uint8_t>& picture, bool header) {
    std::vector<std::uint8_t> out;
    h263enc::AppendLiveFrame(&out, picture.data(), picture.size(), header);
    return out;
}

}  // namespace vistrel::h263test
