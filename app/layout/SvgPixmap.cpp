#include "app/layout/SvgPixmap.h"

#include <QPainter>
#include <QSvgRenderer>

namespace vistrel::app {

QPixmap RenderSvg(QSvgRenderer& renderer, QSize size, qreal devicePixelRatio) {
    if (!renderer.isValid() || size.isEmpty()) return {};
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace vistrel::app
