#include "app/views/HealthOverlay.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/Tick.h"

namespace vistrel::app {

HealthOverlay::HealthOverlay(QWidget* parent) : QFrame(parent), clock_([] { return platform::tickCount(); }) {
    setObjectName("healthOverlay");
    setAutoFillBackground(false);
    setStyleSheet(
        "#healthOverlay { background: rgba(0, 0, 0, 160); border-radius: 3px; }"
        "QLabel { color: white; }");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    label_ = new QLabel(this);
    // Small tiles wrap the longer texts instead of cutting them off.
    label_->setWordWrap(true);
    reconnect_ = new QPushButton(tr("Reconnect"), this);
    reconnect_->setFocusPolicy(Qt::NoFocus);
    reconnect_->hide();
    layout->addWidget(label_);
    layout->addWidget(reconnect_);
    connect(reconnect_, &QPushButton::clicked, this, &HealthOverlay::reconnectRequested);
    timer_ = new QTimer(this);
    timer_->setInterval(kHealthRefreshMs);
    connect(timer_, &QTimer::timeout, this, &HealthOverlay::refresh);
    timer_->start();
    hide();
}

void HealthOverlay::setSource(StatsSource source) {
    source_ = std::move(source);
    refresh();
}

void HealthOverlay::setClock(TickSource clock) { clock_ = std::move(clock); }

void HealthOverlay::setTitle(const QString& title) {
    title_ = title;
    refresh();
}

void HealthOverlay::setRefreshInterval(int ms) { timer_->setInterval(ms); }

QString HealthOverlay::text() const { return isHidden() ? QString() : label_->text(); }

bool HealthOverlay::reconnectOffered() const { return !reconnect_->isHidden(); }

void HealthOverlay::refresh() {
    report_ = source_ ? DescribeHealth(SnapshotOf(source_()), clock_(), staleMs_) : HealthReport{};
    QStringList lines;
    if (!title_.isEmpty()) lines << title_;
    if (!report_.stateText.empty()) lines << QString::fromStdString(report_.stateText);
    if (!report_.pictureAge.empty()) lines << QString::fromStdString(report_.pictureAge);
    const QString text = lines.join('\n');
    if (text != label_->text()) label_->setText(text);
    if (reconnect_->isHidden() == report_.offerReconnect) reconnect_->setVisible(report_.offerReconnect);
    const bool show = !lines.isEmpty();
    if (show) {
        // adjustSize() does not give a wrapped label its extra lines; ask the layout for the
        // height at the width we can have.
        const int w = std::min(layout()->sizeHint().width(), maximumWidth());
        const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w)
                                                    : layout()->sizeHint().height();
        resize(w, h);
    }
    if (isHidden() == show) setVisible(show);
}

}  // namespace vistrel::app
