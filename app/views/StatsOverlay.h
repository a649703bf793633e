#pragma once
// The statistics box (key I) over a live picture: coding, picture size, frame and bit rate,
// damaged frames and reconnects, from the session's counters read once a second.

#include <QLabel>

#include <cstdint>

#include "app/views/HealthOverlay.h"

class QTimer;

namespace vistrel::app {

inline constexpr int kStatsRefreshMs = 1000;

class StatsOverlay : public QLabel {
    Q_OBJECT
public:
    explicit StatsOverlay(QWidget* parent = nullptr);

    void setSource(StatsSource source);
    void setClock(TickSource clock);
    void setRefreshInterval(int ms);

public slots:
    // Reads the counters and shows rates since the previous reading; a no-op while hidden, so a
    // hidden box costs nothing.
    void refresh();
    void toggle();

protected:
    void showEvent(QShowEvent* event) override;

private:
    StatsSource source_;
    TickSource clock_;
    live::LiveSessionStats previous_;
    std::uint32_t previousTick_ = 0;
    bool havePrevious_ = false;
    QTimer* timer_ = nullptr;
};

}  // namespace vistrel::app
