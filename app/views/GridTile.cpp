#include "app/views/GridTile.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

#include "app/views/HealthOverlay.h"
#include "platform/qt/FramebufferView.h"
#include "stream/live/DvrAddress.h"

namespace vistrel::app {

namespace {
// Room around the picture for the focus frame.
constexpr int kTileMargin = 2;
}  // namespace

GridTile::GridTile(int channel, QWidget* parent) : QWidget(parent), channel_(channel) {
    setFocusPolicy(Qt::StrongFocus);
    view_ = new platform::qt::FramebufferView(platform::qt::ScreenDepth::Rgb32, this);
    view_->setFocusPolicy(Qt::NoFocus);
    view_->setAttribute(Qt::WA_TransparentForMouseEvents);
    health_ = new HealthOverlay(this);
    health_->setTitle(tr("channel %1").arg(channel));
    health_->setSource([this] { return stats(); });
    connect(health_, &HealthOverlay::reconnectRequested, this, &GridTile::reconnect);
}

GridTile::~GridTile() { stop(); }

void GridTile::start(const GridSource& source) {
    stop();
    live::DvrAddress address;
    address.host = source.host;
    address.port = source.port;
    address.channel = channel_;
    session_ = std::make_unique<live::LiveStreamSession>(source.timings, source.decoderFactory);
    session_->SetUrl(live::LiveUrl(address));
    session_->SetUserName(source.user);
    session_->SetPassword(source.password);
    session_->SetNotifyWindow(view_->platformWindow());
    session_->Start();
    health_->refresh();
}

void GridTile::stop() {
    session_.reset();
    if (health_ != nullptr) health_->refresh();
}

void GridTile::reconnect() {
    if (session_) session_->Start();
    health_->refresh();
}

live::LiveSessionStats GridTile::stats() const { return session_ ? session_->Stats() : live::LiveSessionStats{}; }

void GridTile::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_->setGeometry(rect().adjusted(kTileMargin, kTileMargin, -kTileMargin, -kTileMargin));
    health_->setMaximumWidth(std::max(1, width() - 2 * (kTileMargin + 2)));
    health_->refresh();
    health_->move(kTileMargin + 2, kTileMargin + 2);
    health_->raise();
}

void GridTile::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit activated(channel_);
}

void GridTile::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit activated(channel_);
        return;
    }
    QWidget::keyPressEvent(event);
}

void GridTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), hasFocus() ? palette().highlight() : QBrush(Qt::black));
}

}  // namespace vistrel::app
