// Snapshot bitmaps: header layout, bottom-up pixel rows, and the buffer-too-small contract.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "tests/support/Files.h"
#include "video/picture/Snapshot.h"

using namespace vistrel;

using base::Le16;
using base::Le32;

TEST(Snapshot, HeaderAndSizeOfA640x480Picture) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(640, 480));
    FillYuvFrame(samples.data(), 640, 480, 128, 128, 128);
    auto picture = YuvPicture::Create(samples.data(), 640, 480);
    const std::size_t size = SnapshotBitmapSize(640, 480);
    EXPECT_EQ(size, 921654u);
    std::vector<std::uint8_t> bmp(size, 0xCD);
    ASSERT_EQ(WriteSnapshotBitmap(picture.get(), bmp.data(), bmp.size()), size);
    const std::uint8_t* h = bmp.data();
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Le32(h + 2), 921654u);
    EXPECT_EQ(Le32(h + 6), 0u);
    EXPECT_EQ(Le32(h + 10), 54u);
    EXPECT_EQ(Le32(h + 14), 40u);
    EXPECT_EQ(Le32(h + 18), 640u);
    EXPECT_EQ(Le32(h + 22), 480u);
    EXPECT_EQ(Le16(h + 26), 1);
    EXPECT_EQ(Le16(h + 28), 24);
    for (int offset = 30; offset < 54; offset += 4) EXPECT_EQ(Le32(h + offset), 0u) << offset;
    EXPECT_EQ(bmp[54], 128);     // blue
    EXPECT_EQ(bmp[55], 129);     // green
    EXPECT_EQ(bmp[56], 128);     // red
    EXPECT_EQ(bmp.back(), 128);  // last red byte: every pixel written
}

TEST(Snapshot, RowsAreBottomUp) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(8, 4));
    FillYuvFrame(samples.data(), 8, 4, 0, 128, 128);
    samples[0] = 255;  // top-left luma
    auto picture = YuvPicture::Create(samples.data(), 8, 4);
    std::vector<std::uint8_t> bmp(SnapshotBitmapSize(8, 4));
    ASSERT_EQ(WriteSnapshotBitmap(picture.get(), bmp.data(), bmp.size()), bmp.size());
    EXPECT_EQ(bmp[54], 0);                // bottom row first
    EXPECT_EQ(bmp[54 + 3 * 8 * 3], 255);  // the top row comes last
}

TEST(Snapshot, TooSmallBufferIsNotWrittenAndTheNeededSizeIsReturned) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(16, 8), 90);
    auto picture = YuvPicture::Create(samples.data(), 16, 8);
    const std::size_t needed = 16 * 8 * 3 + 54;
    std::vector<std::uint8_t> small(needed - 1, 0xAA);
    EXPECT_EQ(WriteSnapshotBitmap(picture.get(), small.data(), small.size()), needed);
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](std::uint8_t b) { return b == 0xAA; }));
    EXPECT_EQ(WriteSnapshotBitmap(picture.get(), nullptr, 0), needed);
    EXPECT_EQ(WriteSnapshotBitmap(nullptr, small.data(), small.size()), 0u);
}

TEST(Snapshot, FileHoldsTheSameBytes) {
    std::vector<std::uint8_t> samples(YuvPicture::FrameBytes(16, 8), 60);
    auto picture = YuvPicture::Create(samples.data(), 16, 8);
    std::vector<std::uint8_t> bmp(SnapshotBitmapSize(16, 8));
    ASSERT_EQ(WriteSnapshotBitmap(picture.get(), bmp.data(), bmp.size()), bmp.size());
    const std::string path = std::string(VISTREL_BINARY_DIR) + "/snapshot-test.bmp";
    ASSERT_TRUE(WriteSnapshotFile(path.c_str(), picture.get()));
    EXPECT_EQ(testsupport::ReadFile(path), bmp);
    std::remove(path.c_str());
    EXPECT_FALSE(WriteSnapshotFile("/nonexistent-dir/x.bmp", picture.get()));
}
