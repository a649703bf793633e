#include "video/display/DisplaySurface.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/Window.h"
#include "video/display/SourceCrop.h"
#include "video/picture/Palette.h"

namespace vistrel {

namespace {

// Screen size assumed when the window reports none.
constexpr int kDefaultScreenWidth = 800;
constexpr int kDefaultScreenHeight = 600;
// Steps are kept in 24ths (rotated) and 10ths (upright) of a source pixel.
constexpr std::int64_t kRotatedStepUnits = 24;
constexpr std::int64_t kUprightStepUnits = 10;
// Pictures wider than this are drawn at double height (640 x 240 keeps a 4:3 shape).
constexpr int kDoubleHeightAboveWidth = 320;
// Palette fill bytes: the framebuffer palette marks every entry with 5, the fallback with 0.
constexpr std::uint8_t kFramebufferPaletteFill = 5;

// Changed only while presenting; any presenting thread may move it.
std::atomic<int> shellState{kShellShown};

}  // namespace

struct DisplaySurface {
    // Set at creation, read-only afterwards.
    platform::Window* window = nullptr;
    bool framebufferDescribed = false;  // false: the fallback chose the mode from the depth alone
    int displayMode = kDisplayMode8;
    int screenBitsPerPixel = 0;
    int screenWidth = 0;
    int screenHeight = 0;

    // Guards the three fields below; held only to read or write them, never while calling out.
    mutable std::mutex mutex;
    DrawCallback callback = nullptr;
    std::uintptr_t word = 0;
    const ScreenPicture* lastPicture = nullptr;  // borrowed from the decoder

    std::atomic<int> fullScreen{0};  // written by the UI thread, read by the presenting thread
};

int DisplayModeBitsPerPixel(int mode) {
    switch (mode) {
        case kDisplayMode555:
        case kDisplayMode565: return 16;
        case kDisplayMode24: return 24;
        case kDisplayMode32: return 32;
        default: return 8;
    }
}

int ShellState() { return shellState.load(); }

namespace {

// Without a pixel format 16 bits are taken as 5-5-5.
int modeFromDepth(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 16: return kDisplayMode555;
        case 24: return kDisplayMode24;
        case 32: return kDisplayMode32;
        default: return kDisplayMode8;
    }
}

// With one, the masks tell the two 16-bit layouts apart; any other 16-bit layout gets no direct
// conversion and falls back to the palette.
int modeFromFormat(const platform::PixelFormat& format) {
    if (format.bitsPerPixel != 16) return modeFromDepth(format.bitsPerPixel);
    if (format.redMask == 0x7C00) return kDisplayMode555;
    if (format.redMask == 0xF800) return kDisplayMode565;
    return kDisplayMode8;
}

void installPalette(const DisplaySurface& surface) {
    platform::PaletteEntry entries[platform::kPaletteSize];
    const std::uint8_t fill = surface.framebufferDescribed ? kFramebufferPaletteFill : 0;
    for (platform::PaletteEntry& entry : entries) entry = platform::PaletteEntry{fill, fill, fill, fill};
    for (int n = kPaletteFirstColour; n <= kPaletteLastColour; ++n) {
        const PaletteRgb colour = PaletteColour(n);
        entries[n] = platform::PaletteEntry{colour.red, colour.green, colour.blue, fill};
    }
    surface.window->setPalette(entries, platform::kPaletteSize);
}

// The part of a picture the drawing paths scale: the whole picture, or the window's zoom crop.
// The shape (which decides double height) stays the whole picture's, so a zoomed field picture
// keeps its proportions.
class PictureView {
public:
    PictureView(const ScreenPicture& picture, const CropPixels& crop)
        : rows_(picture.rows() + crop.top),
          offset_(static_cast<std::ptrdiff_t>(crop.left) * (picture.bitsPerPixel() / 8)),
          width_(crop.width),
          height_(crop.height),
          shapeWidth_(picture.width()),
          shapeHeight_(picture.height()) {}

