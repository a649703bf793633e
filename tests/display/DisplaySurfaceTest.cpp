// The display surface over an in-memory window: mode choice, palette, stretched and rotated
// drawing, cropping at the framebuffer's edges, the shell switch and the draw callback.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/MemoryWindow.h"
#include "video/display/DisplaySurface.h"
#include "video/picture/Palette.h"

using namespace vistrel;
using platform::MemoryWindow;
using platform::Rect;

namespace {

// A portrait handheld screen: 240 x 320, bars of 26 rows at the top.
MemoryWindow::Config handheld(int bits = 32) {
    MemoryWindow::Config config;
    config.screen = {240, 320};
    if (bits == 32) config.format = {32, 0xFF0000, 0xFF00, 0xFF};
    config.workArea = {0, 26, 240, 294};
    config.clientRect = {0, 26, 240, 206};
    return config;
}

// Every pixel of the picture says where it came from: 1 + (row << 12 | column), in as many low
// bytes as the depth holds.
std::unique_ptr<ScreenPicture> labelledPicture(int width, int height, int bits = 32) {
    auto picture = ScreenPicture::Create(width, height, bits);
    const int bytes = bits / 8;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const std::uint32_t v = 1 + (static_cast<std::uint32_t>(r) << 12 | c);
            std::uint8_t* p = picture->row(r) + c * bytes;
            for (int b = 0; b < bytes; ++b) p[b] = b < 3 ? static_cast<std::uint8_t>(v >> (8 * b)) : 0;
        }
    return picture;
}

std::uint32_t label(int row, int column) { return 1 + (static_cast<std::uint32_t>(row) << 12 | column); }

struct SurfaceDeleter {
    void operator()(DisplaySurface* s) const { DestroyDisplaySurface(s); }
};
using Surface = std::unique_ptr<DisplaySurface, SurfaceDeleter>;

Surface makeSurface(MemoryWindow& window, int width, int height) {
    return Surface(CreateDisplaySurface(&window, width, height));
}

void present(DisplaySurface* surface, const ScreenPicture* picture) {
    PresentPicture(surface, picture, 0, 0, picture->width(), picture->height());
}

// Brings the process-wide shell state back to "shown" through a window of its own.
void resetShell() {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 8, 8);
    auto picture = labelledPicture(8, 8);
    present(surface.get(), picture.get());
    ASSERT_EQ(ShellState(), kShellShown);
}

struct CallbackLog {
    std::atomic<int> calls{0};
    std::atomic<platform::Window*> window{nullptr};
    std::atomic<std::uintptr_t> word{0};
};

void logCallback(WindowHandle window, std::uintptr_t word) {
    CallbackLog* log = reinterpret_cast<CallbackLog*>(word);
    log->window = window;
    log->word = word;
    ++log->calls;
}

}  // namespace

TEST(DisplayMode, ChosenFromTheFramebufferFormat) {
    struct Case {
        int bits;
        std::uint32_t red;
        int mode;
    };
    const Case cases[] = {{8, 0, kDisplayMode8},          {16, 0x7C00, kDisplayMode555},
                          {16, 0xF800, kDisplayMode565},  {16, 0x001F, kDisplayMode8},
                          {24, 0xFF0000, kDisplayMode24}, {32, 0xFF0000, kDisplayMode32}};
    for (const Case& c : cases) {
        MemoryWindow::Config config = handheld();
        config.format = {c.bits, c.red, 0, 0};
        MemoryWindow window(config);
        Surface surface = makeSurface(window, 320, 240);
        ASSERT_TRUE(surface) << c.bits;
        EXPECT_EQ(GetDisplayMode(surface.get()), c.mode) << c.bits << " " << c.red;
        EXPECT_EQ(GetScreenBitsPerPixel(surface.get()), c.bits);
        EXPECT_EQ(window.paletteCount(), c.mode == kDisplayMode8 ? 1 : 0);
    }
    EXPECT_EQ(DisplayModeBitsPerPixel(kDisplayMode8), 8);
    EXPECT_EQ(DisplayModeBitsPerPixel(kDisplayMode555), 16);
    EXPECT_EQ(DisplayModeBitsPerPixel(kDisplayMode565), 16);
    EXPECT_EQ(DisplayModeBitsPerPixel(kDisplayMode24), 24);
    EXPECT_EQ(DisplayModeBitsPerPixel(kDisplayMode32), 32);
}

