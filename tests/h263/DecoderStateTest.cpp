#include <gtest/gtest.h>

#include <vector>

#include "platform/MemoryWindow.h"
#include "tests/h263/TestSupport.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Decoder.h"
#include "video/picture/Snapshot.h"

using namespace vistrel;
using namespace vistrel::h263;
using namespace vistrel::h263test;

namespace {

std::unique_ptr<H263Decoder> offScreenDecoder() {
    auto d = H263Decoder::Create();
    EXPECT_TRUE(d);
    EXPECT_TRUE(d->Attach(nullptr));
    d->Reset();
    d->SetAllowPredicted(true);
    return d;
}

std::vector<std::uint8_t> latestPicture(const H263Decoder& d) {
    const YuvPicture* p = d.CurrentPicture();
    if (!p) return {};
    const std::size_t n = YuvPicture::FrameBytes(p->width(), p->height());
    return std::vector<std::uint8_t>(p->luma().rows[0], p->luma().rows[0] + n);
}

bool isBlack(const H263Decoder& d) {
    const auto pic = latestPicture(d);
    int w = 0, h = 0;
    d.GetPictureSize(&w, &h);
    const std::size_t luma = std::size_t(w) * std::size_t(h);
    for (std::size_t i = 0; i < pic.size(); ++i)
        if (pic[i] != (i < luma ? 0 : 127)) return false;
    return !pic.empty();
}

}  // namespace

TEST(H263DecoderState, StartsAt320x240AndResetsToBlack) {
    auto d = H263Decoder::Create();
    ASSERT_TRUE(d);
    int w = 0, h = 0;
    d->GetPictureSize(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_TRUE(d->allowPredicted());
    EXPECT_TRUE(d->hasReference());
    ASSERT_TRUE(d->Attach(nullptr));
    EXPECT_TRUE(d->offScreen());
    d->Reset();
    EXPECT_FALSE(d->allowPredicted());
    EXPECT_FALSE(d->hasReference());
    EXPECT_TRUE(isBlack(*d));
    std::vector<std::uint8_t> bmp(SnapshotBitmapSize(320, 240));
    EXPECT_EQ(d->Snapshot(bmp.data(), bmp.size()), 320u * 240u * 3u + 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(d->Snapshot(bmp.data(), 100), bmp.size());  // too small: size needed, nothing written
}

// Our encoder's reconstruction is what a decoder must produce, at every size the decoder knows,
// with size changes between streams and frames with and without the 14-byte header.
TEST(H263DecoderState, DecodesEverySizeExactlyToTheEncodersReconstruction) {
    auto d = offScreenDecoder();
    const int sizes[][2] = {{176, 144}, {320, 240}, {640, 240}, {352, 288}, {640, 480}};
    bool header = false;
    for (const auto& s : sizes) {
        const int frames = s[0] * s[1] > 200000 ? 4 : 8;
        const EncodedStream stream = encodeSynthetic(s[0], s[1], frames, 5, 5);
        for (int i = 0; i < frames; ++i) {
            const auto frame = liveFrame(stream.pictures[std::size_t(i)], header);
            header = !header;
            const std::uint64_t before = d->picturesDecoded();
            ASSERT_EQ(d->Feed(frame.data(), frame.size(), -1), 1) << s[0] << "x" << s[1] << " picture " << i;
            ASSERT_EQ(d->picturesDecoded(), before + 1);
            ASSERT_TRUE(latestPicture(*d) == stream.reconstructions[std::size_t(i)])
                << s[0] << "x" << s[1] << " picture " << i;
        }
        int w = 0, h = 0;
        d->GetPictureSize(&w, &h);
        EXPECT_EQ(w, s[0]);
        EXPECT_EQ(h, s[1]);
        std::vector<std::uint8_t> bmp(SnapshotBitmapSize(w, h));
        EXPECT_EQ(d->Snapshot(bmp.data(), bmp.size()), bmp.size());
    }
}

TEST(H263DecoderState, PredictedPicturesBeforeTheFirstIntraAreDropped) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 6, 6, 3);  // I P P I P P
    for (int i : {1, 2}) {
        const auto f = liveFrame(stream.pictures[std::size_t(i)], false);
        EXPECT_EQ(d->Feed(f.data(), f.size(), -1), 1);  // handled, not decoded
    }
    EXPECT_EQ(d->picturesDecoded(), 0u);
    EXPECT_TRUE(isBlack(*d));
    EXPECT_FALSE(d->hasReference());
    for (int i : {3, 4}) {
        const auto f = liveFrame(stream.pictures[std::size_t(i)], false);
        d->Feed(f.data(), f.size(), -1);
    }
    EXPECT_EQ(d->picturesDecoded(), 2u);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[4]);
}

