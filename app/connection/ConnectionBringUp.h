// Makes sure the network is up before the window logs in to a DVR.
#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <string>

#include "app/connection/ConnectionStatus.h"
#include "app/connection/ErrorMessageSink.h"
#include "app/connection/NetworkProbe.h"

class QTimer;

namespace vistrel::app {

// The time the Login command gives the network to come up.
inline constexpr int kLoginBringUpSeconds = 10;
inline constexpr const char* kConnectionManagerCaption = "Connection Manager";

// Lives on the GUI thread and never blocks it: while the network is still connecting it waits on
// the probe's change signal and a timer, not in a sleep.
//
// Outcomes:
// - loopback and link-local hosts, no connection manager, or already connected (local, site or
//   global): finished(true);
// - connecting (or no answer yet, or an unknown state): wait up to the time limit, finishing as
//   soon as the state settles; still not connected at the limit: failure;
// - asleep, disconnected or disconnecting: failure.
// A failure shows its text in the message sink under the caption "Connection Manager" and then
// emits finished(false).
//
// Whenever the outcome is known at once (including a failure, after the sink has returned),
// finished() is emitted synchronously, before start() returns. Otherwise it comes later from the
// event loop. Exactly one finished() follows each start(), unless a newer start() or cancel()
// supersedes a pending one, which then finishes silently.
class ConnectionBringUp : public QObject {
    Q_OBJECT

public:
    // NetworkManager on the system bus and the window's message box.
    explicit ConnectionBringUp(QObject* parent = nullptr);
    // probe and sink are not owned and must outlive this object; null picks the default one.
    ConnectionBringUp(NetworkProbe* probe, ErrorMessageSink* sink, QObject* parent = nullptr);
    ~ConnectionBringUp() override;

    void start(const std::string& host, int seconds);
    void start(const std::string& host, std::chrono::milliseconds timeLimit);
    // Drops a pending wait without emitting finished().
    void cancel();
    bool isWaiting() const;

signals:
    void finished(bool up);

private slots:
    void onProbeChanged(vistrel::platform::qt::NetworkStatus status);
    void onTimeLimit();

private:
    // True when the status settles the question, with the answer in *up.
    static bool isSettled(NetworkStatus status, bool* up);
    void conclude(bool up, NetworkStatus status);

    NetworkProbe* probe_;
    ErrorMessageSink* sink_;
    std::unique_ptr<ErrorMessageSink> ownSink_;  // the default sink, when none was given
    QTimer* timer_;                              // child of this object; runs while waiting
    bool waiting_ = false;
};

}  // namespace vistrel::app