TEST(DisplayMode, WithoutAFramebufferTheDepthAloneDecides) {
    for (int bits : {8, 16, 24, 32}) {
        MemoryWindow::Config config = handheld();
        config.format = {bits, 0xF800, 0, 0};
        config.framebufferAvailable = false;
        MemoryWindow window(config);
        Surface surface = makeSurface(window, 320, 240);
        ASSERT_TRUE(surface);
        const int expected = bits == 8    ? kDisplayMode8
                             : bits == 16 ? kDisplayMode555
                             : bits == 24 ? kDisplayMode24
                                          : kDisplayMode32;
        EXPECT_EQ(GetDisplayMode(surface.get()), expected) << bits;
    }
}

TEST(DisplayMode, UnsupportedDepthOrNoWindowGivesNoSurface) {
    for (int bits : {1, 4, 15, 0}) {
        MemoryWindow::Config config = handheld();
        config.deviceBitsPerPixel = bits == 0 ? -1 : bits;
        MemoryWindow window(config);
        EXPECT_EQ(CreateDisplaySurface(&window, 320, 240), nullptr) << bits;
    }
    EXPECT_EQ(CreateDisplaySurface(nullptr, 320, 240), nullptr);
}

TEST(Palette, EightBitScreensReceiveTheConversionPalette) {
    for (bool framebuffer : {true, false}) {
        MemoryWindow::Config config = handheld();
        config.format = {8, 0, 0, 0};
        config.framebufferAvailable = framebuffer;
        MemoryWindow window(config);
        Surface surface = makeSurface(window, 320, 240);
        ASSERT_TRUE(surface);
        const auto palette = window.palette();
        ASSERT_EQ(palette.size(), 256u);
        for (int n = kPaletteFirstColour; n <= kPaletteLastColour; ++n) {
            const PaletteRgb c = PaletteColour(n);
            ASSERT_EQ(palette[n].red, c.red) << n;
            ASSERT_EQ(palette[n].green, c.green) << n;
            ASSERT_EQ(palette[n].blue, c.blue) << n;
        }
        const int fill = framebuffer ? 5 : 0;
        EXPECT_EQ(palette[0].red, fill);
        EXPECT_EQ(palette[255].blue, fill);
    }
}

TEST(Upright, Picture320x240FillsTheWorkAreaWidthFromItsTop) {
    resetShell();
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 320, 240);
    auto picture = labelledPicture(320, 240);
    present(surface.get(), picture.get());
    // 240 x 180 at rows 26..205; steps of 13 tenths in both directions.
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 240; ++x) {
            const bool inside = y >= 26 && y < 206;
            const std::uint32_t want = inside ? label((y - 26) * 13 / 10, x * 13 / 10) : 0;
            ASSERT_EQ(window.pixel(x, y), want) << x << "," << y;
        }
    EXPECT_EQ(window.pixel(0, 26), label(0, 0));
    EXPECT_EQ(window.repaintCount(), 1);
    EXPECT_EQ(GetLastPicture(surface.get()), picture.get());
    EXPECT_EQ(window.hideShellCount() + window.showShellCount(), 0);
}

TEST(Upright, Picture640x240IsDrawnAtDoubleHeight) {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 640, 240);
    auto picture = labelledPicture(640, 240);
    present(surface.get(), picture.get());
    EXPECT_EQ(window.pixel(0, 25), 0u);
    EXPECT_EQ(window.pixel(0, 26), label(0, 0));
    EXPECT_NE(window.pixel(239, 205), 0u);
    EXPECT_EQ(window.pixel(239, 206), 0u);
    // Row step 240 * 10 / 180 = 13 tenths; column step 640 * 10 / 240 = 26 tenths.
    EXPECT_EQ(window.pixel(100, 26 + 100), label(130, 260));
}