TEST(H263DecoderState, OneDroppedPredictedPictureDropsTheRestUntilIntra) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 8, 6, 4);  // I P P P I P P P
    auto feed = [&](int i) {
        const auto f = liveFrame(stream.pictures[std::size_t(i)], false);
        d->Feed(f.data(), f.size(), -1);
    };
    feed(0);
    d->SetAllowPredicted(false);  // Decode with show = 0
    d->SetSuppressDisplay(true);
    feed(1);
    d->SetAllowPredicted(true);  // show = 1 again: still no reference
    d->SetSuppressDisplay(false);
    feed(2);
    feed(3);
    EXPECT_EQ(d->picturesDecoded(), 1u);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[0]);
    feed(4);
    feed(5);
    EXPECT_EQ(d->picturesDecoded(), 3u);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[5]);
}

TEST(H263DecoderState, OverflowDropsTheDataAndAdmitsOnlyIntraUntilReset) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 4, 6, 2);  // I P I P
    const auto f0 = liveFrame(stream.pictures[0], false);
    d->Feed(f0.data(), f0.size(), -1);
    std::vector<std::uint8_t> junk(H263Decoder::kInputCapacity - 10, 0x55);
    std::vector<std::uint8_t> junkHead(junk.begin(), junk.begin() + 11);
    // Held bytes first: a frame in progress that never completes.
    const auto f1 = liveFrame(stream.pictures[1], false);
    d->Feed(f1.data(), f1.size() - 1, -1);
    EXPECT_GT(d->bytesHeld(), 0u);
    EXPECT_EQ(d->Feed(junk.data(), junk.size(), -1), 0);
    EXPECT_TRUE(d->overflowed());
    EXPECT_EQ(d->bytesHeld(), 0u);
    EXPECT_TRUE(isBlack(*d));
    d->SetAllowPredicted(true);
    const auto f2 = liveFrame(stream.pictures[2], false);
    const auto f3 = liveFrame(stream.pictures[3], false);
    d->Feed(f2.data(), f2.size(), -1);
    d->Feed(f3.data(), f3.size(), -1);
    EXPECT_EQ(d->picturesDecoded(), 2u);  // the intra one only
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[2]);
    d->Reset();
    EXPECT_FALSE(d->overflowed());
    d->SetAllowPredicted(true);
    d->Feed(f2.data(), f2.size(), -1);
    d->Feed(f3.data(), f3.size(), -1);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[3]);
}

TEST(H263DecoderState, FrameLoopSkipsEmptyFramesAndJunkAndCountsOneAtATime) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 3, 6, 3);
    std::vector<std::uint8_t> data = {0x00, 0x00, 0x00, 0x00, 0x80};  // header-less frame of length 0
    data.resize(25, 0x11);                                            // skipped together with the frame
    for (int i = 0; i < 3; ++i) {
        const auto f = liveFrame(stream.pictures[std::size_t(i)], i == 1);
        data.insert(data.end(), {0x12, 0x34, 0x56});  // junk between frames
        data.insert(data.end(), f.begin(), f.end());
    }
    EXPECT_EQ(d->Feed(data.data(), data.size(), 1), 1);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[0]);
    EXPECT_EQ(d->Feed(nullptr, 0, 0), 0);
    EXPECT_EQ(d->Feed(nullptr, 0, 1), 1);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[1]);
    EXPECT_EQ(d->Feed(nullptr, 0, -1), 1);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[2]);
    EXPECT_EQ(d->picturesDecoded(), 3u);
}

