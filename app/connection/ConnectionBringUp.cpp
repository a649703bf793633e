// Bringing the network up before a login, without ever blocking the GUI thread.
#include "app/connection/ConnectionBringUp.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "app/connection/LocalHost.h"
#include "app/connection/NetworkStateProbe.h"

namespace vistrel::app {

namespace {

// Longer than any sensible wait, and small enough that seconds * 1000 cannot overflow.
constexpr int kMaxBringUpSeconds = 24 * 3600;

// The status code of the closest Connection Manager condition, for the text the user sees.
int FailureStatusFor(NetworkStatus status) {
    switch (status) {
        case NetworkStatus::Asleep: return kConnStatusPathUnavailable;
        case NetworkStatus::Disconnected: return kConnStatusNoPathToDestination;
        case NetworkStatus::Disconnecting: return kConnStatusDisconnecting;
        case NetworkStatus::Connecting: return kConnStatusWaitingConnection;
        default: return kConnStatusUnknown;
    }
}

}  // namespace

ConnectionBringUp::ConnectionBringUp(QObject* parent) : ConnectionBringUp(nullptr, nullptr, parent) {}

ConnectionBringUp::ConnectionBringUp(NetworkProbe* probe, ErrorMessageSink* sink, QObject* parent)
    : QObject(parent), probe_(probe), sink_(sink), timer_(new QTimer(this)) {
    if (probe_ == nullptr) probe_ = new NetworkStateProbe(this);
    if (sink_ == nullptr) {
        ownSink_ = std::make_unique<MessageBoxSink>();
        sink_ = ownSink_.get();
    }
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &ConnectionBringUp::onTimeLimit);
    connect(probe_, &NetworkProbe::changed, this, &ConnectionBringUp::onProbeChanged);
}

ConnectionBringUp::~ConnectionBringUp() = default;

void ConnectionBringUp::start(const std::string& host, int seconds) {
    start(host, std::chrono::seconds(std::clamp(seconds, 0, kMaxBringUpSeconds)));
}

void ConnectionBringUp::start(const std::string& host, std::chrono::milliseconds timeLimit) {
    cancel();
    if (HostNeedsNoBringUp(host)) {
        emit finished(true);
        return;
    }
    const NetworkStatus status = probe_->status();
    bool up = false;
    if (isSettled(status, &up)) {
        conclude(up, status);
        return;
    }
    // The timer runs before the probe is asked again, so that an answer given at once ends a wait
    // that is already complete.
    waiting_ = true;
    timer_->start(std::max(timeLimit, std::chrono::milliseconds(0)));
    probe_->refresh();
}

void ConnectionBringUp::cancel() {
    waiting_ = false;
    timer_->stop();
}

bool ConnectionBringUp::isWaiting() const { return waiting_; }

void ConnectionBringUp::onProbeChanged(NetworkStatus status) {
    if (!waiting_) return;
    bool up = false;
    if (isSettled(status, &up)) conclude(up, status);
}

void ConnectionBringUp::onTimeLimit() {
    if (!waiting_) return;
    // A state that is still unsettled at the limit is a failure; up stays false then.
    const NetworkStatus status = probe_->status();
    bool up = false;
    isSettled(status, &up);
    conclude(up, status);
}

bool ConnectionBringUp::isSettled(NetworkStatus status, bool* up) {
    switch (status) {
        // A DVR usually sits on the local network or behind a VPN, so local and site connectivity
        // are as good as a route to the Internet.
        case NetworkStatus::NoConnectionManager:
        case NetworkStatus::ConnectedLocal:
        case NetworkStatus::ConnectedSite:
        case NetworkStatus::ConnectedGlobal: *up = true; return true;
        case NetworkStatus::Asleep:
        case NetworkStatus::Disconnected:
        case NetworkStatus::Disconnecting: *up = false; return true;
        case NetworkStatus::Pending:
        case NetworkStatus::Unknown:
        case NetworkStatus::Connecting: break;
    }
    return false;
}

void ConnectionBringUp::conclude(bool up, NetworkStatus status) {
    cancel();
    if (!up) {
        // The box runs an event loop of its own, in which the window may go away.
        const QPointer<ConnectionBringUp> self(this);
        sink_->showError(QString::fromLatin1(kConnectionManagerCaption),
                         QString::fromLatin1(ConnectionStatusText(FailureStatusFor(status))));
        if (self.isNull()) return;
    }
    emit finished(up);
}

}  // namespace vistrel::app
