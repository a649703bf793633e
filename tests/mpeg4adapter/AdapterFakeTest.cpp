// The adapter's framing, priming, size changes and recovery, against a scripted library.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/MemoryWindow.h"
#include "tests/decoders/TestStreams.h"
#include "tests/mpeg4adapter/FakeLibrary.h"
#include "tools/m4vframe/M4vFrame.h"
#include "video/mpeg4/Mpeg4Adapter.h"
#include "video/mpeg4/PrimingHeaders.h"
#include "video/picture/ColourTables.h"

namespace vistrel::mpeg4 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::FakeLibrary;

// The fake library reads the byte after the start code as the plane's value.
Bytes plane(std::uint8_t value, std::size_t length = 60) { return testing_streams::Vop(value, length, 0x44); }

Bytes framed(const Bytes& payload, m4vframe::WrapOptions opt = {}) {
    return testing_streams::LiveMpeg4Frame(payload, opt);
}

class AdapterFake : public ::testing::Test {
protected:
    void SetUp() override {
        InitColourTables(nullptr);
        adapter = Mpeg4Adapter::Create(test::FakeFactory(&fake));
        ASSERT_TRUE(adapter);
        ASSERT_TRUE(adapter->Attach(nullptr));
    }
    int feed(const Bytes& b, int count = -1) { return adapter->Feed(b.data(), b.size(), count); }
    std::uint8_t lumaAt(int x, int y) const { return adapter->outputPicture()->luma().rows[y][x]; }

    FakeLibrary* fake = nullptr;
    std::unique_ptr<Mpeg4Adapter> adapter;
};

TEST_F(AdapterFake, CreationPrimesFor320x240) {
    EXPECT_EQ(adapter->width(), 320);
    EXPECT_EQ(adapter->height(), 240);
    ASSERT_EQ(fake->fed.size(), 1u);
    EXPECT_EQ(fake->fed[0], Bytes(kPrimingHeader320, kPrimingHeader320 + kPrimingHeaderSize));
    EXPECT_EQ(lumaAt(10, 10), 0);
}

TEST_F(AdapterFake, FramesAreCutAndPicturesCopiedRowByRow) {
    const Bytes a = framed(plane(11)), b = framed(plane(22));
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(feed(both), 2);
    ASSERT_EQ(fake->planes().size(), 2u);
    EXPECT_EQ(fake->planes()[1], plane(22));
    EXPECT_EQ(lumaAt(319, 239), 22);  // the fake's line padding never reaches the picture
    EXPECT_EQ(adapter->outputPicture()->cb().rows[119][159], 100);
    EXPECT_EQ(adapter->outputPicture()->cr().rows[0][0], 150);
    EXPECT_EQ(adapter->heldBytes(), 0u);
}

TEST_F(AdapterFake, FrameSplitAtEveryByteDecodesOnce) {
    Bytes stream = framed(plane(1));
    const Bytes second = framed(plane(2, 200));
    stream.insert(stream.end(), second.begin(), second.end());
    adapter->SetSuppressDisplay(true);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        const std::size_t before = fake->fed.size();
        const int n =
            adapter->Feed(stream.data(), cut, -1) + adapter->Feed(stream.data() + cut, stream.size() - cut, -1);
        ASSERT_EQ(n, 2) << "cut at " << cut;
        ASSERT_EQ(fake->fed.size(), before + 2);
        EXPECT_EQ(fake->fed.back(), plane(2, 200));
        EXPECT_EQ(adapter->heldBytes(), 0u);
    }
}

TEST_F(AdapterFake, CountLimitsTheFramesDecodedAndKeepsTheRest) {
    Bytes stream = framed(plane(1));
    const Bytes second = framed(plane(2));
    stream.insert(stream.end(), second.begin(), second.end());
    EXPECT_EQ(feed(stream, 1), 1);
    EXPECT_EQ(adapter->heldBytes(), second.size());
    EXPECT_EQ(adapter->Feed(nullptr, 0, -1), 1);
    EXPECT_EQ(adapter->Feed(nullptr, 0, 0), 0);
}

TEST_F(AdapterFake, HeaderlessFramesDecode) {
    m4vframe::WrapOptions opt;
    opt.headerless = true;
    EXPECT_EQ(feed(framed(plane(9), opt)), 1);
    EXPECT_EQ(lumaAt(0, 0), 9);
}

