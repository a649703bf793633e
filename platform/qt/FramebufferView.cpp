#include "platform/qt/FramebufferView.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace vistrel::platform::qt {

namespace {

// The QImage layout that holds, byte for byte, what the matching colour conversion writes:
// ConvertTo24 writes blue, green, red (BGR888); ConvertTo32 writes blue, green, red, 0, which is
// a little-endian 0x00RRGGBB word (RGB32, whose top byte Qt ignores when painting); the 16-bit
// routines write native-endian 5-5-5 and 5-6-5 words.
QImage::Format imageFormat(ScreenDepth depth) {
    switch (depth) {
        case ScreenDepth::Indexed8: return QImage::Format_Indexed8;
        case ScreenDepth::Rgb555: return QImage::Format_RGB555;
        case ScreenDepth::Rgb565: return QImage::Format_RGB16;
        case ScreenDepth::Bgr24: return QImage::Format_BGR888;
        case ScreenDepth::Rgb32: break;
    }
    return QImage::Format_RGB32;
}

PixelFormat pixelFormat(ScreenDepth depth) {
    switch (depth) {
        case ScreenDepth::Indexed8: return PixelFormat{8, 0, 0, 0};
        case ScreenDepth::Rgb555: return PixelFormat{16, 0x7C00, 0x03E0, 0x001F};
        case ScreenDepth::Rgb565: return PixelFormat{16, 0xF800, 0x07E0, 0x001F};
        case ScreenDepth::Bgr24: return PixelFormat{24, 0xFF0000, 0x00FF00, 0x0000FF};
        case ScreenDepth::Rgb32: break;
    }
    return PixelFormat{32, 0xFF0000, 0x00FF00, 0x0000FF};
}

}  // namespace

FramebufferView::FramebufferView(ScreenDepth depth, QWidget* parent)
    : QWidget(parent), depth_(depth), palette_(kPaletteSize, qRgb(0, 0, 0)) {
    // Clicks belong to the dialog underneath (a release anywhere leaves full screen).
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Every pixel comes from the framebuffer, so Qt need not erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    allocateFramebuffer(size());
}

FramebufferView::~FramebufferView() = default;

void FramebufferView::allocateFramebuffer(const QSize& size) {
    const int w = std::max(size.width(), 0);
    const int h = std::max(size.height(), 0);
    std::lock_guard<std::mutex> frameGuard(frameMutex_);
    if (image_.size() != QSize(w, h) || image_.isNull()) {
        image_ = (w > 0 && h > 0) ? QImage(w, h, imageFormat(depth_)) : QImage();
        if (!image_.isNull()) {
            if (depth_ == ScreenDepth::Indexed8) image_.setColorTable(palette_);
            image_.fill(0u);
        }
    }
    std::lock_guard<std::mutex> geometryGuard(geometryMutex_);
    width_ = image_.isNull() ? 0 : w;
    height_ = image_.isNull() ? 0 : h;
}

void FramebufferView::clearPicture() {
    {
        std::lock_guard<std::mutex> guard(frameMutex_);
        if (!image_.isNull()) image_.fill(0u);
    }
    update();
}

QImage FramebufferView::grabFramebuffer() const {
    QImage copy;
    {
        std::lock_guard<std::mutex> guard(frameMutex_);
        copy = image_.copy();
    }
    return copy.isNull() ? copy : copy.convertToFormat(QImage::Format_RGB32);
}

Size FramebufferView::screenSize() const {
    std::lock_guard<std::mutex> guard(geometryMutex_);
    return Size{width_, height_};
}

int FramebufferView::screenBitsPerPixel() const { return pixelFormat(depth_).bitsPerPixel; }

bool FramebufferView::framebufferFormat(PixelFormat* format) const {
    if (format != nullptr) *format = pixelFormat(depth_);
    return true;
}

Rect FramebufferView::clientRectOnScreen() const {
    std::lock_guard<std::mutex> guard(geometryMutex_);
    return Rect{0, 0, width_, height_};
}

Rect FramebufferView::workArea() const { return clientRectOnScreen(); }

bool FramebufferView::lockFramebuffer(Framebuffer* fb) {
    if (fb == nullptr) return false;
    frameMutex_.lock();
    *fb = Framebuffer{};
    if (!image_.isNull()) {
        // bits() would detach a shared image; nobody keeps a shallow copy, so this is the
        // image paintEvent() reads.
        fb->pixels = image_.bits();
        fb->width = image_.width();
        fb->height = image_.height();
        fb->pitch = static_cast<int>(image_.bytesPerLine());
        fb->bitsPerPixel = image_.depth();
    }
    return true;
}

void FramebufferView::unlockFramebuffer() { frameMutex_.unlock(); }

void FramebufferView::requestRepaint() {
    presented_.fetch_add(1, std::memory_order_relaxed);
    // One queued update at a time: a fast decoder must not flood the GUI thread's queue.
    if (repaintPending_.exchange(true)) return;
    postRepaint();
}

void FramebufferView::postRepaint() {
    // Queued calls with this view as context are dropped if the view goes away first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintPending_.store(false);
            update();
        },
        Qt::QueuedConnection);
}

bool FramebufferView::setPalette(const PaletteEntry* entries, int count) {
    if (entries == nullptr || count <= 0 || count > kPaletteSize) return false;
    std::lock_guard<std::mutex> guard(frameMutex_);
    for (int i = 0; i < count; ++i) palette_[i] = qRgb(entries[i].red, entries[i].green, entries[i].blue);
    if (depth_ == ScreenDepth::Indexed8 && !image_.isNull()) image_.setColorTable(palette_);
    return true;
}

void FramebufferView::hideShell() {
    QMetaObject::invokeMethod(
        this, [this] { emit shellHidden(); }, Qt::QueuedConnection);
}

void FramebufferView::showShell(int, int) {
    QMetaObject::invokeMethod(
        this, [this] { emit shellShown(); }, Qt::QueuedConnection);
}

void FramebufferView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    std::lock_guard<std::mutex> guard(frameMutex_);
    if (image_.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    const QRect area = event->rect();
    painter.drawImage(area, image_, area);
    // A resize not yet applied leaves an uncovered strip; keep it black rather than stale.
    const QRegion uncovered = QRegion(area).subtracted(QRect(QPoint(0, 0), image_.size()));
    for (const QRect& r : uncovered) painter.fillRect(r, Qt::black);
}

void FramebufferView::resizeEvent(QResizeEvent* event) {
    allocateFramebuffer(event->size());
    QWidget::resizeEvent(event);
}

}  // namespace vistrel::platform::qt
