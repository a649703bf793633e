#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/h263/TestSupport.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Framing.h"

using namespace vistrel;
using namespace vistrel::h263;
using namespace vistrel::h263test;

namespace {

void load(frame::FrameReceiveBuffer& b, const std::vector<std::uint8_t>& bytes) {
    std::memcpy(b.data, bytes.data(), bytes.size());
    b.held = std::uint32_t(bytes.size());
    b.readOffset = 0;
}

}  // namespace

TEST(H263Framing, ExtractFrameDiscardsGarbageAndReturnsTheFrameAtOffsetZero) {
    const EncodedStream stream = encodeSynthetic(176, 144, 1, 8, 1);
    auto b = std::make_unique<frame::FrameReceiveBuffer>();
    for (bool header : {false, true}) {
        std::vector<std::uint8_t> bytes = {0x47, 0x11, 0x99, 0x01, 0x02, 0x03, 0x04};
        const auto f = liveFrame(stream.pictures[0], header);
        bytes.insert(bytes.end(), f.begin(), f.end());
        load(*b, bytes);
        const std::uint8_t* frame = nullptr;
        std::size_t length = 0;
        bool hasHeader = !header;
        ASSERT_TRUE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
        EXPECT_EQ(frame, b->data);
        EXPECT_EQ(length, f.size());
        EXPECT_EQ(hasHeader, header);
        EXPECT_EQ(b->held, f.size());
        EXPECT_EQ(std::memcmp(b->data, f.data(), f.size()), 0);
    }
}

TEST(H263Framing, ExtractFrameWaitsForMoreAndEmptiesOnLengthZero) {
    auto b = std::make_unique<frame::FrameReceiveBuffer>();
    const EncodedStream stream = encodeSynthetic(176, 144, 1, 8, 1);
    const auto f = liveFrame(stream.pictures[0], false);
    const std::uint8_t* frame = nullptr;
    std::size_t length = 0;
    bool hasHeader = false;

    load(*b, std::vector<std::uint8_t>(f.begin(), f.begin() + 18));  // 18 bytes: never a frame
    EXPECT_FALSE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
    load(*b, std::vector<std::uint8_t>(f.begin(), f.end() - 1));  // incomplete: kept
    EXPECT_FALSE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
    EXPECT_EQ(b->held, f.size() - 1);

    std::vector<std::uint8_t> empty = {0x00, 0x00, 0x00, 0x00, 0x80};
    empty.resize(40, 0x33);
    load(*b, empty);
    EXPECT_FALSE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
    EXPECT_EQ(b->held, 0u);
    EXPECT_EQ(b->readOffset, 0u);

    // Hostile counters never lead outside the buffer.
    b->held = 0xFFFFFFFFu;
    b->readOffset = 0xFFFFFFF0u;
    EXPECT_FALSE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
}

TEST(H263Framing, ExtractFrameSkipsLengthsNoDecoderCouldTake) {
    auto b = std::make_unique<frame::FrameReceiveBuffer>();
    const EncodedStream stream = encodeSynthetic(176, 144, 1, 8, 1);
    const auto& p = stream.pictures[0];
    std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03};
    h263enc::AppendLiveFrame(&bytes, p.data(), p.size(), true, 0x0A0B0C0Du);
    bytes[3 + 1] = 0x40;  // header length high byte: 1 GiB
    load(*b, bytes);
    const std::uint8_t* frame = nullptr;
    std::size_t length = 0;
    bool hasHeader = true;
    ASSERT_TRUE(H263ExtractFrame(b.get(), &frame, &length, &hasHeader));
    EXPECT_FALSE(hasHeader);  // found again by the picture's own length word
    EXPECT_EQ(length, p.size() + 2);
    EXPECT_EQ(std::memcmp(frame + 2, p.data(), p.size()), 0);
}

TEST(H263Framing, IsIntraFrameTestsThePictureTypeInsideThePicture) {
    const EncodedStream stream = encodeSynthetic(176, 144, 2, 8, 2);  // I P
    for (bool header : {false, true}) {
        std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03};
        const auto intra = liveFrame(stream.pictures[0], header);
        const auto predicted = liveFrame(stream.pictures[1], header);
        std::vector<std::uint8_t> a = bytes;
        a.insert(a.end(), intra.begin(), intra.end());
        std::size_t offset = 99;
        EXPECT_TRUE(H263IsIntraFrame(a.data(), a.size(), &offset));
        EXPECT_EQ(offset, 3u);
        std::vector<std::uint8_t> p = bytes;
        p.insert(p.end(), predicted.begin(), predicted.end());
        EXPECT_FALSE(H263IsIntraFrame(p.data(), p.size(), &offset));
        EXPECT_EQ(offset, 3u);
        // Fewer than 7 bytes from the length word: no answer.
        EXPECT_FALSE(H263IsIntraFrame(a.data(), 3 + (header ? 14 : 0) + 6, &offset));
    }
}