    int width() const { return width_; }
    int height() const { return height_; }
    int shapeWidth() const { return shapeWidth_; }
    int shapeHeight() const { return shapeHeight_; }
    const std::uint8_t* row(int i) const { return rows_[i] + offset_; }

private:
    std::uint8_t* const* rows_;
    std::ptrdiff_t offset_;
    int width_;
    int height_;
    int shapeWidth_;
    int shapeHeight_;
};

// A fixed-size copy per pixel depth, so that the copy is a plain load and store.
template <int Bytes>
inline void copyPixel(std::uint8_t* to, const std::uint8_t* from) {
    std::memcpy(to, from, Bytes);
}

// Quarter turn counter-clockwise over the whole work area: the picture's top row runs up the
// left edge, its right edge lies along the top.
template <int bytes>
void drawRotated(const platform::Framebuffer& fb, const platform::Rect& work, const PictureView& picture) {
    const int workWidth = work.right - work.left;
    if (work.bottom <= 0 || workWidth <= 0) return;
    const std::int64_t columnStep = picture.width() * kRotatedStepUnits / work.bottom;
    const std::int64_t rowStep = picture.height() * kRotatedStepUnits / workWidth;
    const int columns = std::min(work.right, fb.width);
    const int rows = std::min(work.bottom, fb.height);
    for (int y = 0; y < rows; ++y) {
        const std::int64_t sourceColumn = (work.bottom - 1 - y) * columnStep / kRotatedStepUnits;
        if (sourceColumn >= picture.width()) continue;
        std::uint8_t* out = fb.pixels + static_cast<std::ptrdiff_t>(y) * fb.pitch;
        for (int x = 0; x < columns; ++x) {
            const std::int64_t sourceRow = x * rowStep / kRotatedStepUnits;
            if (sourceRow >= picture.height()) break;
            copyPixel<bytes>(out + static_cast<std::ptrdiff_t>(x) * bytes,
                             picture.row(static_cast<int>(sourceRow)) + sourceColumn * bytes);
        }
    }
}

// Stretched to the work-area width from the top of the work area; what falls outside the
// framebuffer is cropped.
template <int bytes>
void drawUpright(const platform::Framebuffer& fb, const platform::Rect& work, const PictureView& picture) {
    const std::int64_t workWidth = work.right - work.left;
    if (workWidth <= 0) return;
    const std::int64_t width = picture.width();
    const std::int64_t height = picture.height();
    const std::int64_t destHeight = picture.shapeWidth() <= kDoubleHeightAboveWidth
                                        ? height * workWidth / width
                                        : 2 * height * workWidth / width;
    if (destHeight <= 0) return;
    const std::int64_t columnStep = width * kUprightStepUnits / workWidth;
    const std::int64_t rowStep = height * kUprightStepUnits / destHeight;
    const std::int64_t columns = std::min<std::int64_t>(workWidth, fb.width);
    for (std::int64_t i = 0; i < destHeight; ++i) {
        const std::int64_t surfaceRow = work.top + i;
        if (surfaceRow < 0) continue;
        if (surfaceRow >= fb.height) break;
        const std::uint8_t* in = picture.row(static_cast<int>(i * rowStep / kUprightStepUnits));
        std::uint8_t* out = fb.pixels + surfaceRow * fb.pitch;
        for (std::int64_t j = 0; j < columns; ++j)
            copyPixel<bytes>(out + j * bytes, in + (j * columnStep / kUprightStepUnits) * bytes);
    }
}

// Full screen on a landscape work area, where the quarter turn would lie the picture on its side:
// upright, as large as fits with its shape kept, centred, black bars around. Field pictures
// (at least twice as wide as high, such as 640 x 240) are shown at double height, as the
// stretched view shows them; other sizes keep their own shape, so 640 x 480 stays 4:3.
template <int bytes>
void drawLetterboxed(const platform::Framebuffer& fb, const platform::Rect& work, const PictureView& picture) {
    const std::int64_t workWidth = work.width();
    const std::int64_t workHeight = work.height();
    const std::int64_t width = picture.width();
    const std::int64_t height = picture.height();
    if (workWidth <= 0 || workHeight <= 0 || width <= 0 || height <= 0) return;
    const std::int64_t shownHeight = picture.shapeWidth() >= 2 * picture.shapeHeight() ? 2 * height : height;
    std::int64_t destWidth = workWidth;
    std::int64_t destHeight = shownHeight * workWidth / width;
    if (destHeight > workHeight) {
        destHeight = workHeight;
        destWidth = width * workHeight / shownHeight;
    }
    if (destWidth <= 0 || destHeight <= 0) return;
    const std::int64_t destLeft = work.left + (workWidth - destWidth) / 2;
    const std::int64_t destTop = work.top + (workHeight - destHeight) / 2;
    // 16.16 steps: the last destination pixel still maps inside the picture.
    const std::int64_t columnStep = (width << 16) / destWidth;
    const std::int64_t rowStep = (height << 16) / destHeight;
    const std::int64_t firstColumn = std::max<std::int64_t>(work.left, 0);
    const std::int64_t endColumn = std::min<std::int64_t>(work.right, fb.width);
    if (firstColumn >= endColumn) return;
    const std::int64_t pictureLeft = std::max(destLeft, firstColumn);
    const std::int64_t pictureRight = std::min(destLeft + destWidth, endColumn);
    for (std::int64_t y = std::max<std::int64_t>(work.top, 0); y < std::min<std::int64_t>(work.bottom, fb.height);
         ++y) {
        std::uint8_t* out = fb.pixels + y * fb.pitch;
        const std::int64_t i = y - destTop;
        if (i < 0 || i >= destHeight || pictureLeft >= pictureRight) {
            std::memset(out + firstColumn * bytes, 0, static_cast<std::size_t>((endColumn - firstColumn) * bytes));
            continue;
        }
        std::memset(out + firstColumn * bytes, 0, static_cast<std::size_t>((pictureLeft - firstColumn) * bytes));
        std::memset(out + pictureRight * bytes, 0, static_cast<std::size_t>((endColumn - pictureRight) * bytes));
        const std::uint8_t* in = picture.row(static_cast<int>((i * rowStep) >> 16));
        for (std::int64_t x = pictureLeft; x < pictureRight; ++x)
            copyPixel<bytes>(out + x * bytes, in + (((x - destLeft) * columnStep) >> 16) * bytes);
    }
}

template <int bytes>
void drawFullScreen(const platform::Framebuffer& fb, const platform::Rect& work, const PictureView& picture) {
    if (work.width() > work.height()) drawLetterboxed<bytes>(fb, work, picture);
    else drawRotated<bytes>(fb, work, picture);
}

void draw(DisplaySurface& surface, const ScreenPicture* picture) {
    if (picture == nullptr) return;
    platform::Window& window = *surface.window;
    platform::Framebuffer fb;
    if (!window.lockFramebuffer(&fb)) return;
    const bool fullScreen = surface.fullScreen.load() != 0;
    const platform::Rect work = window.workArea();
    // A picture of another depth than the framebuffer would be copied with the wrong pixel size.
    const bool drawable = fb.pixels != nullptr && fb.pitch > 0 && fb.width > 0 && fb.height > 0 &&
                          fb.bitsPerPixel == picture->bitsPerPixel() &&
                          static_cast<std::int64_t>(fb.width) * picture->bitsPerPixel() / 8 <= fb.pitch;
    if (drawable) {
        const PictureView view(*picture,
                               CropToPixels(GetSourceCrop(surface.window), picture->width(), picture->height()));
        switch (picture->bitsPerPixel()) {
            case 8: fullScreen ? drawFullScreen<1>(fb, work, view) : drawUpright<1>(fb, work, view); break;
            case 16: fullScreen ? drawFullScreen<2>(fb, work, view) : drawUpright<2>(fb, work, view); break;
            case 24: fullScreen ? drawFullScreen<3>(fb, work, view) : drawUpright<3>(fb, work, view); break;
            default: fullScreen ? drawFullScreen<4>(fb, work, view) : drawUpright<4>(fb, work, view); break;
        }
    }
    window.unlockFramebuffer();
    if (drawable) window.requestRepaint();

    // Shell calls go to the GUI, so they are made after the framebuffer is free again.
    if (!drawable) return;
    if (fullScreen) {
        int expected = kShellShown;
        if (shellState.compare_exchange_strong(expected, kShellHidden)) window.hideShell();
    } else {
        int expected = kShellHidden;
        if (shellState.compare_exchange_strong(expected, kShellShown)) window.showShell(work.right, work.bottom);
    }
}

}  // namespace