TEST(Upright, TallPicturesAreCroppedAtTheFramebufferEdges) {
    // 640 x 480 would be 360 rows high from row 26: rows beyond 319 are never written (the
    // framebuffer is exactly 240 x 320 bytes deep, so any stray write shows under ASan).
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 640, 480);
    auto picture = labelledPicture(640, 480);
    present(surface.get(), picture.get());
    EXPECT_EQ(window.pixel(0, 319), label((319 - 26) * 13 / 10, 0));
    // A work area wider than the screen and starting above it is cropped on both sides.
    window.setWorkArea(Rect{0, -10, 400, 320});
    present(surface.get(), picture.get());
    // 600 rows high: row step 480 * 10 / 600 = 8 tenths, column step 640 * 10 / 400 = 16.
    EXPECT_EQ(window.pixel(0, 0), label(10 * 8 / 10, 0));
    EXPECT_EQ(window.pixel(239, 0), label(10 * 8 / 10, 239 * 16 / 10));
    EXPECT_EQ(window.pixel(239, 319), label(329 * 8 / 10, 239 * 16 / 10));
}

TEST(Upright, EveryDepthCopiesWholePixels) {
    for (int bits : {8, 16, 24}) {
        SCOPED_TRACE(bits);
        MemoryWindow::Config config = handheld();
        config.format = {bits, bits == 16 ? 0xF800u : 0xFF0000u, 0, 0};
        MemoryWindow window(config);
        Surface surface = makeSurface(window, 320, 240);
        auto picture = labelledPicture(320, 240, bits);
        present(surface.get(), picture.get());
        const std::uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        EXPECT_EQ(window.pixel(0, 26), label(0, 0) & mask);
        EXPECT_EQ(window.pixel(239, 205), label(179 * 13 / 10, 239 * 13 / 10) & mask);
        EXPECT_EQ(window.pixel(100, 100), label(74 * 13 / 10, 100 * 13 / 10) & mask);
        EXPECT_EQ(window.pixel(239, 206), 0u);

        window.setWorkArea(Rect{0, 0, 240, 320});
        SetSurfaceFullScreen(surface.get(), 1);
        present(surface.get(), picture.get());
        EXPECT_EQ(window.pixel(0, 319), label(0, 0) & mask);
        EXPECT_EQ(window.pixel(239, 0), label(239, 319) & mask);
        SetSurfaceFullScreen(surface.get(), 0);
        present(surface.get(), picture.get());  // leaves the shell shown for the next tests
    }
}

TEST(FullScreen, RotatedPictureRunsItsTopRowUpTheLeftEdge) {
    resetShell();
    MemoryWindow::Config config = handheld();
    config.workArea = {0, 0, 240, 320};
    MemoryWindow window(config);
    Surface surface = makeSurface(window, 320, 240);
    SetSurfaceFullScreen(surface.get(), 1);
    EXPECT_EQ(GetSurfaceFullScreen(surface.get()), 1);
    auto picture = labelledPicture(320, 240);
    present(surface.get(), picture.get());
    // Steps 320 * 24 / 320 and 240 * 24 / 240: one source pixel per screen pixel.
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 240; ++x) ASSERT_EQ(window.pixel(x, y), label(x, 319 - y)) << x << "," << y;
    // Top-left of the picture at the bottom-left corner, its right edge along the top.
    EXPECT_EQ(window.pixel(0, 319), label(0, 0));
    EXPECT_EQ(window.pixel(0, 0), label(0, 319));
    EXPECT_EQ(window.pixel(239, 0), label(239, 319));
}

