#include "app/views/StatsOverlay.h"

#include <QStringList>
#include <QTimer>

#include "app/views/StatsText.h"
#include "platform/Tick.h"

namespace vistrel::app {

StatsOverlay::StatsOverlay(QWidget* parent) : QLabel(parent), clock_([] { return platform::tickCount(); }) {
    setObjectName("statsOverlay");
    setStyleSheet("#statsOverlay { background: rgba(0, 0, 0, 160); color: white; padding: 3px; }");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_ = new QTimer(this);
    timer_->setInterval(kStatsRefreshMs);
    connect(timer_, &QTimer::timeout, this, &StatsOverlay::refresh);
    hide();
}

void StatsOverlay::setSource(StatsSource source) {
    source_ = std::move(source);
    havePrevious_ = false;
}

void StatsOverlay::setClock(TickSource clock) { clock_ = std::move(clock); }

void StatsOverlay::setRefreshInterval(int ms) { timer_->setInterval(ms); }

void StatsOverlay::toggle() { setVisible(isHidden()); }

void StatsOverlay::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    havePrevious_ = false;
    refresh();
    timer_->start();
}

void StatsOverlay::refresh() {
    if (isHidden()) {
        timer_->stop();
        return;
    }
    const live::LiveSessionStats now = source_ ? source_() : live::LiveSessionStats{};
    const std::uint32_t tick = clock_();
    const std::uint32_t elapsed = havePrevious_ ? platform::ticksBetween(previousTick_, tick) : 0;
    QStringList lines;
    for (const std::string& line : StatsLines(havePrevious_ ? previous_ : now, now, elapsed))
        lines << QString::fromStdString(line);
    setText(lines.join('\n'));
    adjustSize();
    previous_ = now;
    previousTick_ = tick;
    havePrevious_ = true;
}

}  // namespace vistrel::app
