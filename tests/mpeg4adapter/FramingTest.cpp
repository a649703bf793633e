// Information block removal and frame finding on well-formed, truncated and damaged input.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tools/m4vframe/M4vFrame.h"
#include "video/mpeg4/Mpeg4Framing.h"

namespace vistrel::mpeg4 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fakeVop(std::size_t length, std::uint8_t fill = 0x33) {
    Bytes v(length, fill);
    v[0] = 0;
    v[1] = 0;
    v[2] = 1;
    v[3] = 0xB6;
    return v;
}

Bytes infoBlock(std::size_t body) {
    Bytes b;
    m4vframe::AppendInfoBlock(b, body);
    return b;
}

TEST(InfoBlocks, RemovedBetweenAndInsideData) {
    const Bytes vop = fakeVop(100);
    m4vframe::WrapOptions opt;
    opt.infoBlockBetween = true;
    opt.infoBlockInside = true;
    Bytes framed;
    m4vframe::AppendFramed(framed, vop.data(), vop.size(), opt);
    m4vframe::AppendFramed(framed, vop.data(), vop.size(), opt);

    m4vframe::WrapOptions plainOpt;
    Bytes plain;
    m4vframe::AppendFramed(plain, vop.data(), vop.size(), plainOpt);
    m4vframe::AppendFramed(plain, vop.data(), vop.size(), plainOpt);

    const std::size_t n = RemoveInfoBlocks(framed.data(), framed.size());
    ASSERT_EQ(n, plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), framed.begin()));
}

TEST(InfoBlocks, BackToBackBlocksAndBlockFormedAcrossARemoval) {
    Bytes data = infoBlock(4);
    Bytes second = infoBlock(0);
    data.insert(data.end(), second.begin(), second.end());
    data.push_back(0x42);
    EXPECT_EQ(RemoveInfoBlocks(data.data(), data.size()), 1u);
    EXPECT_EQ(data[0], 0x42);
}

TEST(InfoBlocks, BlockRunningPastTheDataEndsTheData) {
    Bytes data(10, 0x21);
    Bytes block = infoBlock(100);
    data.insert(data.end(), block.begin(), block.begin() + 40);  // cut short
    EXPECT_EQ(RemoveInfoBlocks(data.data(), data.size()), 10u);

    // A declared length of zero still removes the 14 head bytes, so scanning ends.
    Bytes zero = infoBlock(0);
    zero[14] = zero[15] = 0;
    zero.insert(zero.end(), 20, 0x21);
    EXPECT_EQ(RemoveInfoBlocks(zero.data(), zero.size()), zero.size() - 14);
}

TEST(FindFrame, HeaderFrameWithHintAndGarbageInFront) {
    const Bytes vop = fakeVop(64);
    Bytes data(7, 0xEE);
    m4vframe::WrapOptions opt;
    opt.sizeHint = m4vframe::SizeHint::W640;
    m4vframe::AppendFramed(data, vop.data(), vop.size(), opt);
    FrameSpan span;
    ASSERT_EQ(FindFrame(data.data(), data.size(), &span), FrameSearch::Found);
    EXPECT_EQ(span.start, 7u);
    EXPECT_TRUE(span.hasHeader);
    EXPECT_EQ(span.sizeHint, 1);
    EXPECT_EQ(span.total, 64u + 18);
    EXPECT_EQ(span.payloadOffset, 18u);
    EXPECT_EQ(span.payloadLength, 64u);
}

TEST(FindFrame, HeaderlessFrameAndStartCodeWithoutRoomForALength) {
    const Bytes vop = fakeVop(30);
    m4vframe::WrapOptions opt;
    opt.headerless = true;
    Bytes data = {0x00, 0x00, 0x01, 0xB6, 0x99};  // too close to the start for a length
    m4vframe::AppendFramed(data, vop.data(), vop.size(), opt);
    FrameSpan span;
    ASSERT_EQ(FindFrame(data.data(), data.size(), &span), FrameSearch::Found);
    EXPECT_FALSE(span.hasHeader);
    EXPECT_EQ(span.start, 5u);
    EXPECT_EQ(span.total, 34u);
    EXPECT_EQ(span.payloadLength, 30u);
}

TEST(FindFrame, LengthsOutsideTheLimitAreBad) {
    Bytes frame(18 + 4, 0);
    m4vframe::WriteMpeg4FrameHeader(frame.data(), kMaxFramePayload + 1, m4vframe::SizeHint::None);
    frame[18 + 2] = 1;
    FrameSpan span;
    EXPECT_EQ(FindFrame(frame.data(), frame.size(), &span), FrameSearch::BadLength);
    m4vframe::WriteMpeg4FrameHeader(frame.data(), 0, m4vframe::SizeHint::None);
    EXPECT_EQ(FindFrame(frame.data(), frame.size(), &span), FrameSearch::BadLength);
    m4vframe::WriteMpeg4FrameHeader(frame.data(), kMaxFramePayload, m4vframe::SizeHint::None);
    EXPECT_EQ(FindFrame(frame.data(), frame.size(), &span), FrameSearch::Found);
    Bytes none(50, 0x77);
    EXPECT_EQ(FindFrame(none.data(), none.size(), &span), FrameSearch::NoStartCode);
    EXPECT_EQ(FindFrame(none.data(), 0, &span), FrameSearch::NoStartCode);
}

TEST(FindFrame, DisagreeingLengthFieldsNeverFeedBeyondTheFrame) {
    const Bytes vop = fakeVop(40);
    Bytes data;
    m4vframe::AppendFramed(data, vop.data(), vop.size(), m4vframe::WrapOptions{});
    data[17] = 0x7F;  // the 32-bit payload length now claims far more than the frame
    FrameSpan span;
    ASSERT_EQ(FindFrame(data.data(), data.size(), &span), FrameSearch::Found);
    EXPECT_LE(span.payloadOffset + span.payloadLength, span.total);
}

// Every truncation and many random bit flips of a realistic framed run: the parsers stay
// inside the data and report spans that lie inside what they were given.
TEST(FramingRobustness, TruncationsAndBitFlips) {
    m4vframe::WrapOptions opt;
    opt.infoBlockBetween = true;
    opt.infoBlockInside = true;
    opt.sizeHint = m4vframe::SizeHint::W320;
    Bytes base;
    for (int i = 0; i < 4; ++i) {
        const Bytes vop = fakeVop(40 + 13 * i, std::uint8_t(0x30 + i));
        m4vframe::AppendFramed(base, vop.data(), vop.size(), opt);
    }
    auto check = [](Bytes data) {
        const std::size_t n = RemoveInfoBlocks(data.data(), data.size());
        ASSERT_LE(n, data.size());
        FrameSpan span;
        if (FindFrame(data.data(), n, &span) == FrameSearch::Found) {
            EXPECT_LT(span.start, n);
            EXPECT_LE(span.payloadOffset + span.payloadLength, span.total);
            EXPECT_LE(span.total, kMaxFramePayload + kFrameHeaderSize);
        }
    };
    for (std::size_t cut = 0; cut <= base.size(); ++cut) check(Bytes(base.begin(), base.begin() + cut));
    std::mt19937 rng(6);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = base;
        const int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) damaged[rng() % damaged.size()] ^= std::uint8_t(1u << (rng() % 8));
        check(damaged);
    }
}

}  // namespace
}  // namespace vistrel::mpeg4
