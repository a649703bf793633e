#pragma once
// A Window kept entirely in memory, for tests and the command-line client: a configurable
// screen, a framebuffer to read back, and counters of what the display surface asked for.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Window.h"

namespace vistrel::platform {

class MemoryWindow : public Window {
public:
    struct Config {
        Size screen{240, 320};
        PixelFormat format{16, 0xF800, 0x07E0, 0x001F};
        // Reported by screenBitsPerPixel(); 0 = the same as format.bitsPerPixel.
        int deviceBitsPerPixel = 0;
        Rect workArea{0, 26, 240, 294};
        Rect clientRect{0, 26, 240, 206};
        bool framebufferAvailable = true;  // false: framebufferFormat() fails
        bool lockFails = false;            // lockFramebuffer() returns false
        bool lockGivesNoPixels = false;    // lockFramebuffer() succeeds with null pixels
    };

    MemoryWindow();
    explicit MemoryWindow(const Config& config);

    // Window
    Size screenSize() const override;
    int screenBitsPerPixel() const override;
    bool framebufferFormat(PixelFormat* format) const override;
    Rect clientRectOnScreen() const override;
    Rect workArea() const override;
    bool lockFramebuffer(Framebuffer* fb) override;
    void unlockFramebuffer() override;
    void requestRepaint() override;
    bool setPalette(const PaletteEntry* entries, int count) override;
    void hideShell() override;
    void showShell(int desktopWidth, int desktopHeight) override;

    // Changing the geometry while another thread presents is allowed.
    void setClientRect(const Rect& rect);
    void setWorkArea(const Rect& rect);
    void setLockFails(bool fails);

    // Read-back for tests and the command-line client; call while nobody presents.
    const Config& config() const { return config_; }
    int pitch() const { return pitch_; }
    const std::uint8_t* pixelRow(int y) const;
    std::uint8_t* pixelRow(int y);
    // The pixel at (x, y) as a little-endian value of the screen's bytes per pixel.
    std::uint32_t pixel(int x, int y) const;
    void fillFramebuffer(std::uint8_t value);
    std::vector<PaletteEntry> palette() const;

    int repaintCount() const { return repaints_.load(); }
    int hideShellCount() const { return hideShell_.load(); }
    int showShellCount() const { return showShell_.load(); }
    int lockCount() const { return locks_.load(); }
    int paletteCount() const { return palettes_.load(); }
    Size lastDesktopPlacement() const;

private:
    Config config_;  // geometry fields guarded by stateMutex_
    int pitch_ = 0;
    int bytesPerPixel_ = 0;
    std::vector<std::uint8_t> pixels_;  // guarded by frameMutex_ while a presenter holds it
    mutable std::mutex stateMutex_;
    std::mutex frameMutex_;              // held from lockFramebuffer() to unlockFramebuffer()
    std::vector<PaletteEntry> palette_;  // guarded by stateMutex_
    Size desktopPlacement_;              // guarded by stateMutex_
    std::atomic<int> repaints_{0};
    std::atomic<int> hideShell_{0};
    std::atomic<int> showShell_{0};
    std::atomic<int> locks_{0};
    std::atomic<int> palettes_{0};
};

}  // namespace vistrel::platform