DisplaySurface* CreateDisplaySurface(WindowHandle window, int width, int height) {
    if (window == nullptr || width <= 0 || height <= 0) return nullptr;
    const int bits = window->screenBitsPerPixel();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
    DisplaySurface* surface = new (std::nothrow) DisplaySurface;
    if (surface == nullptr) return nullptr;
    surface->window = window;
    surface->screenBitsPerPixel = bits;
    const platform::Size screen = window->screenSize();
    const bool hasScreen = screen.width > 0 && screen.height > 0;
    surface->screenWidth = hasScreen ? screen.width : kDefaultScreenWidth;
    surface->screenHeight = hasScreen ? screen.height : kDefaultScreenHeight;

    platform::PixelFormat format;
    if (window->framebufferFormat(&format)) {
        surface->framebufferDescribed = true;
        surface->displayMode = modeFromFormat(format);
    } else {
        surface->displayMode = modeFromDepth(bits);
    }
    if (surface->displayMode == kDisplayMode8) installPalette(*surface);
    return surface;
}

void DestroyDisplaySurface(DisplaySurface* surface) { delete surface; }

void PresentPicture(DisplaySurface* surface, const ScreenPicture* picture, int, int, int, int) {
    if (surface == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(surface->mutex);
        surface->lastPicture = picture;
    }
    const platform::Rect client = surface->window->clientRectOnScreen();
    if (client.right < 1 || client.bottom < 1 || client.left >= surface->screenWidth ||
        client.top >= surface->screenHeight)
        return;

    draw(*surface, picture);

    DrawCallback callback = nullptr;
    std::uintptr_t word = 0;
    {
        std::lock_guard<std::mutex> guard(surface->mutex);
        callback = surface->callback;
        word = surface->word;
    }
    if (callback != nullptr) callback(surface->window, word);
}

