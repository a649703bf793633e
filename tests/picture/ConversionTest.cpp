// The five conversion routines: exact values, agreement with the BT.601 colour model, plane order,
// chroma replication, dithering, and refusal of pictures they cannot convert.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "video/picture/ColourConversion.h"
#include "video/picture/ColourTables.h"
#include "video/picture/Palette.h"

using namespace vistrel;

namespace {

// A packed YUV frame and its descriptor.
struct Frame {
    int width;
    int height;
    std::vector<std::uint8_t> samples;
    std::unique_ptr<YuvPicture> picture;

    Frame(int w, int h, std::uint8_t y, std::uint8_t cb, std::uint8_t cr)
        : width(w), height(h), samples(YuvPicture::FrameBytes(w, h)) {
        FillYuvFrame(samples.data(), w, h, y, cb, cr);
        picture = YuvPicture::Create(samples.data(), w, h);
    }
    std::uint8_t& y(int row, int column) { return samples[row * width + column]; }
    std::uint8_t& cb(int row, int column) { return samples[width * height + row * (width / 2) + column]; }
    std::uint8_t& cr(int row, int column) { return samples[width * height * 5 / 4 + row * (width / 2) + column]; }
    const YuvPicture* get() const { return picture.get(); }
};

struct Bgr {
    int blue, green, red;
};

Bgr pixel24(const ScreenPicture& p, int row, int column) {
    const std::uint8_t* q = p.row(row) + column * 3;
    return {q[0], q[1], q[2]};
}

std::uint16_t pixel16(const ScreenPicture& p, int row, int column) {
    const std::uint8_t* q = p.row(row) + column * 2;
    return static_cast<std::uint16_t>(q[0] | q[1] << 8);
}

// Full-range BT.601 in floating point: the model the fixed-point tables approximate.
Bgr reference(int y, int cb, int cr) {
    const auto c = [](double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); };
    return {c(y + 1.772 * (cb - 128)), c(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128)),
            c(y + 1.402 * (cr - 128))};
}

}  // namespace

TEST(ConvertTo24, NeutralGreyGivesTheGreenBias) {
    Frame frame(16, 8, 128, 128, 128);
    auto out = ScreenPicture::Create(16, 8, 24);
    ASSERT_TRUE(ConvertTo24(frame.get(), out.get()));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 16; ++c) {
            const Bgr p = pixel24(*out, r, c);
            ASSERT_EQ(p.blue, 128);
            ASSERT_EQ(p.green, 129);
            ASSERT_EQ(p.red, 128);
        }
}

TEST(ConvertTo24, ExtremesClampInsideTheTable) {
    Frame bright(4, 4, 255, 255, 255);
    auto out = ScreenPicture::Create(4, 4, 24);
    ASSERT_TRUE(ConvertTo24(bright.get(), out.get()));
    EXPECT_EQ(pixel24(*out, 0, 0).blue, 255);
    EXPECT_EQ(pixel24(*out, 0, 0).red, 255);
    Frame dark(4, 4, 0, 0, 0);
    ASSERT_TRUE(ConvertTo24(dark.get(), out.get()));
    EXPECT_EQ(pixel24(*out, 3, 3).blue, 0);
    EXPECT_EQ(pixel24(*out, 3, 3).red, 0);
    EXPECT_EQ(pixel24(*out, 3, 3).green, (2919680 + 6023424) >> 16);
}

TEST(ConvertTo24, AgreesWithBt601WithinRoundingOnRandomPictures) {
    Frame frame(64, 32, 0, 0, 0);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> sample(0, 255);
    for (auto& s : frame.samples) s = static_cast<std::uint8_t>(sample(random));
    auto out = ScreenPicture::Create(64, 32, 24);
    ASSERT_TRUE(ConvertTo24(frame.get(), out.get()));
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 64; ++c) {
            // Each pixel takes the chroma of its own 2 x 2 block.
            const Bgr want = reference(frame.y(r, c), frame.cb(r / 2, c / 2), frame.cr(r / 2, c / 2));
            const Bgr got = pixel24(*out, r, c);
            ASSERT_NEAR(got.blue, want.blue, 1) << r << "," << c;
            ASSERT_NEAR(got.green, want.green, 2) << r << "," << c;
            ASSERT_NEAR(got.red, want.red, 1) << r << "," << c;
        }
}

