#pragma once
// The desktop window's picture area as a platform::Window: one framebuffer image that decoding
// threads draw into under a lock and the GUI thread paints.

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "platform/Window.h"
#include "platform/qt/ScreenDepth.h"

namespace vistrel::platform::qt {

class FramebufferView : public QWidget, public vistrel::platform::Window {
    Q_OBJECT

public:
    explicit FramebufferView(ScreenDepth depth = ScreenDepth::Rgb32, QWidget* parent = nullptr);
    ~FramebufferView() override;

    // What decoders and sessions get as their window handle.
    vistrel::platform::Window* platformWindow() { return this; }

    // GUI thread: fills the framebuffer black and asks for a repaint (the background erase at
    // mode changes).
    void clearPicture();
    // Any thread: a deep copy of the framebuffer, converted to RGB32.
    QImage grabFramebuffer() const;
    // Repaint requests from presenters since construction.
    int presentedCount() const { return presented_.load(std::memory_order_relaxed); }
    ScreenDepth depth() const { return depth_; }

    // platform::Window; every call may come from a decoding thread.
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

signals:
    // Queued to the GUI thread; the dialog drives the top-level window's full-screen state.
    void shellHidden();
    void shellShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Re-makes the image at `size` (cleared) unless it already has that size.
    void allocateFramebuffer(const QSize& size);
    void postRepaint();

    const ScreenDepth depth_;
    // Held by a presenter from lockFramebuffer() to unlockFramebuffer(), and by the GUI thread
    // while it paints, resizes or clears. Lock order: frameMutex_, then geometryMutex_.
    mutable std::mutex frameMutex_;
    QImage image_;         // guarded by frameMutex_; never shared, so bits() does not move it
    QList<QRgb> palette_;  // guarded by frameMutex_; the colour table of an Indexed8 image
    // Separate from frameMutex_ because the surface asks for the work area while it holds the
    // framebuffer.
    mutable std::mutex geometryMutex_;
    int width_ = 0;   // guarded by geometryMutex_; the framebuffer's size as presenters see it
    int height_ = 0;  // guarded by geometryMutex_
    // Set by the presenter that posts an update, cleared on the GUI thread when it runs.
    std::atomic<bool> repaintPending_{false};
    std::atomic<int> presented_{0};  // repaint requests from presenters, any thread
};

}  // namespace vistrel::platform::qt