void SetDrawCallback(DisplaySurface* surface, DrawCallback callback, std::uintptr_t word) {
    if (surface == nullptr) return;
    std::lock_guard<std::mutex> guard(surface->mutex);
    surface->callback = callback;
    surface->word = word;
}

void SetSurfaceFullScreen(DisplaySurface* surface, int flag) {
    if (surface != nullptr) surface->fullScreen.store(flag);
}

void GetDrawCallback(const DisplaySurface* surface, DrawCallback* callback, std::uintptr_t* word) {
    DrawCallback c = nullptr;
    std::uintptr_t w = 0;
    if (surface != nullptr) {
        std::lock_guard<std::mutex> guard(surface->mutex);
        c = surface->callback;
        w = surface->word;
    }
    if (callback != nullptr) *callback = c;
    if (word != nullptr) *word = w;
}

int GetSurfaceFullScreen(const DisplaySurface* surface) {
    return surface != nullptr ? surface->fullScreen.load() : 0;
}

int GetDisplayMode(const DisplaySurface* surface) {
    return surface != nullptr ? surface->displayMode : kDisplayMode8;
}

int GetScreenBitsPerPixel(const DisplaySurface* surface) {
    return surface != nullptr ? surface->screenBitsPerPixel : 0;
}

WindowHandle GetSurfaceWindow(const DisplaySurface* surface) {
    return surface != nullptr ? surface->window : nullptr;
}

const ScreenPicture* GetLastPicture(const DisplaySurface* surface) {
    if (surface == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(surface->mutex);
    return surface->lastPicture;
}

}  // namespace vistrel