TEST_F(AdapterFake, SizeHint640SwitchesAndPrimesThe640Header) {
    fake->pictureWidth = 640;
    m4vframe::WrapOptions opt;
    opt.sizeHint = m4vframe::SizeHint::W640;
    EXPECT_EQ(feed(framed(plane(33), opt)), 1);
    EXPECT_EQ(adapter->width(), 640);
    EXPECT_EQ(adapter->height(), 240);
    EXPECT_EQ(adapter->sizeCode(), 8);
    ASSERT_GE(fake->fed.size(), 3u);
    EXPECT_EQ(fake->fed[1], Bytes(kPrimingHeader640, kPrimingHeader640 + kPrimingHeaderSize));
    EXPECT_EQ(lumaAt(639, 239), 33);
    // The same hint again changes nothing and primes nothing.
    const std::size_t calls = fake->fed.size();
    feed(framed(plane(34), opt));
    EXPECT_EQ(fake->fed.size(), calls + 1);
}

TEST_F(AdapterFake, SizeHint352SwitchesWithoutPriming) {
    fake->pictureWidth = 352;
    m4vframe::WrapOptions opt;
    opt.sizeHint = m4vframe::SizeHint::W352;
    feed(framed(plane(5), opt));
    EXPECT_EQ(adapter->sizeCode(), 9);
    EXPECT_EQ(fake->fed.size(), 2u);  // the priming at creation, then the plane
    EXPECT_EQ(lumaAt(351, 239), 5);
}

