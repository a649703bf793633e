#pragma once
// Digital zoom on a picture widget: the wheel zooms about the pointer (1x to 8x), a drag pans,
// a double-click resets; a tap without movement passes through to the window. The result is the
// window's source crop, applied by the display surface before it scales the next picture, so the
// decoders do no extra work.

#include <QObject>
#include <QPointF>
#include <QRectF>

#include <functional>

#include "app/views/ZoomState.h"
#include "platform/WindowHandle.h"

class QWidget;

namespace vistrel::app {

class PictureZoom : public QObject {
    Q_OBJECT
public:
    // Watches `picture`'s mouse events; `window` is the platform window its pictures are drawn in.
    PictureZoom(QWidget* picture, WindowHandle window, QObject* parent = nullptr);
    // Gives the window back its whole picture.
    ~PictureZoom() override;

    // Where the picture lies in the widget (default: the whole widget), e.g. between the bars
    // of a letterboxed full screen.
    void setPictureArea(std::function<QRectF()> area) { area_ = std::move(area); }
    const ZoomState& state() const { return state_; }
    void reset();

signals:
    // After every change; a paused picture needs a redraw to show it.
    void zoomChanged(double zoom);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ViewPoint toView(const QPointF& position) const;
    void apply();

    QWidget* picture_;
    WindowHandle window_;
    std::function<QRectF()> area_;
    ZoomState state_;
    bool dragging_ = false;
    QPointF dragStart_;
    QPointF lastDrag_;
};

}  // namespace vistrel::app