// A desktop screen is wider than high: full screen keeps the picture upright, as large as fits
// with its shape, centred between black bars, and leaves the rest of the screen alone.
TEST(FullScreen, LandscapeWorkAreaKeepsThePictureUprightBetweenBars) {
    resetShell();
    struct Case {
        int width, height;
        int left, top, right, bottom;  // expected picture rectangle on the screen
    };
    // Work area 400 x 300 starting at row 10, on a 400 x 320 screen.
    const Case cases[] = {
        {320, 240, 0, 10, 400, 310},   // 4:3 fills it
        {640, 480, 0, 10, 400, 310},   // not a field picture: stays 4:3
        {640, 240, 0, 10, 400, 310},   // field picture at double height: 4:3
        {176, 144, 17, 10, 383, 310},  // 11:9, pillarboxed: 366 wide, 17 columns of bar left
        {720, 480, 0, 27, 400, 293},   // 3:2, letterboxed: 266 rows, 17 rows of bar on top
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        MemoryWindow::Config config = handheld();
        config.screen = {400, 320};
        config.workArea = {0, 10, 400, 310};
        config.clientRect = {0, 10, 400, 310};
        MemoryWindow window(config);
        window.fillFramebuffer(0xAB);
        Surface surface = makeSurface(window, c.width, c.height);
        SetSurfaceFullScreen(surface.get(), 1);
        auto picture = labelledPicture(c.width, c.height);
        present(surface.get(), picture.get());

        const std::uint32_t stale = 0xABABABABu;
        EXPECT_EQ(window.pixel(0, 9), stale);      // above the work area
        EXPECT_EQ(window.pixel(399, 310), stale);  // below it
        const int w = c.right - c.left;
        const int h = c.bottom - c.top;
        for (int y = 10; y < 310; ++y)
            for (int x = 0; x < 400; ++x) {
                const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                if (!inside) {
                    ASSERT_EQ(window.pixel(x, y), 0u) << x << "," << y;
                    continue;
                }
                const int row = (y - c.top) * c.height / h;
                const int column = (x - c.left) * c.width / w;
                // Fixed-point steps may land one source pixel short of the exact ratio.
                const std::uint32_t got = window.pixel(x, y);
                const int gotRow = static_cast<int>((got - 1) >> 12);
                const int gotColumn = static_cast<int>((got - 1) & 0xFFF);
                ASSERT_LE(std::abs(gotRow - row), 1) << x << "," << y;
                ASSERT_LE(std::abs(gotColumn - column), 1) << x << "," << y;
            }
        EXPECT_EQ(window.pixel(c.left, c.top), label(0, 0));
    }
    EXPECT_EQ(ShellState(), kShellHidden);
}

TEST(FullScreen, ShellIsHiddenOnceAndShownOnTheFirstUprightFrame) {
    resetShell();
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 320, 240);
    auto picture = labelledPicture(320, 240);
    SetSurfaceFullScreen(surface.get(), 1);
    present(surface.get(), picture.get());
    present(surface.get(), picture.get());
    EXPECT_EQ(window.hideShellCount(), 1);
    EXPECT_EQ(ShellState(), kShellHidden);
    EXPECT_EQ(window.showShellCount(), 0);

    SetSurfaceFullScreen(surface.get(), 0);
    present(surface.get(), picture.get());
    present(surface.get(), picture.get());
    EXPECT_EQ(window.showShellCount(), 1);
    EXPECT_EQ(ShellState(), kShellShown);
    EXPECT_EQ(window.lastDesktopPlacement().width, 240);
    EXPECT_EQ(window.lastDesktopPlacement().height, 294);
}

TEST(Presentation, WindowOffTheScreenGetsNoDrawingAndNoCallback) {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 320, 240);
    CallbackLog log;
    SetDrawCallback(surface.get(), logCallback, reinterpret_cast<std::uintptr_t>(&log));
    auto picture = labelledPicture(320, 240);
    const Rect offScreen[] = {{0, 320, 240, 500},   // below
                              {240, 26, 480, 206},  // right
                              {-240, 26, 0, 206},   // left
                              {0, -180, 240, 0}};   // above
    for (const Rect& rect : offScreen) {
        window.setClientRect(rect);
        present(surface.get(), picture.get());
    }
    EXPECT_EQ(log.calls.load(), 0);
    EXPECT_EQ(window.lockCount(), 0);
    EXPECT_EQ(window.pixel(0, 26), 0u);

    window.setClientRect(Rect{-100, 300, 1, 500});  // one pixel column and some rows visible
    present(surface.get(), picture.get());
    EXPECT_EQ(log.calls.load(), 1);
    EXPECT_EQ(log.window.load(), &window);
    EXPECT_EQ(log.word.load(), reinterpret_cast<std::uintptr_t>(&log));
}

