#include "platform/MemoryWindow.h"

#include <algorithm>

namespace vistrel::platform {

namespace {
// Screens above this size are not simulated; the framebuffer is clamped to it.
constexpr int kMaxScreenSide = 8192;
}  // namespace

MemoryWindow::MemoryWindow() : MemoryWindow(Config{}) {}

MemoryWindow::MemoryWindow(const Config& config) : config_(config) {
    config_.screen.width = std::clamp(config_.screen.width, 0, kMaxScreenSide);
    config_.screen.height = std::clamp(config_.screen.height, 0, kMaxScreenSide);
    bytesPerPixel_ = std::clamp((config_.format.bitsPerPixel + 7) / 8, 1, 4);
    pitch_ = config_.screen.width * bytesPerPixel_;
    pixels_.assign(static_cast<std::size_t>(pitch_) * config_.screen.height, 0);
    palette_.assign(kPaletteSize, PaletteEntry{});
}

Size MemoryWindow::screenSize() const { return config_.screen; }

int MemoryWindow::screenBitsPerPixel() const {
    return config_.deviceBitsPerPixel != 0 ? config_.deviceBitsPerPixel : config_.format.bitsPerPixel;
}

bool MemoryWindow::framebufferFormat(PixelFormat* format) const {
    if (!config_.framebufferAvailable || format == nullptr) return false;
    *format = config_.format;
    return true;
}

Rect MemoryWindow::clientRectOnScreen() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return config_.clientRect;
}

Rect MemoryWindow::workArea() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return config_.workArea;
}

bool MemoryWindow::lockFramebuffer(Framebuffer* fb) {
    if (fb == nullptr) return false;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        if (config_.lockFails) return false;
    }
    frameMutex_.lock();
    ++locks_;
    fb->pixels = config_.lockGivesNoPixels || pixels_.empty() ? nullptr : pixels_.data();
    fb->width = config_.screen.width;
    fb->height = config_.screen.height;
    fb->pitch = pitch_;
    fb->bitsPerPixel = config_.format.bitsPerPixel;
    return true;
}

void MemoryWindow::unlockFramebuffer() { frameMutex_.unlock(); }

void MemoryWindow::requestRepaint() { ++repaints_; }

bool MemoryWindow::setPalette(const PaletteEntry* entries, int count) {
    if (entries == nullptr || count <= 0) return false;
    std::lock_guard<std::mutex> guard(stateMutex_);
    std::copy(entries, entries + std::min(count, kPaletteSize), palette_.begin());
    ++palettes_;
    return true;
}

void MemoryWindow::hideShell() { ++hideShell_; }

void MemoryWindow::showShell(int desktopWidth, int desktopHeight) {
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        desktopPlacement_ = Size{desktopWidth, desktopHeight};
    }
    ++showShell_;
}

void MemoryWindow::setClientRect(const Rect& rect) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    config_.clientRect = rect;
}

void MemoryWindow::setWorkArea(const Rect& rect) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    config_.workArea = rect;
}

void MemoryWindow::setLockFails(bool fails) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    config_.lockFails = fails;
}

const std::uint8_t* MemoryWindow::pixelRow(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * pitch_;
}

std::uint8_t* MemoryWindow::pixelRow(int y) { return pixels_.data() + static_cast<std::size_t>(y) * pitch_; }

std::uint32_t MemoryWindow::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= config_.screen.width || y >= config_.screen.height) return 0;
    const std::uint8_t* p = pixelRow(y) + static_cast<std::size_t>(x) * bytesPerPixel_;
    std::uint32_t value = 0;
    for (int i = 0; i < bytesPerPixel_; ++i) value |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return value;
}

void MemoryWindow::fillFramebuffer(std::uint8_t value) { std::fill(pixels_.begin(), pixels_.end(), value); }

std::vector<PaletteEntry> MemoryWindow::palette() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return palette_;
}

Size MemoryWindow::lastDesktopPlacement() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return desktopPlacement_;
}

}  // namespace vistrel::platform
