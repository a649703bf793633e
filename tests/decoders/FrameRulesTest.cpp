// ExtractFrame and IsIntraFrame of the live classes, for both codings, on good, short, garbled
// and damaged receive buffers.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "tests/decoders/TestStreams.h"
#include "tools/m4vframe/M4vFrame.h"
#include "video/decoders/CDec263.h"
#include "video/decoders/CDecKvr4.h"
#include "video/frame/FrameHeader.h"

namespace vistrel {
namespace {

using frame::FrameReceiveBuffer;
using testing_streams::Bytes;

std::unique_ptr<FrameReceiveBuffer> bufferWith(const Bytes& bytes) {
    auto b = std::make_unique<FrameReceiveBuffer>();
    if (!bytes.empty()) std::memcpy(b->data, bytes.data(), bytes.size());
    b->held = std::uint32_t(bytes.size());
    return b;
}

Bytes vop(std::uint8_t typeByte, std::size_t length) { return testing_streams::Vop(typeByte, length, 0x5C); }

Bytes mpeg4Frame(const Bytes& payload) { return testing_streams::LiveMpeg4Frame(payload); }

struct Extracted {
    bool found = false;
    const std::uint8_t* frame = nullptr;
    std::size_t length = 0;
    bool header = false;
};

Extracted extract(const IDecoder& d, FrameReceiveBuffer* b) {
    Extracted e;
    e.found = d.ExtractFrame(b, &e.frame, &e.length, &e.header);
    return e;
}

TEST(ExtractFrame, EighteenBytesOrFewerAreNeverAFrame) {
    const CDec263 h263;
    const CDecKvr4 mpeg4;
    // A complete header-less H.263 frame of 18 bytes.
    Bytes small = {18, 0, 0, 0, 0x82, 0x02};
    small.resize(18, 0x11);
    auto b = bufferWith(small);
    EXPECT_FALSE(extract(h263, b.get()).found);
    EXPECT_EQ(b->held, 18u);
    small.push_back(0x11);
    b = bufferWith(small);
    EXPECT_TRUE(extract(h263, b.get()).found);

    // The smallest MPEG-4 frame: a header and a bare start code, 21 bytes. With all but 18 of
    // them behind the read offset it is not looked at.
    const Bytes f = mpeg4Frame(Bytes{0, 0, 1});
    b = bufferWith(f);
    b->readOffset = 3;
    EXPECT_FALSE(extract(mpeg4, b.get()).found);
    b->readOffset = 0;
    const Extracted e = extract(mpeg4, b.get());
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.length, 21u);
}

TEST(ExtractFrame, GarbageBeforeAnH263FrameIsDiscardedExactly) {
    const CDec263 d;
    const auto s = testing_streams::MakeH263Stream(176, 144, 1, false);
    Bytes data(37, 0x99);
    data.insert(data.end(), s.frames[0].begin(), s.frames[0].end());
    data.insert(data.end(), {0x01, 0x02, 0x03});
    auto b = bufferWith(data);
    const Extracted e = extract(d, b.get());
    ASSERT_TRUE(e.found);
    EXPECT_EQ(e.frame, b->data);
    EXPECT_EQ(e.length, s.frames[0].size());
    EXPECT_FALSE(e.header);
    EXPECT_EQ(b->held, s.frames[0].size() + 3);
    EXPECT_EQ(0, std::memcmp(b->data, s.frames[0].data(), e.length));
}

TEST(ExtractFrame, Mpeg4FramesNeedTheirHeader) {
    const CDecKvr4 d;
    Bytes data(5, 0x99);
    const Bytes f = mpeg4Frame(vop(0x10, 40));
    data.insert(data.end(), f.begin(), f.end());
    auto b = bufferWith(data);
    Extracted e = extract(d, b.get());
    ASSERT_TRUE(e.found);
    EXPECT_TRUE(e.header);
    EXPECT_EQ(e.frame, b->data);
    EXPECT_EQ(e.length, 58u);

    // A bare start code empties the buffer.
    Bytes bare(10, 0x99);
    const Bytes v = vop(0x10, 40);
    bare.insert(bare.end(), v.begin(), v.end());
    b = bufferWith(bare);
    EXPECT_FALSE(extract(d, b.get()).found);
    EXPECT_EQ(b->held, 0u);
}

TEST(ExtractFrame, IncompleteFramesWaitAndZeroLengthsEmpty) {
    const CDecKvr4 mpeg4;
    const Bytes f = mpeg4Frame(vop(0x10, 300));
    auto b = bufferWith(Bytes(f.begin(), f.begin() + 200));
    EXPECT_FALSE(extract(mpeg4, b.get()).found);
    EXPECT_EQ(b->held, 200u);
    std::memcpy(b->data + 200, f.data() + 200, f.size() - 200);
    b->held = std::uint32_t(f.size());
    EXPECT_TRUE(extract(mpeg4, b.get()).found);

    // A length word of 0 leaves just the 18 header bytes as the frame.
    Bytes zero = f;
    zero[14] = zero[15] = 0;
    b = bufferWith(zero);
    const Extracted e = extract(mpeg4, b.get());
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.length, 18u);

    const CDec263 h263;
    Bytes h = {0, 0, 0, 0, 0x82, 0x02};  // length word 0
    h.resize(40, 0x11);
    b = bufferWith(h);
    EXPECT_FALSE(extract(h263, b.get()).found);
    EXPECT_EQ(b->held, 0u);
}

