// Whether the machine is connected, as NetworkManager tells it over the system D-Bus.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace vistrel::platform::qt {

enum class NetworkStatus {
    Pending,              // the first answer has not come yet
    NoConnectionManager,  // no system bus, or no NetworkManager on it: nothing to bring up
    Unknown,              // NetworkManager's own "unknown", or a value this program does not know
    Asleep,
    Disconnected,
    Disconnecting,
    Connecting,
    ConnectedLocal,   // local network only, no default route
    ConnectedSite,    // a default route, but the Internet check failed
    ConnectedGlobal,  // full connectivity
};

// NetworkManager's NMState values (0, 10, 20 ... 70); anything else is Unknown.
NetworkStatus NetworkStatusFromManagerState(std::uint32_t state);

// Never blocks: the constructor asks asynchronously, and the answer and every later change arrive
// through changed() on the thread that owns the object (the GUI thread). status() is the last
// answer.
class NetworkState : public QObject {
    Q_OBJECT

public:
    explicit NetworkState(QObject* parent = nullptr);
    // bus stands in for the system bus (tests run a private bus with a fake NetworkManager).
    explicit NetworkState(const QDBusConnection& bus, QObject* parent = nullptr);
    ~NetworkState() override;

    NetworkStatus status() const { return status_; }
    // Asks NetworkManager again; the answer arrives through changed().
    void refresh();

signals:
    void changed(vistrel::platform::qt::NetworkStatus status);

private slots:
    void onStateChanged(uint state);
    void onReply(QDBusPendingCallWatcher* watcher);
    void onServiceRegistered();
    void onServiceUnregistered();

private:
    void setStatus(NetworkStatus status);

    QDBusConnection bus_;
    QDBusServiceWatcher* serviceWatcher_ = nullptr;
    NetworkStatus status_ = NetworkStatus::Pending;
    // Answers to older requests are dropped so that a late reply never overrides a newer signal.
    quint64 requestSerial_ = 0;
};

}  // namespace vistrel::platform::qt
