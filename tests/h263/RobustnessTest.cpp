#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/h263/TestSupport.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Decoder.h"
#include "video/h263/H263Framing.h"

using namespace vistrel;
using namespace vistrel::h263;
using namespace vistrel::h263test;

namespace {

// Decodes hostile data both ways the decoder meets it: through the frame loop in odd-sized chunks,
// and cut by ExtractFrame as the live session does. The sanitizers do the checking.
void decodeHostile(H263Decoder& d, const std::vector<std::uint8_t>& data, std::mt19937& rng) {
    std::size_t offset = 0;
    while (offset < data.size()) {
        const std::size_t n = std::min<std::size_t>(data.size() - offset, 1 + rng() % 3000);
        d.Feed(data.data() + offset, n, int(rng() % 3) - 1);
        offset += n;
    }
    d.Feed(nullptr, 0, -1);
    auto buffer = std::make_unique<frame::FrameReceiveBuffer>();
    const std::size_t n = std::min(data.size(), frame::kReceiveBufferSize);
    std::copy(data.begin(), data.begin() + std::ptrdiff_t(n), buffer->data);
    buffer->held = std::uint32_t(n);
    const std::uint8_t* frame = nullptr;
    std::size_t length = 0;
    bool header = false;
    std::size_t intraOffset = 0;
    H263IsIntraFrame(data.data(), data.size(), &intraOffset);
    for (int i = 0; i < 1000 && H263ExtractFrame(buffer.get(), &frame, &length, &header); ++i) {
        d.Feed(frame, length, -1);
        std::copy(buffer->data + length, buffer->data + buffer->held, buffer->data);
        buffer->held -= std::uint32_t(length);
    }
}

std::vector<std::uint8_t> framedStream(const EncodedStream& s, bool header) {
    std::vector<std::uint8_t> out;
    for (const auto& p : s.pictures) {
        const auto f = liveFrame(p, header);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

}  // namespace

TEST(H263Robustness, BitFlipsInPicturesNeverCrash) {
    std::mt19937 rng(2024);
    for (auto size : {std::pair{176, 144}, std::pair{320, 240}}) {
        const EncodedStream stream = encodeSynthetic(size.first, size.second, 6, 4, 3);
        auto d = H263Decoder::Create();
        ASSERT_TRUE(d && d->Attach(nullptr));
        d->Reset();
        d->SetAllowPredicted(true);
        for (int round = 0; round < 40; ++round) {
            EncodedStream damaged = stream;
            for (auto& p : damaged.pictures) {
                const int flips = 1 + int(rng() % 8);
                for (int k = 0; k < flips; ++k) {
                    // Keep the start code mostly intact so that the macroblock layers get exercised.
                    const std::size_t bit = 32 + rng() % ((p.size() - 4) * 8);
                    p[bit / 8] ^= std::uint8_t(0x80 >> (bit % 8));
                }
            }
            decodeHostile(*d, framedStream(damaged, round % 2 == 0), rng);
        }
        std::vector<std::uint8_t> bmp(size_t(size.first * size.second * 3 + 54));
        EXPECT_GT(d->Snapshot(bmp.data(), bmp.size()), 0u);
    }
}

TEST(H263Robustness, TruncationsAndFlippedFramingNeverCrash) {
    std::mt19937 rng(77);
    const EncodedStream stream = encodeSynthetic(176, 144, 5, 3, 5);
    auto d = H263Decoder::Create();
    ASSERT_TRUE(d && d->Attach(nullptr));
    for (int round = 0; round < 60; ++round) {
        std::vector<std::uint8_t> data;
        for (const auto& p : stream.pictures) {
            std::vector<std::uint8_t> cut(p.begin(), p.begin() + std::ptrdiff_t(1 + rng() % p.size()));
            const auto f = liveFrame(round % 3 == 0 ? p : cut, round % 2 == 0);
            data.insert(data.end(), f.begin(), f.end());
        }
        // Damage the framing too: length words, header markers, high length bytes.
        for (int k = 0; k < 6; ++k) data[rng() % data.size()] ^= std::uint8_t(1u << (rng() % 8));
        decodeHostile(*d, data, rng);
        d->Reset();
        d->SetAllowPredicted(true);
    }
}

TEST(H263Robustness, RandomBytesBehindValidHeadersNeverCrash) {
    std::mt19937 rng(5);
    auto d = H263Decoder::Create();
    ASSERT_TRUE(d && d->Attach(nullptr));
    d->SetAllowPredicted(true);
    for (int round = 0; round < 200; ++round) {
        // Picture start code, random PTYPE (every size code, both coding types), random macroblocks.
        std::vector<std::uint8_t> picture = {0x00, 0x00, 0x80};
        const std::size_t n = 4 + rng() % 2000;
        for (std::size_t i = 0; i < n; ++i) picture.push_back(std::uint8_t(rng()));
        picture[2] = std::uint8_t(0x80 | (rng() & 3));
        const auto f = liveFrame(picture, rng() % 2 == 0);
        d->Feed(f.data(), f.size(), -1);
    }
    SUCCEED();
}