TEST(ExtractFrame, ImpossibleCountersAreNotTrusted) {
    const CDecKvr4 d;
    auto b = std::make_unique<FrameReceiveBuffer>();
    b->held = 400000;
    b->readOffset = 5;
    EXPECT_FALSE(extract(d, b.get()).found);
    b->held = 10;
    b->readOffset = 50;
    EXPECT_FALSE(extract(d, b.get()).found);
    EXPECT_FALSE(d.ExtractFrame(nullptr, nullptr, nullptr, nullptr));
}

TEST(IsIntraFrame, H263TestsThePictureByteNotTheHeader) {
    const CDec263 d;
    const auto s = testing_streams::MakeH263Stream(176, 144, 2, true);
    std::size_t offset = 99;
    EXPECT_TRUE(d.IsIntraFrame(s.frames[0].data(), s.frames[0].size(), &offset));
    EXPECT_EQ(offset, 0u);
    EXPECT_FALSE(d.IsIntraFrame(s.frames[1].data(), s.frames[1].size(), &offset));
    // Bytes before the frame move the offset; a cut before the picture type gives no answer.
    Bytes shifted(3, 0x77);
    shifted.insert(shifted.end(), s.frames[0].begin(), s.frames[0].end());
    EXPECT_TRUE(d.IsIntraFrame(shifted.data(), shifted.size(), &offset));
    EXPECT_EQ(offset, 3u);
    EXPECT_FALSE(d.IsIntraFrame(shifted.data(), 3 + 14 + 2 + 4, &offset));
}

TEST(IsIntraFrame, Mpeg4LooksAtThePlaneBehindItsHeaders) {
    const CDecKvr4 d;
    std::size_t offset = 99;
    Bytes intra = mpeg4Frame(vop(0x10, 30));
    EXPECT_TRUE(d.IsIntraFrame(intra.data(), intra.size(), &offset));
    EXPECT_EQ(offset, 0u);
    Bytes predicted = mpeg4Frame(vop(0x50, 30));
    EXPECT_FALSE(d.IsIntraFrame(predicted.data(), predicted.size(), &offset));
    // A group-of-planes header (time code 0xFF..) in front of an intra plane.
    Bytes gov = {0, 0, 1, 0xB3, 0xFF, 0xFF, 0xF0};
    const Bytes plane = vop(0x10, 30);
    gov.insert(gov.end(), plane.begin(), plane.end());
    const Bytes framed = mpeg4Frame(gov);
    EXPECT_TRUE(d.IsIntraFrame(framed.data(), framed.size(), &offset));
    EXPECT_FALSE(d.IsIntraFrame(framed.data(), 18 + 7 + 4, &offset));  // plane's type byte missing
    EXPECT_FALSE(d.IsIntraFrame(framed.data(), 0, &offset));
    EXPECT_FALSE(d.IsIntraFrame(nullptr, 10, &offset));

    // A real stream: its first frame (with all its headers) is intra, the next one is not.
    const std::string file = testing_streams::Mpeg4File(320, 240, 3);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    const auto frames = m4vframe::SplitElementaryStream(es.data(), es.size());
    ASSERT_GE(frames.size(), 2u);
    const Bytes first =
        mpeg4Frame(Bytes(es.begin() + frames[0].offset, es.begin() + frames[0].offset + frames[0].length));
    const Bytes second =
        mpeg4Frame(Bytes(es.begin() + frames[1].offset, es.begin() + frames[1].offset + frames[1].length));
    EXPECT_TRUE(d.IsIntraFrame(first.data(), first.size(), &offset));
    EXPECT_FALSE(d.IsIntraFrame(second.data(), second.size(), &offset));
}

// Truncations and bit flips of a run of MPEG-4 frames: every reported frame lies inside the
// held bytes and the counters stay consistent.
TEST(FrameRulesRobustness, Mpeg4TruncationsAndBitFlips) {
    const CDecKvr4 d;
    m4vframe::WrapOptions opt;
    opt.infoBlockBetween = true;
    Bytes base;
    for (int i = 0; i < 4; ++i) {
        const Bytes v = vop(std::uint8_t(i * 0x30), 50 + 20 * i);
        m4vframe::AppendFramed(base, v.data(), v.size(), opt);
    }
    auto b = std::make_unique<FrameReceiveBuffer>();
    auto run = [&d, &b](const Bytes& data) {
        if (!data.empty()) std::memcpy(b->data, data.data(), data.size());
        b->held = std::uint32_t(data.size());
        b->readOffset = 0;
        for (int guard = 0; guard < 64; ++guard) {
            Extracted e = extract(d, b.get());
            ASSERT_LE(b->readOffset, b->held);
            ASSERT_LE(b->held, data.size());
            if (!e.found) break;
            ASSERT_GE(e.frame, b->data);
            ASSERT_LE(std::size_t(e.frame - b->data) + e.length, b->held);
            const std::size_t rest = b->held - (std::size_t(e.frame - b->data) + e.length);
            std::memmove(b->data, e.frame + e.length, rest);
            b->held = std::uint32_t(rest);
            b->readOffset = 0;
        }
        std::size_t offset = 0;
        d.IsIntraFrame(data.data(), data.size(), &offset);
        if (!data.empty()) {
            EXPECT_LT(offset, data.size());
        }
    };
    for (std::size_t cut = 0; cut <= base.size(); ++cut) run(Bytes(base.begin(), base.begin() + cut));
    std::mt19937 rng(61);
    for (int round = 0; round < 2000; ++round) {
        Bytes damaged = base;
        for (int f = 0; f < 3; ++f) damaged[rng() % damaged.size()] ^= std::uint8_t(1u << (rng() % 8));
        run(damaged);
    }
}

}  // namespace
}  // namespace vistrel
