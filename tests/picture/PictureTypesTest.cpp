// Picture descriptors, screen pictures and the picture-size table.

#include <gtest/gtest.h>

#include <vector>

#include "video/picture/PictureSize.h"
#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

using namespace vistrel;

TEST(YuvPicture, RowTablesPointIntoThePackedBufferLumaCbCr) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(8, 4));
    auto picture = YuvPicture::Create(samples.data(), 8, 4);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->formatCode(), 4);
    EXPECT_EQ(picture->width(), 8);
    EXPECT_EQ(picture->height(), 4);
    EXPECT_EQ(picture->luma().rows[0], samples.data());
    EXPECT_EQ(picture->luma().rows[3], samples.data() + 24);
    // Cb follows luma, Cr follows Cb, both with stride width / 2.
    EXPECT_EQ(picture->cb().width, 4);
    EXPECT_EQ(picture->cb().height, 2);
    EXPECT_EQ(picture->cb().rows[0], samples.data() + 32);
    EXPECT_EQ(picture->cb().rows[1], samples.data() + 36);
    EXPECT_EQ(picture->cr().rows[0], samples.data() + 40);
    EXPECT_EQ(picture->cr().rows[1], samples.data() + 44);
}

TEST(YuvPicture, RefusesSizesItCannotDescribe) {
    std::vector<std::uint8_t> samples(64);
    EXPECT_FALSE(YuvPicture::Create(nullptr, 8, 4));
    EXPECT_FALSE(YuvPicture::Create(samples.data(), 0, 4));
    EXPECT_FALSE(YuvPicture::Create(samples.data(), 8, -4));
    EXPECT_FALSE(YuvPicture::Create(samples.data(), 7, 4));
    EXPECT_FALSE(YuvPicture::Create(samples.data(), 8, YuvPicture::kMaxSide + 2));
    EXPECT_FALSE(YuvPicture::CreateOverPlanes(samples.data(), samples.data(), samples.data(), 8, 4, 6,
                                              4));  // stride below the width
}

TEST(YuvPicture, FillPaintsEachPlane) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(4, 4), 0xEE);
    FillYuvFrame(samples.data(), 4, 4, 0, 127, 128);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(samples[i], 0);
    for (int i = 16; i < 20; ++i) EXPECT_EQ(samples[i], 127);
    for (int i = 20; i < 24; ++i) EXPECT_EQ(samples[i], 128);
}

TEST(ScreenPicture, RowsAreStoredBottomUpAndZeroed) {
    auto picture = ScreenPicture::Create(6, 3, 24);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->stride(), 18);
    EXPECT_EQ(picture->bitsPerPixel(), 24);
    // The top row is last in memory; the bottom row starts the pixel block.
    EXPECT_EQ(picture->bits(), picture->row(2));
    EXPECT_EQ(picture->row(1), picture->row(2) + 18);
    EXPECT_EQ(picture->row(0), picture->row(2) + 36);
    for (int i = 0; i < 3 * 18; ++i) EXPECT_EQ(picture->bits()[i], 0);
}

TEST(ScreenPicture, RefusesUnknownDepthsAndSizes) {
    EXPECT_FALSE(ScreenPicture::Create(8, 8, 15));
    EXPECT_FALSE(ScreenPicture::Create(8, 8, 0));
    EXPECT_FALSE(ScreenPicture::Create(0, 8, 16));
    EXPECT_FALSE(ScreenPicture::Create(8, -1, 16));
    EXPECT_FALSE(ScreenPicture::Create(ScreenPicture::kMaxSide + 1, 8, 8));
    for (int bits : {8, 16, 24, 32}) {
        auto picture = ScreenPicture::Create(4, 4, bits);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->stride(), 4 * bits / 8);
    }
}

TEST(PictureSize, CodesAndSizesMapBothWays) {
    EXPECT_EQ(PictureSizeCode(176, 144), 2);
    EXPECT_EQ(PictureSizeCode(352, 288), 3);
    EXPECT_EQ(PictureSizeCode(320, 240), 6);
    EXPECT_EQ(PictureSizeCode(640, 480), 7);
    EXPECT_EQ(PictureSizeCode(640, 240), 8);
    EXPECT_EQ(PictureSizeCode(352, 240), 9);
    EXPECT_EQ(PictureSizeCode(720, 576), 10);
    EXPECT_EQ(PictureSizeCode(720, 480), 11);
    EXPECT_EQ(PictureSizeCode(240, 320), 0);
    for (int code : {0, 1, 4, 5, 12, -1}) EXPECT_EQ(FindPictureSize(code), nullptr) << code;
    const PictureSizeEntry* initial = FindPictureSize(kInitialPictureSizeCode);
    ASSERT_NE(initial, nullptr);
    EXPECT_EQ(initial->width, 320);
    EXPECT_EQ(initial->height, 240);
    EXPECT_FALSE(FindPictureSize(9)->h263);
    EXPECT_TRUE(FindPictureSize(8)->h263);
    for (const PictureSizeEntry& entry : kPictureSizes) {
        EXPECT_TRUE(entry.mpeg4);
        EXPECT_EQ(entry.width % 4, 0);
        EXPECT_EQ(entry.height % 4, 0);
    }
}
