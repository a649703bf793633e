// NetworkManager's connection state over D-Bus, read without ever blocking the calling thread.
#include "platform/qt/NetworkState.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace vistrel::platform::qt {

namespace {

const char* const kService = "org.freedesktop.NetworkManager";
const char* const kPath = "/org/freedesktop/NetworkManager";
const char* const kInterface = "org.freedesktop.NetworkManager";
// NetworkManager answers in milliseconds; this only bounds a daemon that has hung.
constexpr int kCallTimeoutMs = 5000;

// A manager that is there but does not answer is not the same as none at all: its state stays
// unknown rather than letting every login through.
bool IsSilentManager(const QDBusError& error) {
    return error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout ||
           error.type() == QDBusError::TimedOut;
}

}  // namespace

NetworkStatus NetworkStatusFromManagerState(std::uint32_t state) {
    switch (state) {
        case 10: return NetworkStatus::Asleep;
        case 20: return NetworkStatus::Disconnected;
        case 30: return NetworkStatus::Disconnecting;
        case 40: return NetworkStatus::Connecting;
        case 50: return NetworkStatus::ConnectedLocal;
        case 60: return NetworkStatus::ConnectedSite;
        case 70: return NetworkStatus::ConnectedGlobal;
        default: return NetworkStatus::Unknown;
    }
}

NetworkState::NetworkState(QObject* parent) : NetworkState(QDBusConnection::systemBus(), parent) {}

NetworkState::NetworkState(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
    if (!bus_.isConnected()) {
        status_ = NetworkStatus::NoConnectionManager;
        return;
    }
    serviceWatcher_ = new QDBusServiceWatcher(
        kService, bus_, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
        this);
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceRegistered, this, &NetworkState::onServiceRegistered);
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &NetworkState::onServiceUnregistered);
    bus_.connect(kService, kPath, kInterface, "StateChanged", this, SLOT(onStateChanged(uint)));
    refresh();
}

NetworkState::~NetworkState() {
    if (bus_.isConnected()) {
        bus_.disconnect(kService, kPath, kInterface, "StateChanged", this, SLOT(onStateChanged(uint)));
    }
}

void NetworkState::refresh() {
    if (!bus_.isConnected()) {
        setStatus(NetworkStatus::NoConnectionManager);
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Properties", "Get");
    get << QString::fromLatin1(kInterface) << QStringLiteral("State");
    // Asking must not start a NetworkManager the user has switched off.
    get.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get, kCallTimeoutMs), this);
    watcher->setProperty("serial", ++requestSerial_);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &NetworkState::onReply);
}

void NetworkState::onReply(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (watcher->property("serial").toULongLong() != requestSerial_) return;  // overtaken

    const QDBusPendingReply<QDBusVariant> reply = *watcher;
    if (reply.isError()) {
        setStatus(IsSilentManager(reply.error()) ? NetworkStatus::Unknown : NetworkStatus::NoConnectionManager);
        return;
    }
    bool isNumber = false;
    const uint state = reply.value().variant().toUInt(&isNumber);
    setStatus(isNumber ? NetworkStatusFromManagerState(state) : NetworkStatus::Unknown);
}

void NetworkState::onStateChanged(uint state) {
    ++requestSerial_;  // a Get still on its way may carry an older state
    setStatus(NetworkStatusFromManagerState(state));
}

void NetworkState::onServiceRegistered() { refresh(); }

void NetworkState::onServiceUnregistered() {
    ++requestSerial_;
    setStatus(NetworkStatus::NoConnectionManager);
}

void NetworkState::setStatus(NetworkStatus status) {
    if (status == status_) return;
    status_ = status;
    emit changed(status);
}

}  // namespace vistrel::platform::qt