TEST(ConvertTo24, CbDrivesBlueAndCrDrivesRedPerTwoByTwoBlock) {
    Frame frame(8, 4, 100, 128, 128);
    frame.cb(0, 1) = 255;  // block at rows 0-1, columns 2-3
    frame.cr(1, 2) = 255;  // block at rows 2-3, columns 4-5
    auto out = ScreenPicture::Create(8, 4, 24);
    ASSERT_TRUE(ConvertTo24(frame.get(), out.get()));
    for (int r : {0, 1})
        for (int c : {2, 3}) {
            EXPECT_EQ(pixel24(*out, r, c).blue, 255);
            EXPECT_EQ(pixel24(*out, r, c).red, 100);
        }
    for (int r : {2, 3})
        for (int c : {4, 5}) {
            EXPECT_EQ(pixel24(*out, r, c).red, 255);
            EXPECT_EQ(pixel24(*out, r, c).blue, 100);
        }
    EXPECT_EQ(pixel24(*out, 0, 1).blue, 100);
    EXPECT_EQ(pixel24(*out, 2, 2).blue, 100);
    EXPECT_EQ(pixel24(*out, 1, 4).red, 100);
}

TEST(ConvertTo24, TopRowOfThePictureIsTheLastRowInMemory) {
    Frame frame(4, 4, 0, 128, 128);
    frame.y(0, 0) = 200;
    auto out = ScreenPicture::Create(4, 4, 24);
    ASSERT_TRUE(ConvertTo24(frame.get(), out.get()));
    EXPECT_EQ(out->bits()[3 * 4 * 3], 200);  // first pixel of the last stored row
    EXPECT_EQ(out->bits()[0], 0);
}

// The routines may take a vector path over the leading columns of a row and the table path over
// the rest; widths with and without a remainder are compared byte for byte with the table
// arithmetic written out plainly.
TEST(ConvertDirect, EveryDepthMatchesThePlainTableArithmetic) {
    const std::int32_t* colour = ColourTable();
    const std::uint8_t* clamp = OutputClamp();
    for (const int width : {32, 72, 4}) {
        SCOPED_TRACE(width);
        Frame frame(width, 16, 0, 0, 0);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> sample(0, 255);
        for (auto& s : frame.samples) s = static_cast<std::uint8_t>(sample(random));
        auto p24 = ScreenPicture::Create(width, 16, 24);
        auto p32 = ScreenPicture::Create(width, 16, 32);
        auto p565 = ScreenPicture::Create(width, 16, 16);
        auto p555 = ScreenPicture::Create(width, 16, 16);
        ASSERT_TRUE(ConvertTo24(frame.get(), p24.get()));
        ASSERT_TRUE(ConvertTo32(frame.get(), p32.get()));
        ASSERT_TRUE(ConvertTo565(frame.get(), p565.get()));
        ASSERT_TRUE(ConvertTo555(frame.get(), p555.get()));
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < width; ++c) {
                const int y = frame.y(r, c);
                const int cb = frame.cb(r / 2, c / 2);
                const int cr = frame.cr(r / 2, c / 2);
                const int blue = clamp[y + colour[kColourRunBlueCb + cb]];
                const int green =
                    clamp[y + ((colour[kColourRunGreenCr + cr] + colour[kColourRunGreenCb + cb]) >> 16)];
                const int red = clamp[y + colour[kColourRunRedCr + cr]];
                const Bgr p = pixel24(*p24, r, c);
                ASSERT_EQ(p.blue, blue) << r << "," << c;
                ASSERT_EQ(p.green, green) << r << "," << c;
                ASSERT_EQ(p.red, red) << r << "," << c;
                const std::uint8_t* q = p32->row(r) + c * 4;
                ASSERT_EQ(q[0], blue);
                ASSERT_EQ(q[1], green);
                ASSERT_EQ(q[2], red);
                ASSERT_EQ(q[3], 0);
                ASSERT_EQ(pixel16(*p565, r, c), (red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3));
                ASSERT_EQ(pixel16(*p555, r, c), (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3));
            }
    }
}

TEST(ConvertDirect, WhiteIsAllOnesIn16Bits) {
    Frame white(8, 8, 255, 128, 128);
    auto out = ScreenPicture::Create(8, 8, 16);
    ASSERT_TRUE(ConvertTo565(white.get(), out.get()));
    EXPECT_EQ(pixel16(*out, 0, 0), 0xFFFF);
    EXPECT_EQ(pixel16(*out, 7, 7), 0xFFFF);
    ASSERT_TRUE(ConvertTo555(white.get(), out.get()));
    EXPECT_EQ(pixel16(*out, 4, 5), 0x7FFF);
}

