#include "app/views/PictureZoom.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

#include "video/display/SourceCrop.h"

namespace vistrel::app {

namespace {
constexpr double kAngleUnitsPerNotch = 120.0;
}  // namespace

PictureZoom::PictureZoom(QWidget* picture, WindowHandle window, QObject* parent)
    : QObject(parent), picture_(picture), window_(window) {
    picture_->installEventFilter(this);
}

PictureZoom::~PictureZoom() { ClearSourceCrop(window_); }

void PictureZoom::reset() {
    state_.reset();
    apply();
}

ViewPoint PictureZoom::toView(const QPointF& position) const {
    const QRectF area = area_ ? area_() : QRectF(picture_->rect());
    if (area.width() <= 0 || area.height() <= 0) return {};
    return ViewPoint{std::clamp((position.x() - area.left()) / area.width(), 0.0, 1.0),
                     std::clamp((position.y() - area.top()) / area.height(), 0.0, 1.0)};
}

void PictureZoom::apply() {
    SetSourceCrop(window_, state_.crop());
    emit zoomChanged(state_.zoom());
}

bool PictureZoom::eventFilter(QObject* watched, QEvent* event) {
    if (watched != picture_) return false;
    switch (event->type()) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            const double notches = wheel->angleDelta().y() / kAngleUnitsPerNotch;
            if (notches == 0) return false;
            state_.wheel(notches, toView(wheel->position()));
            apply();
            return true;
        }
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !state_.isZoomed()) return false;
            dragging_ = true;
            dragStart_ = lastDrag_ = mouse->position();
            return true;
        }
        case QEvent::MouseMove: {
            if (!dragging_) return false;
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QRectF area = area_ ? area_() : QRectF(picture_->rect());
            if (area.width() > 0 && area.height() > 0) {
                const QPointF d = mouse->position() - lastDrag_;
                state_.pan(d.x() / area.width(), d.y() / area.height());
                apply();
            }
            lastDrag_ = mouse->position();
            return true;
        }
        case QEvent::MouseButtonRelease: {
            if (!dragging_) return false;
            dragging_ = false;
            // A press and release in one place is a tap, not a pan: let it through, so that a
            // tap still leaves full screen while the picture is zoomed.
            const QPointF moved = static_cast<QMouseEvent*>(event)->position() - dragStart_;
            return moved.manhattanLength() >= QApplication::startDragDistance();
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            dragging_ = false;
            reset();
            return true;
        default: return false;
    }
}

}  // namespace vistrel::app