TEST(H263DecoderState, ImpossibleFrameLengthsAreSkippedWithoutOverflow) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 3, 6, 3);  // I P P
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 3; ++i) {
        const auto& p = stream.pictures[std::size_t(i)];
        // A DVR's header word (non-zero low byte, so the header itself holds no start-code look-alike).
        h263enc::AppendLiveFrame(&data, p.data(), p.size(), true, 0x01020304u + std::uint32_t(i));
        // The middle frame's header claims a length far beyond the input buffer: the frame is then
        // found by its own length word behind the header.
        if (i == 1) data[data.size() - p.size() - 2 - frame::kFrameHeaderSize + 1] = 0x7F;
    }
    for (std::size_t offset = 0; offset < data.size(); offset += 1000)
        d->Feed(data.data() + offset, std::min<std::size_t>(1000, data.size() - offset), -1);
    EXPECT_FALSE(d->overflowed());
    EXPECT_EQ(d->picturesDecoded(), 3u);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[2]);
}

TEST(H263DecoderState, FrameFedByteByByteIsDecodedOnceComplete) {
    auto d = offScreenDecoder();
    const EncodedStream stream = encodeSynthetic(176, 144, 2, 6, 2);
    std::vector<std::uint8_t> data = liveFrame(stream.pictures[0], true);
    const auto second = liveFrame(stream.pictures[1], false);
    data.insert(data.end(), second.begin(), second.end());
    int handled = 0;
    for (std::uint8_t b : data) handled += d->Feed(&b, 1, -1);
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(d->picturesDecoded(), 2u);
    EXPECT_TRUE(latestPicture(*d) == stream.reconstructions[1]);
    EXPECT_EQ(d->bytesHeld(), 0u);
}

TEST(H263DecoderState, WindowRenderingPresentsAndKeepsTheCallbackAcrossSizeChanges) {
    platform::MemoryWindow::Config config;
    config.format = platform::PixelFormat{32, 0xFF0000, 0xFF00, 0xFF};
    platform::MemoryWindow window(config);
    auto d = H263Decoder::Create();
    ASSERT_TRUE(d);
    ASSERT_TRUE(d->Attach(&window));
    EXPECT_FALSE(d->Attach(&window));  // a surface exists already
    ASSERT_NE(d->surface(), nullptr);
    static int calls = 0;
    calls = 0;
    d->SetDrawCallback([](WindowHandle, std::uintptr_t word) { calls += int(word); }, 1);
    d->SetFullScreen(0);
    d->Reset();
    EXPECT_EQ(calls, 1);
    ASSERT_NE(d->screenPicture(), nullptr);
    EXPECT_EQ(d->screenPicture()->bitsPerPixel(), 32);

    const EncodedStream stream = encodeSynthetic(176, 144, 2, 6, 2);  // size change 320x240 -> QCIF
    d->SetAllowPredicted(true);
    for (int i = 0; i < 2; ++i) {
        const auto f = liveFrame(stream.pictures[std::size_t(i)], false);
        d->Feed(f.data(), f.size(), -1);
    }
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(d->screenPicture()->width(), 176);
    d->Redraw();
    EXPECT_EQ(calls, 4);
    d->SetSuppressDisplay(true);
    d->Reset();  // clears suppress-display and presents
    EXPECT_EQ(calls, 5);
    d->Detach();
    EXPECT_EQ(d->surface(), nullptr);
}
