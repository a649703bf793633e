// The shared lookup tables and the 8-bit palette.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "video/picture/ColourTables.h"
#include "video/picture/Palette.h"

using namespace vistrel;

// Run by ctest in a process of its own, so the threads below race for the very first build.
TEST(ColourTables, ConcurrentFirstInitialisationYieldsCompleteTables) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            if (!InitColourTables(nullptr)) ++wrong;
            // Whoever returns must see finished tables, not a half-built one.
            const std::int32_t* colour = ColourTable();
            if (colour[kColourRunGreenCr + 255] != 6023424 - 46802 * 255 || ReconstructionClamp()[767] != 255 ||
                OutputClamp()[-256] != 0)
                ++wrong;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ColourTables, ColourRunsHoldTheFixedPointCoefficients) {
    InitColourTables();
    const std::int32_t* colour = ColourTable();
    // A neutral sample: no blue or red offset, green +1 from the two +32,768 biases.
    EXPECT_EQ(colour[kColourRunBlueCb + 128], 0);
    EXPECT_EQ(colour[kColourRunRedCr + 128], 0);
    EXPECT_EQ(colour[kColourRunGreenCb + 128], 32768);
    EXPECT_EQ(colour[kColourRunGreenCr + 128], 32768);
    EXPECT_EQ((colour[kColourRunGreenCb + 128] + colour[kColourRunGreenCr + 128]) >> 16, 1);
    // The shifted runs round toward minus infinity (arithmetic shift).
    EXPECT_EQ(colour[kColourRunBlueCb + 0], -227);
    EXPECT_EQ(colour[kColourRunBlueCb + 255], 225);
    EXPECT_EQ(colour[kColourRunRedCr + 0], -179);
    EXPECT_EQ(colour[kColourRunRedCr + 255], 178);
    for (int v = 0; v < 256; ++v) {
        EXPECT_NEAR((colour[kColourRunGreenCb + v] + colour[kColourRunGreenCr + 128]) / 65536.0,
                    -0.34414 * (v - 128) + 1, 1.0);
        EXPECT_NEAR(colour[kColourRunBlueCb + v], 1.772 * (v - 128), 1.0);
        EXPECT_NEAR(colour[kColourRunRedCr + v], 1.402 * (v - 128), 1.0);
    }
}

TEST(ColourTables, ClampTablesCoverTheirWholeRanges) {
    const std::uint8_t* out = OutputClamp();
    for (int i = kOutputClampMin; i <= kOutputClampMax; ++i) ASSERT_EQ(out[i], std::clamp(i, 0, 255)) << i;
    const std::uint8_t* recon = ReconstructionClamp();
    EXPECT_EQ(kReconClampMin, -512);
    EXPECT_EQ(kReconClampMax, 767);
    for (int i = kReconClampMin; i <= kReconClampMax; ++i) ASSERT_EQ(recon[i], std::clamp(i, 0, 255)) << i;
}

TEST(ColourTables, SecondInitialisationChangesNothing) {
    InitColourTables();
    const std::vector<std::int32_t> before(ColourTable(), ColourTable() + 1024);
    const std::vector<std::uint8_t> clampBefore(OutputClamp() - 256, OutputClamp() + 1152);
    EXPECT_TRUE(InitColourTables(nullptr));
    EXPECT_EQ(before, std::vector<std::int32_t>(ColourTable(), ColourTable() + 1024));
    EXPECT_EQ(clampBefore, std::vector<std::uint8_t>(OutputClamp() - 256, OutputClamp() + 1152));
}

TEST(Palette, ColoursFollowLimitedRangeBt601) {
    for (int n = kPaletteFirstColour; n <= kPaletteLastColour; ++n) {
        // Luma level k stands for Y - 16 = 16k - 8, chroma levels for offsets -48, -16, 16, 48.
        const double y = 1.164 * (16.0 * (n >> 4) - 8.0);
        const double cb = ((n >> 2) & 3) * 32 - 48;
        const double cr = (n & 3) * 32 - 48;
        const auto clamp8 = [](double v) { return std::clamp(v, 0.0, 255.0); };
        const PaletteRgb c = PaletteColour(n);
        EXPECT_NEAR(c.red, clamp8(y + 1.596 * cr), 1.5) << n;
        EXPECT_NEAR(c.green, clamp8(y - 0.813 * cr - 0.392 * cb), 1.5) << n;
        EXPECT_NEAR(c.blue, clamp8(y + 2.017 * cb), 1.5) << n;
    }
}

TEST(Palette, CornersClampInsteadOfWrapping) {
    EXPECT_EQ(PaletteColour(0x10).red, 0);
    EXPECT_EQ(PaletteColour(0xEF).red, 255);
    EXPECT_EQ(PaletteColour(0xEF).blue, 255);
}
