// The presentation path both decoding states share: attaching, rendering into an in-memory
// window, re-making the surface after a size change, snapshots against detaching, and the black
// a decoder starts from.

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/MemoryWindow.h"
#include "video/display/PicturePresenter.h"
#include "video/picture/ColourConversion.h"
#include "video/picture/ColourTables.h"
#include "video/picture/Snapshot.h"

using namespace vistrel;
using platform::MemoryWindow;

namespace {

// A packed picture with a luma ramp, so that conversions and dithering have something to chew.
struct TestPicture {
    TestPicture(int width, int height) : samples(YuvPicture::FrameBytes(width, height), 128) {
        for (int i = 0; i < width * height; ++i)
            samples[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(16 + i % 200);
        picture = YuvPicture::Create(samples.data(), width, height);
    }
    std::vector<std::uint8_t> samples;
    std::unique_ptr<YuvPicture> picture;
};

MemoryWindow::Config screen(int bits) {
    MemoryWindow::Config config;
    if (bits == 8) config.format = {8, 0, 0, 0};
    else if (bits == 32) config.format = {32, 0xFF0000, 0xFF00, 0xFF};
    return config;  // otherwise the default 5-6-5 handheld screen
}

void countDraw(WindowHandle, std::uintptr_t word) { ++*reinterpret_cast<int*>(word); }

}  // namespace

TEST(PicturePresenter, RendersOnceAttachedOnScreenOrOffScreen) {
    InitColourTables();
    TestPicture picture(64, 48);
    PicturePresenter presenter;
    EXPECT_FALSE(presenter.Render(picture.picture.get()));  // not attached yet
    presenter.Redraw();                                     // nothing to redraw, no surface

    ASSERT_TRUE(presenter.Attach(nullptr, 64, 48));
    EXPECT_TRUE(presenter.offScreen());
    ASSERT_TRUE(presenter.Render(picture.picture.get()));
    // Off-screen the conversion waits until someone looks, and then is the real 24-bit picture.
    EXPECT_EQ(presenter.screenPicture(), nullptr);
    const ScreenPicture* converted = presenter.screenPicture(picture.picture.get());
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(converted->bitsPerPixel(), 24);
    auto expected = ScreenPicture::Create(64, 48, 24);
    ASSERT_TRUE(ConvertTo24(picture.picture.get(), expected.get()));
    EXPECT_EQ(std::memcmp(converted->bits(), expected->bits(), 64 * 48 * 3), 0);
    EXPECT_EQ(presenter.screenPicture(), converted);  // no render since: nothing to convert

    MemoryWindow window(screen(16));
    ASSERT_TRUE(presenter.Attach(&window, 64, 48));
    EXPECT_FALSE(presenter.Attach(&window, 64, 48));  // one surface at a time
    int draws = 0;
    presenter.SetDrawCallback(&countDraw, reinterpret_cast<std::uintptr_t>(&draws));
    window.fillFramebuffer(0);
    ASSERT_TRUE(presenter.Render(picture.picture.get()));
    EXPECT_EQ(presenter.screenPicture()->bitsPerPixel(), 16);
    EXPECT_EQ(draws, 1);
    EXPECT_GE(window.repaintCount(), 1);
    const platform::Rect work = window.config().workArea;
    EXPECT_NE(window.pixel(work.left + 10, work.top + 10), 0u);  // the ramp reached the screen
    presenter.Redraw();
    EXPECT_EQ(draws, 2);

    presenter.Detach();
    EXPECT_EQ(presenter.surface(), nullptr);
    EXPECT_FALSE(presenter.Render(picture.picture.get()));
    EXPECT_EQ(draws, 2);
}

TEST(PicturePresenter, SizeChangeRemakesTheSurfaceAndScreenPictureKeepingCallbackAndFullScreen) {
    InitColourTables();
    MemoryWindow window(screen(32));
    PicturePresenter presenter;
    ASSERT_TRUE(presenter.Attach(&window, 64, 48));
    int draws = 0;
    presenter.SetDrawCallback(&countDraw, reinterpret_cast<std::uintptr_t>(&draws));
    presenter.SetFullScreen(1);
    TestPicture small(64, 48);
    ASSERT_TRUE(presenter.Render(small.picture.get()));

    presenter.Resize(176, 144);
    ASSERT_NE(presenter.surface(), nullptr);
    EXPECT_EQ(GetSurfaceFullScreen(presenter.surface()), 1);
    EXPECT_EQ(GetLastPicture(presenter.surface()), nullptr);  // a fresh surface
    EXPECT_EQ(presenter.screenPicture(), nullptr);            // the old picture's size is gone with it
    presenter.Redraw();                                       // nothing converted at the new size yet
    EXPECT_EQ(draws, 1);

    TestPicture large(176, 144);
    ASSERT_TRUE(presenter.Render(large.picture.get()));
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(presenter.screenPicture()->width(), 176);
    EXPECT_EQ(presenter.screenPicture()->bitsPerPixel(), 32);
    EXPECT_EQ(GetLastPicture(presenter.surface()), presenter.screenPicture());
    presenter.SetFullScreen(0);  // the shell comes back for the tests after this one
    ASSERT_TRUE(presenter.Render(large.picture.get()));
}

// On an 8-bit screen the dither follows the width the window has when the picture is drawn, so a
// window resized after attach gets the matrix for its new width.
TEST(PicturePresenter, DitherFollowsTheClientWidthAtEveryRender) {
    InitColourTables();
    MemoryWindow window(screen(8));
    TestPicture picture(320, 240);
    PicturePresenter presenter;
    ASSERT_TRUE(presenter.Attach(&window, 320, 240));
    auto expected = [&](int matrix) {
        auto out = ScreenPicture::Create(320, 240, 8);
        EXPECT_TRUE(ConvertTo8(picture.picture.get(), out.get(), matrix));
        return std::vector<std::uint8_t>(out->bits(), out->bits() + 320 * 240);
    };
    auto shown = [&] {
        const ScreenPicture* s = presenter.screenPicture();
        return std::vector<std::uint8_t>(s->bits(), s->bits() + 320 * 240);
    };
    ASSERT_NE(expected(kDitherMatrixA), expected(kDitherMatrixB));

    window.setClientRect({0, 26, 240, 206});  // narrower than the picture
    ASSERT_TRUE(presenter.Render(picture.picture.get()));
    EXPECT_EQ(shown(), expected(kDitherMatrixB));
    window.setClientRect({0, 0, 640, 480});
    ASSERT_TRUE(presenter.Render(picture.picture.get()));
    EXPECT_EQ(shown(), expected(kDitherMatrixA));
}

TEST(PicturePresenter, SnapshotWhileTheSurfaceComesAndGoesIsWhole) {
    InitColourTables();
    MemoryWindow window(screen(16));
    TestPicture picture(64, 48);
    PicturePresenter presenter;
    ASSERT_TRUE(presenter.Attach(&window, 64, 48));
    const std::size_t size = SnapshotBitmapSize(64, 48);
    std::vector<std::uint8_t> reference(size);
    ASSERT_EQ(WriteSnapshotBitmap(picture.picture.get(), reference.data(), size), size);

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread snapshots([&] {
        std::vector<std::uint8_t> bitmap(size);
        while (!stop.load()) {
            if (presenter.Snapshot(picture.picture.get(), bitmap.data(), size) != size || bitmap != reference)
                ++bad;
        }
    });
    for (int i = 0; i < 200; ++i) {
        presenter.Detach();
        presenter.Attach(&window, 64, 48);
    }
    stop = true;
    snapshots.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(presenter.Snapshot(nullptr, reference.data(), size), 0u);
}

TEST(PicturePresenter, BlackIsZeroLumaAnd127ChromaWithinThePictureOnly) {
    const int width = 16;
    const int height = 8;
    const std::size_t bytes = YuvPicture::FrameBytes(width, height);
    std::vector<std::uint8_t> samples(bytes + 4, 0xAA);
    FillBlackPicture(samples.data(), width, height);
    for (std::size_t i = 0; i < bytes; ++i) ASSERT_EQ(samples[i], i < std::size_t(width * height) ? 0 : 127) << i;
    for (std::size_t i = bytes; i < samples.size(); ++i) EXPECT_EQ(samples[i], 0xAA);
}