TEST(Presentation, FailedLockOrMismatchedDepthDrawsNothingButStillCallsBack) {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 320, 240);
    CallbackLog log;
    SetDrawCallback(surface.get(), logCallback, reinterpret_cast<std::uintptr_t>(&log));
    auto picture = labelledPicture(320, 240);

    window.setLockFails(true);
    present(surface.get(), picture.get());
    window.setLockFails(false);
    auto sixteen = ScreenPicture::Create(320, 240, 16);
    present(surface.get(), sixteen.get());
    PresentPicture(surface.get(), nullptr, 0, 0, 320, 240);
    EXPECT_EQ(log.calls.load(), 3);
    EXPECT_EQ(window.repaintCount(), 0);
    EXPECT_EQ(window.pixel(0, 26), 0u);

    MemoryWindow::Config noPixels = handheld();
    noPixels.lockGivesNoPixels = true;
    MemoryWindow empty(noPixels);
    Surface emptySurface = makeSurface(empty, 320, 240);
    present(emptySurface.get(), picture.get());
    EXPECT_EQ(empty.lockCount(), 1);  // locked, found nothing, unlocked (a relock would hang)
    present(emptySurface.get(), picture.get());
    EXPECT_EQ(empty.lockCount(), 2);
}

namespace {
DisplaySurface* reentrantSurface = nullptr;
std::atomic<int> reentrantCalls{0};
void replaceOwnCallback(WindowHandle, std::uintptr_t word) {
    ++reentrantCalls;
    // Would deadlock if the surface still held its callback lock.
    SetDrawCallback(reentrantSurface, nullptr, word);
}
}  // namespace

TEST(Callback, RunsOutsideTheSurfaceLockAndCarriesAcrossSurfaces) {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 320, 240);
    reentrantSurface = surface.get();
    SetDrawCallback(surface.get(), replaceOwnCallback, 77);
    DrawCallback callback = nullptr;
    std::uintptr_t word = 0;
    GetDrawCallback(surface.get(), &callback, &word);
    EXPECT_EQ(callback, &replaceOwnCallback);
    EXPECT_EQ(word, 77u);

    auto picture = labelledPicture(320, 240);
    present(surface.get(), picture.get());
    present(surface.get(), picture.get());
    EXPECT_EQ(reentrantCalls.load(), 1);
    GetDrawCallback(surface.get(), &callback, &word);
    EXPECT_EQ(callback, nullptr);

    // Null surfaces are ignored everywhere.
    SetDrawCallback(nullptr, logCallback, 1);
    SetSurfaceFullScreen(nullptr, 1);
    PresentPicture(nullptr, picture.get(), 0, 0, 320, 240);
    GetDrawCallback(nullptr, &callback, &word);
    EXPECT_EQ(callback, nullptr);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(GetDisplayMode(nullptr), kDisplayMode8);
    EXPECT_EQ(GetLastPicture(nullptr), nullptr);
    DestroyDisplaySurface(nullptr);
}

namespace {
std::atomic<int> mismatchedPairs{0};
std::atomic<int> pairedCalls{0};
void callbackA(WindowHandle, std::uintptr_t word) {
    ++pairedCalls;
    if (word != 1) ++mismatchedPairs;
}
void callbackB(WindowHandle, std::uintptr_t word) {
    ++pairedCalls;
    if (word != 2) ++mismatchedPairs;
}
}  // namespace

TEST(Callback, ChangingItFromAnotherThreadNeverTearsTheCallbackFromItsWord) {
    MemoryWindow window(handheld());
    Surface surface = makeSurface(window, 16, 16);
    auto picture = labelledPicture(16, 16);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done.load(); ++i)
            SetDrawCallback(surface.get(), i % 2 ? callbackA : callbackB, i % 2 ? 1 : 2);
    });
    constexpr int kFrames = 300;
    for (int i = 0; i < kFrames; ++i) present(surface.get(), picture.get());
    done = true;
    changer.join();
    EXPECT_EQ(mismatchedPairs.load(), 0);
    EXPECT_LE(pairedCalls.load(), kFrames);
}
