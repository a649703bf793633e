#include "app/layout/ImageButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include "app/layout/ImagePictures.h"
#include "app/layout/SvgPixmap.h"

namespace vistrel::app {

namespace {
// A disabled button keeps its picture recognisable but plainly out of reach.
constexpr qreal kDisabledOpacity = 0.35;
// While the left button is held on it, the button darkens slightly so the press is felt.
constexpr int kPressedShadeAlpha = 40;
}  // namespace

ImageButton::ImageButton(int id, QWidget* parent)
    : QWidget(parent), id_(id), renderer_(std::make_unique<QSvgRenderer>(PicturePath(id))) {
    // The key navigation highlights by showing the twin; a focus frame of our own would fight it.
    setFocusPolicy(Qt::NoFocus);
    const QString purpose = ButtonToolTip(id);
    setToolTip(purpose);
    setAccessibleName(purpose);
    setObjectName(QStringLiteral("imageButton%1").arg(id));
}

ImageButton::~ImageButton() = default;

bool ImageButton::hasPicture() const { return renderer_->isValid(); }

void ImageButton::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (cache_.isNull() || cache_.deviceIndependentSize() != QSizeF(size()) || cache_.devicePixelRatio() != dpr) {
        cache_ = RenderSvg(*renderer_, size(), dpr);
    }
    QPainter painter(this);
    if (!isEnabled()) painter.setOpacity(kDisabledOpacity);
    if (cache_.isNull()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    } else {
        painter.drawPixmap(0, 0, cache_);
    }
    if (pressed_ && isEnabled()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, kPressedShadeAlpha));
        const qreal radius = std::min(width(), height()) * 0.18;
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = true;
    update();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (pressed_) {
        pressed_ = false;
        update();
    }
    // Releasing outside is how a user takes back a press; disabled buttons get no mouse events
    // from Qt, but a synthetic one must not get through either.
    if (isEnabled() && rect().contains(event->position().toPoint())) emit clicked(id_);
}

void ImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        pressed_ = false;
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace vistrel::app
