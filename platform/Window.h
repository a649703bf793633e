#pragma once
// The window and screen a display surface draws into: geometry, pixel format, a lockable
// screen framebuffer, repaint requests and the full-screen shell switch.

#include <cstdint>

namespace vistrel::platform {

// Half-open rectangle in screen pixels: left <= x < right, top <= y < bottom.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

struct Size {
    int width = 0;
    int height = 0;
};

// How a screen pixel is laid out. Masks matter for 16 bits (5-5-5 versus 5-6-5).
struct PixelFormat {
    int bitsPerPixel = 0;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
};

// A locked view of the screen's pixels, valid until unlockFramebuffer(). Row y starts at
// pixels + y * pitch; pixel (0, 0) is the top-left corner of the screen.
struct Framebuffer {
    std::uint8_t* pixels = nullptr;
    int width = 0;   // pixels
    int height = 0;  // rows
    int pitch = 0;   // bytes from one row to the next
    int bitsPerPixel = 0;
};

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
};

inline constexpr int kPaletteSize = 256;

// Implemented by the GUI (one framebuffer image per window, repainted on the GUI thread) and by
// MemoryWindow for tests and the command-line client. Every call may come from a decoding
// thread; implementations guard their own state.
class Window {
public:
    virtual ~Window() = default;

    // Size of the whole screen (the desktop window); {0, 0} when there is none.
    virtual Size screenSize() const = 0;
    // Bits per pixel times planes of the screen as the device reports them.
    virtual int screenBitsPerPixel() const = 0;
    // Format of the framebuffer; false when the window cannot give one at all (the surface then
    // takes its fallback path).
    virtual bool framebufferFormat(PixelFormat* format) const = 0;
    // The window's client area in screen coordinates.
    virtual Rect clientRectOnScreen() const = 0;
    // The part of the screen not covered by the shell's bars.
    virtual Rect workArea() const = 0;

    // Locks the whole screen framebuffer for writing. May fail (false); on success the caller
    // must call unlockFramebuffer() exactly once, on the same thread. fb->pixels may be null
    // even on success (nothing to draw into); the caller still unlocks.
    virtual bool lockFramebuffer(Framebuffer* fb) = 0;
    virtual void unlockFramebuffer() = 0;
    // Asks for the framebuffer to be shown; never waits for the repaint.
    virtual void requestRepaint() = 0;

    // Installs the colour table of an 8-bit framebuffer (kPaletteSize entries).
    virtual bool setPalette(const PaletteEntry* entries, int count) = 0;

    // Full-screen shell control: hideShell takes the bars away (the window fills the screen);
    // showShell brings them back and puts the desktop back at (0, 0) with the given size.
    virtual void hideShell() = 0;
    virtual void showShell(int desktopWidth, int desktopHeight) = 0;
};

}  // namespace vistrel::platform
