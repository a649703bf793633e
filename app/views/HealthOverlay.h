#pragma once
// The stream-health box laid over a live picture: what the session is doing, how old the shown
// picture is, and a Reconnect button once the session has given up.

#include <QFrame>
#include <QString>

#include <cstdint>
#include <functional>

#include "app/views/StreamHealth.h"

class QLabel;
class QPushButton;
class QTimer;

namespace vistrel::app {

// Reads a session's counters without blocking (atomics and a short-held lock); GUI thread.
using StatsSource = std::function<live::LiveSessionStats()>;
using TickSource = std::function<std::uint32_t()>;

inline constexpr int kHealthRefreshMs = 250;

class HealthOverlay : public QFrame {
    Q_OBJECT
public:
    explicit HealthOverlay(QWidget* parent = nullptr);

    // Null source: nothing to say (idle). The clock defaults to the tick count.
    void setSource(StatsSource source);
    void setClock(TickSource clock);
    void setStaleLimit(std::uint32_t staleMs) { staleMs_ = staleMs; }
    // Shown above the health lines whenever there is one (a grid tile's channel number).
    void setTitle(const QString& title);
    void setRefreshInterval(int ms);

    const HealthReport& report() const { return report_; }
    // The lines shown now, joined with newlines (empty when the box is hidden).
    QString text() const;
    bool reconnectOffered() const;

public slots:
    // Reads the source and updates the box; the timer calls it, tests may too.
    void refresh();

signals:
    void reconnectRequested();

private:
    StatsSource source_;
    TickSource clock_;
    std::uint32_t staleMs_ = kStalePictureMs;
    QString title_;
    HealthReport report_;
    QLabel* label_ = nullptr;
    QPushButton* reconnect_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace vistrel::app
