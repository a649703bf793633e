// The behaviour all four decoder classes share: opening on a window or off-screen, decoding,
// snapshots, closed wrappers, and calls from two threads.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>

#include "base/ByteOrder.h"
#include "platform/MemoryWindow.h"
#include "tests/decoders/TestStreams.h"
#include "tools/m4vframe/M4vFrame.h"
#include "video/decoders/CDec263.h"
#include "video/decoders/CDecKvr4.h"
#include "video/decoders/PCDec263.h"
#include "video/decoders/PCDecKvr4.h"
#include "video/picture/ColourTables.h"

namespace vistrel {
namespace {

using testing_streams::Bytes;

template <class T>
constexpr bool kLive = std::is_base_of_v<IDecoder, T>;
template <class T>
constexpr bool kH263 = std::is_same_v<T, CDec263> || std::is_same_v<T, PCDec263>;

template <class T>
bool openOn(T& d, WindowHandle window) {
    if constexpr (kLive<T>) return d.Open(window);
    else return d.Open(640, 480, window, 0);
}

template <class T>
bool decode(T& d, const Bytes& data, bool show = true) {
    if constexpr (kLive<T>) return d.Decode(data.data(), data.size(), show);
    else return d.Decode(data.data(), data.size(), show, -1);
}

// A run of frames of the class's coding, in live framing.
template <class T>
Bytes stream(int width, int height, int frames) {
    Bytes out;
    if constexpr (kH263<T>) {
        for (const Bytes& f : testing_streams::MakeH263Stream(width, height, frames, true).frames)
            out.insert(out.end(), f.begin(), f.end());
    } else {
        const std::string file = testing_streams::Mpeg4File(width, height, frames);
        EXPECT_FALSE(file.empty()) << "ffmpeg could not make the MPEG-4 test stream";
        const Bytes es = testsupport::ReadFile(file);
        out = m4vframe::WrapStream(es.data(), es.size(), m4vframe::WrapOptions{});
    }
    return out;
}

std::size_t bitmapSize(int w, int h) { return std::size_t(w) * h * 3 + 54; }

bool allBlack(const std::uint8_t* bmp, std::size_t size) {
    for (std::size_t i = 54; i < size; ++i)
        if (bmp[i] > 8) return false;
    return true;
}

template <class T>
class DecoderClasses : public ::testing::Test {
protected:
    void SetUp() override { InitColourTables(nullptr); }
};

using AllClasses = ::testing::Types<CDec263, PCDec263, CDecKvr4, PCDecKvr4>;
TYPED_TEST_SUITE(DecoderClasses, AllClasses);

TYPED_TEST(DecoderClasses, OffScreenDecodesAndSnapshotsWork) {
    TypeParam d;
    ASSERT_TRUE(openOn(d, nullptr));
    const Bytes data = stream<TypeParam>(320, 240, 3);
    Bytes bmp(bitmapSize(320, 240), 0xCD);
    // H.263 captures after one frame; MPEG-4 decodes them all (its library holds one back).
    ASSERT_TRUE(d.DecodeAndCapture(data.data(), data.size(), true, bmp.data(), bmp.size(), true));
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(base::Le32(&bmp[2]), bmp.size());
    EXPECT_EQ(base::Le32(&bmp[18]), 320u);
    EXPECT_EQ(base::Le32(&bmp[22]), 240u);
    EXPECT_FALSE(allBlack(bmp.data(), bmp.size()));
}

TYPED_TEST(DecoderClasses, SnapshotIntoTooSmallBufferFailsAndWritesNothing) {
    TypeParam d;
    ASSERT_TRUE(openOn(d, nullptr));
    const Bytes data = stream<TypeParam>(320, 240, 2);
    Bytes bmp(bitmapSize(320, 240) - 1, 0xCD);
    EXPECT_FALSE(d.DecodeAndCapture(data.data(), data.size(), true, bmp.data(), bmp.size(), false));
    EXPECT_EQ(bmp[0], 0xCD);
    EXPECT_FALSE(d.DecodeAndCapture(data.data(), data.size(), true, nullptr, 0, false));
}

TYPED_TEST(DecoderClasses, ClosedWrapperDoesNothingAndReturnsFalse) {
    TypeParam d;
    const Bytes data = stream<TypeParam>(320, 240, 1);
    Bytes bmp(bitmapSize(320, 240), 0xCD);
    EXPECT_FALSE(decode(d, data));
    EXPECT_FALSE(d.DecodeAndCapture(data.data(), data.size(), true, bmp.data(), bmp.size(), true));
    EXPECT_EQ(bmp[0], 0xCD);
    d.Redraw();
    d.ResetPicture();
    d.SetFullScreen(1);
    if constexpr (kLive<TypeParam>) {
        int w = -1, h = -1;
        d.GetPictureSize(&w, &h);
        EXPECT_EQ(w, -1);
        d.Reserved();
    } else {
        std::uint8_t* buffer = nullptr;
        std::size_t size = 0;
        EXPECT_FALSE(d.CaptureBitmap(&buffer, &size));
        EXPECT_EQ(buffer, nullptr);
        d.SetDrawCallback(nullptr, 0);
        EXPECT_EQ(d.GetStatus(), 0);
    }
    // Open, close, and the same again: closed means closed.
    ASSERT_TRUE(openOn(d, nullptr));
    EXPECT_TRUE(decode(d, data));
    d.Close();
    d.Close();
    EXPECT_FALSE(decode(d, data));
}

TYPED_TEST(DecoderClasses, StartsAt320x240WhateverTheRequestedSize) {
    TypeParam d;
    ASSERT_TRUE(openOn(d, nullptr));  // the playback form asks for 640 x 480
    if constexpr (kLive<TypeParam>) {
        int w = 0, h = 0;
        d.GetPictureSize(&w, &h);
        EXPECT_EQ(w, 320);
        EXPECT_EQ(h, 240);
    } else {
        std::uint8_t* buffer = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(d.CaptureBitmap(&buffer, &size));
        EXPECT_EQ(size, bitmapSize(320, 240));
        // The H.263 state rebuilds its planes when attached off-screen, after the reset.
        if constexpr (!kH263<TypeParam>) {
            EXPECT_TRUE(allBlack(buffer, size));
        }
        PIDecoder::ReleaseBitmap(buffer);
        EXPECT_FALSE(d.CaptureBitmap(nullptr, &size));
        EXPECT_FALSE(d.CaptureBitmap(&buffer, nullptr));
    }
}

TYPED_TEST(DecoderClasses, SnapshotOf640x480Is921654BytesStartingWithBM) {
    TypeParam d;
    ASSERT_TRUE(openOn(d, nullptr));
    const Bytes data = stream<TypeParam>(640, 480, 2);
    if constexpr (kLive<TypeParam>) {
        ASSERT_TRUE(decode(d, data));
        int w = 0, h = 0;
        d.GetPictureSize(&w, &h);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480);
        Bytes bmp(921654);
        EXPECT_TRUE(d.DecodeAndCapture(data.data(), data.size(), true, bmp.data(), bmp.size(), true));
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
    } else {
        ASSERT_TRUE(decode(d, data));
        std::uint8_t* buffer = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(d.CaptureBitmap(&buffer, &size));
        EXPECT_EQ(size, 921654u);
        EXPECT_EQ(buffer[0], 'B');
        EXPECT_EQ(buffer[1], 'M');
        EXPECT_FALSE(allBlack(buffer, size));
        PIDecoder::ReleaseBitmap(buffer);
    }
}

void countDraw(WindowHandle, std::uintptr_t word) { ++*reinterpret_cast<std::atomic<int>*>(word); }

TYPED_TEST(DecoderClasses, OnAWindowPicturesArePresentedAndFullScreenReachesTheSurface) {
    platform::MemoryWindow window;
    TypeParam d;
    ASSERT_TRUE(openOn(d, &window));
    std::atomic<int> draws{0};
    if constexpr (!kLive<TypeParam>) d.SetDrawCallback(&countDraw, reinterpret_cast<std::uintptr_t>(&draws));
    d.SetFullScreen(1);
    const int locksBefore = window.lockCount();
    ASSERT_TRUE(decode(d, stream<TypeParam>(320, 240, 3)));
    EXPECT_GT(window.lockCount(), locksBefore);
    EXPECT_EQ(ShellState(), kShellHidden);  // a full-screen presentation hides the shell's bars
    if constexpr (!kLive<TypeParam>) {
        EXPECT_GE(draws.load(), 1);
    }
    d.SetFullScreen(0);
    decode(d, stream<TypeParam>(320, 240, 2));
    EXPECT_EQ(ShellState(), kShellShown);
    // Nothing is drawn while hidden.
    const int locks = window.lockCount();
    decode(d, stream<TypeParam>(320, 240, 2), false);
    EXPECT_EQ(window.lockCount(), locks);
}

TYPED_TEST(DecoderClasses, OpenOnAnUnusableWindowFailsAndLeavesItClosed) {
    platform::MemoryWindow::Config config;
    config.format.bitsPerPixel = 12;
    config.deviceBitsPerPixel = 12;
    platform::MemoryWindow window(config);
    TypeParam d;
    ASSERT_TRUE(openOn(d, nullptr));
    EXPECT_FALSE(openOn(d, &window));
    EXPECT_FALSE(decode(d, stream<TypeParam>(320, 240, 1)));
}

TYPED_TEST(DecoderClasses, DecodingAndControlFromTwoThreads) {
    platform::MemoryWindow window;
    TypeParam d;
    ASSERT_TRUE(openOn(d, &window));
    const Bytes data = stream<TypeParam>(320, 240, 4);
    std::atomic<bool> done{false};
    std::thread control([&] {
        int flag = 0;
        while (!done.load()) {
            d.SetFullScreen(flag ^= 1);
            d.Redraw();
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 5; ++i) decode(d, data);
    d.Close();
    done = true;
    control.join();
    EXPECT_FALSE(decode(d, data));
}

TEST(PlaybackDecode, ResultsFollowTheCodings) {
    InitColourTables(nullptr);
    const Bytes garbage(200, 0x42);
    PCDec263 h263;
    ASSERT_TRUE(h263.Open(320, 240, nullptr, 0));
    EXPECT_FALSE(h263.Decode(garbage.data(), garbage.size(), true, -1));
    const Bytes frames = stream<PCDec263>(320, 240, 2);
    EXPECT_TRUE(h263.Decode(frames.data(), frames.size(), true, 1));
    EXPECT_TRUE(h263.Decode(nullptr, 0, true, 1));  // the second frame was kept back

    PCDecKvr4 mpeg4;
    ASSERT_TRUE(mpeg4.Open(320, 240, nullptr, 0));
    EXPECT_TRUE(mpeg4.Decode(garbage.data(), garbage.size(), true, -1));
}

}  // namespace
}  // namespace vistrel
