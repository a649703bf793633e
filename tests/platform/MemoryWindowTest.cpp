// The in-memory window: framebuffer geometry, lock failures and what it records.

#include <gtest/gtest.h>

#include "platform/MemoryWindow.h"

using namespace vistrel::platform;

TEST(MemoryWindow, FramebufferMatchesTheConfiguredScreen)
{
    MemoryWindow::Config config;
    config.screen = {100, 50};
    config.format = {24, 0xFF0000, 0xFF00, 0xFF};
    MemoryWindow window(config);
    Framebuffer fb;
    ASSERT_TRUE(window.lockFramebuffer(&fb));
    EXPECT_NE(fb.pixels, nullptr);
    EXPECT_EQ(fb.width, 100);
    EXPECT_EQ(fb.height, 50);
    EXPECT_EQ(fb.pitch, 300);
    EXPECT_EQ(fb.bitsPerPixel, 24);
    fb.pixels[49 * 300 + 99 * 3 + 2] = 0xAB;
    window.unlockFramebuffer();
    EXPECT_EQ(window.pixel(99, 49), 0xAB0000u);
    EXPECT_EQ(window.pixel(100, 49), 0u);  // outside reads as 0
    EXPECT_EQ(window.lockCount(), 1);
    EXPECT_EQ(window.screenBitsPerPixel(), 24);
}

TEST(MemoryWindow, InjectedFailuresAndCounters)
{
    MemoryWindow::Config config;
    config.framebufferAvailable = false;
    config.lockGivesNoPixels = true;
    config.deviceBitsPerPixel = 8;
    MemoryWindow window(config);
    PixelFormat format;
    EXPECT_FALSE(window.framebufferFormat(&format));
    EXPECT_EQ(window.screenBitsPerPixel(), 8);
    Framebuffer fb;
    ASSERT_TRUE(window.lockFramebuffer(&fb));
    EXPECT_EQ(fb.pixels, nullptr);
    window.unlockFramebuffer();
    window.setLockFails(true);
    EXPECT_FALSE(window.lockFramebuffer(&fb));

    window.requestRepaint();
    window.hideShell();
    window.showShell(240, 294);
    EXPECT_EQ(window.repaintCount(), 1);
    EXPECT_EQ(window.hideShellCount(), 1);
    EXPECT_EQ(window.showShellCount(), 1);
    EXPECT_EQ(window.lastDesktopPlacement().width, 240);
    EXPECT_EQ(window.lastDesktopPlacement().height, 294);
}
