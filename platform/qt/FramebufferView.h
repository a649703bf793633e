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
    void postRepaint();

    const ScreenDepth depth_;
    mutable std::mutex frameMutex_;  // guards image_, palette_ and size_; held lock..unlock
    QImage image_;                   // guarded by frameMutex_
    QList<QRgb> palette_;            // guarded by frameMutex_; only used for Indexed8
    int width_ = 0;                  // guarded by frameMutex_; the view's size as presenters see it
    int height_ = 0;                 // guarded by frameMutex_
    std::atomic<bool> repaintPending_{false};  // set by presenters, cleared by the GUI thread
    std::atomic<int> presented_{0};
};

}  // namespace vistrel::platform::qt