TEST_F(AdapterFake, LibraryPictureOf640x480ChangesTheSizeBeforeTheCopy) {
    m4vframe::WrapOptions opt;
    opt.sizeHint = m4vframe::SizeHint::W640;
    fake->pictureWidth = 640;
    feed(framed(plane(1), opt));
    ASSERT_EQ(adapter->height(), 240);
    fake->pictureHeight = 480;
    feed(framed(plane(77), opt));
    EXPECT_EQ(adapter->sizeCode(), 7);
    EXPECT_EQ(lumaAt(639, 479), 77);
    std::vector<std::uint8_t> bmp(640 * 480 * 3 + 54);
    EXPECT_EQ(adapter->Snapshot(bmp.data(), bmp.size()), 921654u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
}

TEST_F(AdapterFake, PicturesOfSizesOutsideTheTableAreDropped) {
    feed(framed(plane(40)));
    ASSERT_EQ(lumaAt(5, 5), 40);
    for (auto [w, h] : {std::pair{320, 480}, {336, 240}, {100, 80}, {720, 240}}) {
        fake->pictureWidth = w;
        fake->pictureHeight = h;
        feed(framed(plane(41)));
        EXPECT_EQ(adapter->width(), 320) << w << "x" << h;
        EXPECT_EQ(adapter->height(), 240) << w << "x" << h;
        EXPECT_EQ(lumaAt(5, 5), 40) << w << "x" << h;
    }
    EXPECT_EQ(adapter->counters().droppedPictures, 4);
}

TEST_F(AdapterFake, InformationBlockInsideAFrameIsRemoved) {
    m4vframe::WrapOptions opt;
    opt.infoBlockInside = true;
    opt.infoBlockBetween = true;
    EXPECT_EQ(feed(framed(plane(66, 300), opt)), 1);
    ASSERT_EQ(fake->planes().size(), 1u);
    EXPECT_EQ(fake->planes()[0], plane(66, 300));
}

TEST_F(AdapterFake, InformationBlockRunningPastTheDataEndsIt) {
    Bytes data = framed(plane(3));
    Bytes block;
    m4vframe::AppendInfoBlock(block, 5000);
    data.insert(data.end(), block.begin(), block.begin() + 100);
    EXPECT_EQ(feed(data), 1);
    EXPECT_EQ(adapter->heldBytes(), 0u);
}

TEST_F(AdapterFake, FrameLengthOver131072ResetsAndTheNextFrameDecodes) {
    Bytes bad = framed(plane(1));
    m4vframe::WriteMpeg4FrameHeader(bad.data(), 131073, m4vframe::SizeHint::None);
    EXPECT_EQ(feed(bad), 0);
    EXPECT_EQ(adapter->heldBytes(), 0u);
    EXPECT_EQ(adapter->counters().resets, 1);
    EXPECT_EQ(feed(framed(plane(2))), 1);
    EXPECT_EQ(lumaAt(0, 0), 2);
}

TEST_F(AdapterFake, LibraryExceptionResetsAndDecodingGoesOn) {
    Bytes stream = framed(plane(test::kFailByte));
    const Bytes lost = framed(plane(4));
    stream.insert(stream.end(), lost.begin(), lost.end());
    adapter->SetSuppressDisplay(true);
    EXPECT_EQ(feed(stream), 0);
    EXPECT_EQ(adapter->counters().libraryErrors, 1);
    EXPECT_EQ(adapter->heldBytes(), 0u);
    EXPECT_TRUE(adapter->suppressDisplay());
    EXPECT_EQ(feed(framed(plane(5))), 1);
    EXPECT_EQ(lumaAt(0, 0), 5);
}

TEST_F(AdapterFake, GarbageWithoutStartCodeIsDroppedButASplitHeaderSurvives) {
    Bytes garbage(5000, 0x42);
    EXPECT_EQ(feed(garbage), 0);
    EXPECT_LE(adapter->heldBytes(), 20u);
    const Bytes frame = framed(plane(8));
    // The header and one zero of the start code arrive first.
    Bytes head(frame.begin(), frame.begin() + 19);
    Bytes rest(frame.begin() + 19, frame.end());
    EXPECT_EQ(feed(head), 0);
    EXPECT_EQ(feed(rest), 1);
    EXPECT_EQ(lumaAt(0, 0), 8);
}

TEST_F(AdapterFake, ResetDropsGatheredBytesAndClearsSuppress) {
    const Bytes frame = framed(plane(8));
    adapter->SetSuppressDisplay(true);
    feed(Bytes(frame.begin(), frame.begin() + 40));
    EXPECT_GT(adapter->heldBytes(), 0u);
    adapter->Reset();
    EXPECT_EQ(adapter->heldBytes(), 0u);
    EXPECT_FALSE(adapter->suppressDisplay());
}

TEST_F(AdapterFake, InputLargerThanTheGatheringBufferDecodesEveryFrame) {
    Bytes stream;
    for (int i = 0; i < 12; ++i) {
        const Bytes f = framed(plane(std::uint8_t(i + 1), 100000));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    ASSERT_GT(stream.size(), Mpeg4Adapter::kAccumulationSize);
    EXPECT_EQ(feed(stream), 12);
    EXPECT_EQ(lumaAt(0, 0), 12);
}

// Hostile framing: truncations and bit flips of a realistic run never make the adapter read or
// write out of bounds (the sanitizers watch), and it still decodes a clean frame afterwards.
TEST_F(AdapterFake, TruncationsAndBitFlipsNeverBreakIt) {
    m4vframe::WrapOptions opt;
    opt.infoBlockInside = true;
    opt.infoBlockBetween = true;
    Bytes base;
    for (int i = 0; i < 3; ++i) {
        m4vframe::WrapOptions o = opt;
        o.sizeHint = m4vframe::SizeHint(i);
        const Bytes f = framed(plane(std::uint8_t(i + 1), 80), o);
        base.insert(base.end(), f.begin(), f.end());
    }
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    adapter->SetSuppressDisplay(true);
    for (int round = 0; round < 400; ++round) {
        Bytes d = base;
        d.resize(next() % (d.size() + 1));
        for (int k = 0; k < 3 && !d.empty(); ++k) d[next() % d.size()] ^= std::uint8_t(1u << (next() % 8));
        adapter->Feed(d.data(), d.size(), -1);
    }
    adapter->Reset();
    fake->pictureWidth = adapter->width();
    fake->pictureHeight = adapter->height();
    EXPECT_EQ(feed(framed(plane(99))), 1);
    EXPECT_EQ(lumaAt(0, 0), 99);
}

void countDraw(WindowHandle, std::uintptr_t word) { ++*reinterpret_cast<int*>(word); }

TEST(AdapterWindow, SizeChangeRecreatesTheSurfaceAndKeepsCallbackAndFullScreen) {
    InitColourTables(nullptr);
    platform::MemoryWindow window;
    FakeLibrary* fake = nullptr;
    auto adapter = Mpeg4Adapter::Create(test::FakeFactory(&fake));
    ASSERT_TRUE(adapter);
    ASSERT_TRUE(adapter->Attach(&window));
    EXPECT_FALSE(adapter->Attach(&window));  // one surface at a time
    int draws = 0;
    adapter->SetDrawCallback(&countDraw, reinterpret_cast<std::uintptr_t>(&draws));
    adapter->SetFullScreen(1);
    const DisplaySurface* before = adapter->surface();
    ASSERT_NE(before, nullptr);

    fake->pictureWidth = 640;
    m4vframe::WrapOptions opt;
    opt.sizeHint = m4vframe::SizeHint::W640;
    Bytes data = framed(plane(200), opt);
    EXPECT_EQ(adapter->Feed(data.data(), data.size(), -1), 1);
    EXPECT_EQ(adapter->width(), 640);
    ASSERT_NE(adapter->surface(), nullptr);
    EXPECT_EQ(GetSurfaceFullScreen(adapter->surface()), 1);
    EXPECT_GE(draws, 1);
    EXPECT_EQ(adapter->screenPicture()->width(), 640);
    EXPECT_EQ(adapter->screenPicture()->bitsPerPixel(), 16);

    const int drawn = draws;
    adapter->Redraw();
    EXPECT_EQ(draws, drawn + 1);
    adapter->SetSuppressDisplay(true);
    adapter->Feed(data.data(), data.size(), -1);
    EXPECT_EQ(draws, drawn + 1);
}

}  // namespace
}  // namespace vistrel::mpeg4