TEST(ConvertTo8, BlackUsesLumaLevelOneAndTheMatrixChromaLevels) {
    Frame black(8, 8, 0, 127, 127);
    auto out = ScreenPicture::Create(8, 8, 8);
    for (int matrix : {kDitherMatrixA, kDitherMatrixB}) {
        ASSERT_TRUE(ConvertTo8(black.get(), out.get(), matrix));
        const auto& dither = matrix == kDitherMatrixA ? kDitherA : kDitherB;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                const int index = out->row(r)[c];
                const int d = dither[r % 4][c % 4];
                // Chroma 127 halves to 63; 63 + d crosses the level-2 edge (72) from d = 9.
                const int level = d >= 9 ? 2 : 1;
                ASSERT_EQ(index >> 4, 1) << matrix << " " << r << "," << c;
                ASSERT_EQ(index & 3, level);
                ASSERT_EQ((index >> 2) & 3, level);
            }
    }
}

TEST(ConvertTo8, DitheredGreyAveragesToTheRightBrightness) {
    // Over a 4 x 4 tile the palette colours should average close to the grey they stand for.
    for (int grey : {40, 100, 160, 220}) {
        Frame frame(16, 16, static_cast<std::uint8_t>(grey), 128, 128);
        auto out = ScreenPicture::Create(16, 16, 8);
        ASSERT_TRUE(ConvertTo8(frame.get(), out.get(), kDitherMatrixA));
        double sum = 0;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) sum += PaletteColour(out->row(r)[c]).green;
        // Limited-range palette over full-range input: expect 1.164 * (Y - 16) roughly.
        EXPECT_NEAR(sum / 16, std::clamp(1.164 * (grey - 16), 0.0, 255.0), 24) << grey;
    }
}

TEST(ConvertTo8, MatricesDifferAndOthersAreRefused) {
    Frame frame(8, 8, 120, 128, 128);
    auto a = ScreenPicture::Create(8, 8, 8);
    auto b = ScreenPicture::Create(8, 8, 8);
    ASSERT_TRUE(ConvertTo8(frame.get(), a.get(), kDitherMatrixA));
    ASSERT_TRUE(ConvertTo8(frame.get(), b.get(), kDitherMatrixB));
    EXPECT_FALSE(std::equal(a->bits(), a->bits() + 64, b->bits()));
    EXPECT_FALSE(ConvertTo8(frame.get(), a.get(), 0));
    EXPECT_FALSE(ConvertTo8(frame.get(), a.get(), 3));
}

TEST(ConvertRefusal, MismatchedOddOrWrongDepthPicturesAreLeftUntouched) {
    Frame frame(16, 8, 200, 128, 128);
    Frame notMultipleOf4(18, 6, 200, 128, 128);
    ASSERT_TRUE(notMultipleOf4.get());
    auto smaller = ScreenPicture::Create(8, 8, 24);
    auto larger = ScreenPicture::Create(32, 16, 32);
    auto odd = ScreenPicture::Create(18, 6, 16);
    auto wrongDepth = ScreenPicture::Create(16, 8, 16);
    auto eight = ScreenPicture::Create(16, 8, 8);
    auto right24 = ScreenPicture::Create(16, 8, 24);

    EXPECT_FALSE(ConvertTo24(frame.get(), smaller.get()));
    EXPECT_FALSE(ConvertTo32(frame.get(), larger.get()));
    EXPECT_FALSE(ConvertTo565(notMultipleOf4.get(), odd.get()));
    EXPECT_FALSE(ConvertTo555(notMultipleOf4.get(), odd.get()));
    EXPECT_FALSE(ConvertTo8(notMultipleOf4.get(), odd.get(), kDitherMatrixA));
    EXPECT_FALSE(ConvertTo32(frame.get(), wrongDepth.get()));  // would write twice the row
    EXPECT_FALSE(ConvertTo24(frame.get(), eight.get()));
    EXPECT_FALSE(ConvertTo565(frame.get(), right24.get()));
    EXPECT_FALSE(ConvertTo8(frame.get(), wrongDepth.get(), kDitherMatrixB));
    EXPECT_FALSE(ConvertTo24(nullptr, right24.get()));
    EXPECT_FALSE(ConvertTo24(frame.get(), nullptr));
    EXPECT_FALSE(ConvertTo24Rows(frame.get(), nullptr, 16, 8));

    for (const ScreenPicture* p :
         {smaller.get(), larger.get(), odd.get(), wrongDepth.get(), eight.get(), right24.get()})
        EXPECT_TRUE(
            std::all_of(p->bits(), p->bits() + p->stride() * p->height(), [](std::uint8_t b) { return b == 0; }));
}
