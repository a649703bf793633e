#include "app/layout/StatusIcon.h"

#include <QPainter>
#include <QSvgRenderer>

#include "app/layout/ImagePictures.h"
#include "app/layout/SvgPixmap.h"

namespace vistrel::app {

namespace {
// Before the first playback there is nothing playing.
constexpr int kInitialKind = 3;
}  // namespace

StatusIcon::StatusIcon(QWidget* parent) : QWidget(parent), renderer_(std::make_unique<QSvgRenderer>()) {
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("statusIcon"));
    setKind(kInitialKind);
}

StatusIcon::~StatusIcon() = default;

void StatusIcon::setKind(int kind) {
    const QString path = StatusIconPath(kind);
    if (path.isEmpty() || kind == kind_) return;
    kind_ = kind;
    renderer_->load(path);
    cache_ = QPixmap();
    static const char* const kNames[] = {"", "Playing", "", "Stopped", "Waiting for data", "Paused"};
    setAccessibleName(QString::fromLatin1(kNames[kind]));
    setToolTip(accessibleName());
    update();
}

void StatusIcon::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (cache_.isNull() || cache_.deviceIndependentSize() != QSizeF(size()) || cache_.devicePixelRatio() != dpr) {
        cache_ = RenderSvg(*renderer_, size(), dpr);
    }
    if (cache_.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, cache_);
}

}  // namespace vistrel::app
