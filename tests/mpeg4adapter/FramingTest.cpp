// Information block removal and frame finding on well-formed, truncated and damaged input.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Command.h"
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

namespace vistrel::m4vframe {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes code(std::uint8_t value, std::size_t body, std::uint8_t fill = 0x2A) {
    Bytes b = {0, 0, 1, value};
    b.insert(b.end(), body, fill);
    return b;
}

TEST(SplitElementaryStream, HeadersGoWithTheirPlaneAndTheEndCodeWithTheLast) {
    Bytes es = {0x12, 0x34};  // noise before the first start code
    for (const Bytes& part : {code(0xB0, 1), code(0x00, 0), code(0x20, 10), code(0xB6, 30, 0x11),
                              code(0xB6, 20, 0x51), code(0xB3, 3), code(0xB6, 25, 0x12), code(0xB1, 0)})
        es.insert(es.end(), part.begin(), part.end());
    const auto frames = SplitElementaryStream(es.data(), es.size());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].offset, 2u);
    EXPECT_TRUE(frames[0].hasVol);
    EXPECT_TRUE(frames[0].intra);
    EXPECT_EQ(frames[0].vopOffset, 2u + 5 + 4 + 14);
    EXPECT_FALSE(frames[1].intra);
    EXPECT_FALSE(frames[1].hasVol);
    EXPECT_EQ(frames[2].offset + frames[2].length, es.size());
    EXPECT_EQ(frames[2].vopOffset, frames[2].offset + 7);
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].offset, frames[i - 1].offset + frames[i - 1].length);
}

TEST(SplitElementaryStream, TruncationsAndBitFlipsStayInside) {
    Bytes es;
    for (int i = 0; i < 5; ++i) {
        const Bytes h = code(0x20, 6);
        if (i % 2 == 0) es.insert(es.end(), h.begin(), h.end());
        const Bytes v = code(0xB6, 20 + i, std::uint8_t(0x10 * i + 1));
        es.insert(es.end(), v.begin(), v.end());
    }
    auto check = [](const Bytes& data) {
        std::size_t end = 0;
        for (const ElementaryFrame& f : SplitElementaryStream(data.data(), data.size())) {
            ASSERT_GE(f.offset, end);
            ASSERT_LE(f.offset + f.length, data.size());
            ASSERT_GE(f.vopOffset, f.offset);
            ASSERT_LT(f.vopOffset, f.offset + f.length);
            end = f.offset + f.length;
        }
        const Bytes wrapped = WrapStream(data.data(), data.size(), WrapOptions{});
        (void)wrapped;
    };
    for (std::size_t cut = 0; cut <= es.size(); ++cut) check(Bytes(es.begin(), es.begin() + cut));
    std::mt19937 rng(3);
    for (int round = 0; round < 2000; ++round) {
        Bytes d = es;
        for (int k = 0; k < 3; ++k) d[rng() % d.size()] ^= std::uint8_t(1u << (rng() % 8));
        check(d);
    }
    EXPECT_TRUE(SplitElementaryStream(nullptr, 10).empty());
}

TEST(M4vFrameProgram, BadArgumentsAreRefusedWithOneLine) {
    const std::string tool = std::string(VISTREL_BIN_DIR) + "/vistrel-m4vframe";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "vistrel-m4vframe is not built";
    auto status = [&tool](const std::string& args) { return testsupport::RunQuietly("'" + tool + "' " + args); };
    EXPECT_EQ(status("--size-hint 123 a b"), 2);
    EXPECT_EQ(status("--frames -3 a b"), 2);
    EXPECT_EQ(status("--bogus a b"), 2);
    EXPECT_EQ(status("only-one"), 2);
    EXPECT_EQ(status("/nonexistent/in.m4v /tmp/out"), 1);
    EXPECT_EQ(status("--help"), 0);
}

}  // namespace
}  // namespace vistrel::m4vframe
