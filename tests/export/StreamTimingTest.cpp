// The stream's own timing: layer and plane times of MPEG-4 (against ffmpeg's clips), H.263
// temporal references and frame header words, and the parsers against damaged bytes.

#include <gtest/gtest.h>

#include <random>

#include "ExportFixtures.h"
#include "stream/export/StreamTiming.h"

using namespace vistrel;
using namespace vistrel::exporter;

TEST(StreamTiming, ReadsTheLayerAndPlaneTimesFfmpegWrote) {
    dvr::Mpeg4ClipLibrary clips;
    ASSERT_TRUE(test::LoadClips(clips));
    const dvr::Mpeg4Clip& clip = *clips.clipFor(8);
    const auto& first = clip.frames[0].data;
    const auto layer = FindMpeg4Layer(first.data(), first.size());
    ASSERT_TRUE(layer);
    // The clips are 320x240 at 30 frames a second (make_clips.sh).
    EXPECT_EQ(layer->width, 320);
    EXPECT_EQ(layer->height, 240);
    ASSERT_GT(layer->timeResolution, 0);
    Mpeg4Clock clock(*layer);
    std::vector<std::int64_t> times;
    for (const auto& f : clip.frames) {
        const auto plane = FindMpeg4Plane(f.data.data(), f.data.size(), *layer);
        ASSERT_TRUE(plane);
        EXPECT_EQ(plane->codingType == 0, f.intra);
        times.push_back(clock.Milliseconds(*plane));
    }
    EXPECT_EQ(times[30], 1000);  // the second rolls over through the modulo time base
    EXPECT_EQ(times.back(), 89 * 1000 / 30);
    const auto rate = FrameRateFromTimes(times.data(), times.size());
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->numerator / rate->denominator, 30);

    std::vector<std::uint8_t> stream;
    for (const auto& f : clip.frames) stream.insert(stream.end(), f.data.begin(), f.data.end());
    const auto streamRate = EstimateFrameRate(stream.data(), stream.size(), false);
    ASSERT_TRUE(streamRate);
    EXPECT_EQ(double(streamRate->numerator) / streamRate->denominator, 30.0);
}

TEST(StreamTiming, H263RatesComeFromFrameHeaderWordsElseTemporalReferences) {
    const auto framed = test::H263Recording(12);
    ASSERT_FALSE(framed.empty());
    const auto rate = EstimateFrameRate(framed.data(), framed.size(), true);
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->numerator, 15);  // 66 ms apart
    EXPECT_EQ(rate->denominator, 1);

    // Without headers the temporal reference counts 1001/30000 s per step.
    const std::uint8_t pictures[] = {0,    0,    0x80, 0x02, 0x10, 0, 0,    0,    0,
                                     0x80, 0x06, 0x10, 0,    0,    0, 0x80, 0x0A, 0x10};
    const auto tr = EstimateFrameRate(pictures, sizeof pictures, true);
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->numerator, 30000);
    EXPECT_EQ(tr->denominator, 1001);
    EXPECT_EQ(H263TemporalReference(pictures, 4), 0);
    EXPECT_EQ(H263TemporalReference(pictures + 7, 4), 1);
    EXPECT_FALSE(H263TemporalReference(pictures, 3));
    EXPECT_FALSE(EstimateFrameRate(pictures, 4, true));
}

TEST(StreamTiming, DamagedHeadersNeverReadOutsideTheirBytes) {
    dvr::Mpeg4ClipLibrary clips;
    ASSERT_TRUE(test::LoadClips(clips));
    const auto& first = clips.clipFor(8)->frames[0].data;
    std::mt19937 random(7);
    for (std::size_t cut = 0; cut <= std::min<std::size_t>(first.size(), 64); ++cut) {
        // Exact-size copies so that the sanitizer sees any read past the end.
        std::vector<std::uint8_t> part(first.begin(), first.begin() + std::ptrdiff_t(cut));
        const auto layer = FindMpeg4Layer(part.data(), part.size());
        if (layer) {
            EXPECT_GT(layer->timeResolution, 0);
            FindMpeg4Plane(part.data(), part.size(), *layer);
        }
        EstimateFrameRate(part.data(), part.size(), false);
        EstimateFrameRate(part.data(), part.size(), true);
    }
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> bad(first.begin(),
                                      first.begin() + std::ptrdiff_t(std::min<std::size_t>(first.size(), 200)));
        for (int f = 0; f < 3; ++f) bad[random() % bad.size()] ^= std::uint8_t(1u << (random() % 8));
        if (const auto layer = FindMpeg4Layer(bad.data(), bad.size())) {
            EXPECT_GT(layer->timeResolution, 0);
            EXPECT_GE(layer->incrementBits, 1);
            EXPECT_LE(layer->incrementBits, 16);
            FindMpeg4Plane(bad.data(), bad.size(), *layer);
        }
        EstimateFrameRate(bad.data(), bad.size(), false);
    }
    // A plane claiming endless seconds is refused, not counted for ever.
    std::vector<std::uint8_t> endless = {0, 0, 1, 0xB6, 0x7F};
    endless.insert(endless.end(), 100, 0xFF);
    Mpeg4LayerInfo layer;
    layer.timeResolution = 30;
    layer.incrementBits = 5;
    EXPECT_FALSE(FindMpeg4Plane(endless.data(), endless.size(), layer));
}
