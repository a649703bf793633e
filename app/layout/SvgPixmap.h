#pragma once
// Renders an SVG into a pixmap of a widget's size, for the image buttons and the status icon.

#include <QPixmap>
#include <QSize>

class QSvgRenderer;

namespace vistrel::app {

// The drawing fills the size with its proportions kept and centred; transparent elsewhere.
// devicePixelRatio makes it sharp on scaled screens. An invalid renderer gives a null pixmap.
QPixmap RenderSvg(QSvgRenderer& renderer, QSize size, qreal devicePixelRatio);

}  // namespace vistrel::app
