// NetworkState against a fake NetworkManager on a private message bus: the same D-Bus calls,
// property and signal the real one answers, without needing the machine's system bus.
#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include "platform/qt/NetworkState.h"

using vistrel::platform::qt::NetworkState;
using vistrel::platform::qt::NetworkStatus;

namespace {

constexpr int kWaitMs = 20000;
const char* const kService = "org.freedesktop.NetworkManager";
const char* const kPath = "/org/freedesktop/NetworkManager";

}  // namespace

// The part of NetworkManager's main object that NetworkState reads.
class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State READ state)

public:
    uint state() const { return state_; }
    void setState(uint state) {
        state_ = state;
        emit StateChanged(state);
    }

signals:
    void StateChanged(uint state);

private:
    uint state_ = 70;
};

class NetworkStateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed");
        bus_.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QVERIFY(bus_.waitForStarted(kWaitMs));
        while (!bus_.canReadLine()) QVERIFY(bus_.waitForReadyRead(kWaitMs));
        address_ = QString::fromLatin1(bus_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());
    }

    void cleanupTestCase() {
        if (bus_.state() == QProcess::NotRunning) return;
        bus_.terminate();
        if (!bus_.waitForFinished(kWaitMs)) bus_.kill();
    }

    void init() {
        ++round_;
        QDBusConnection::connectToBus(address_, clientName());
        QDBusConnection::connectToBus(address_, managerName());
        QVERIFY(client().isConnected());
        QVERIFY(manager().isConnected());
        QVERIFY(manager().registerObject(
            kPath, &fake_, QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSignals));
    }

    void cleanup() {
        QDBusConnection::disconnectFromBus(clientName());
        QDBusConnection::disconnectFromBus(managerName());
    }

    // Whatever this machine has (no system bus, a bus without NetworkManager, or NetworkManager),
    // the real system bus gives an answer, and the constructor does not wait for it.
    void theSystemBusAlwaysAnswers() {
        NetworkState state;
        QTRY_VERIFY_WITH_TIMEOUT(state.status() != NetworkStatus::Pending, kWaitMs);
    }

    void noServiceMeansNoConnectionManager() {
        NetworkState state(client());
        QCOMPARE(state.status(), NetworkStatus::Pending);
        QSignalSpy changed(&state, &NetworkState::changed);
        QVERIFY(changed.wait(kWaitMs));
        QCOMPARE(state.status(), NetworkStatus::NoConnectionManager);
    }

    void readsTheStateAndFollowsItsChanges() {
        fake_.setState(40);
        QVERIFY(manager().registerService(kService));
        NetworkState state(client());
        QSignalSpy changed(&state, &NetworkState::changed);
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::Connecting, kWaitMs);

        fake_.setState(70);
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::ConnectedGlobal, kWaitMs);
        fake_.setState(20);
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::Disconnected, kWaitMs);
        QCOMPARE(changed.last().at(0).value<NetworkStatus>(), NetworkStatus::Disconnected);
        QVERIFY(manager().unregisterService(kService));
    }

    void managerLeavingAndComingBack() {
        fake_.setState(50);
        QVERIFY(manager().registerService(kService));
        NetworkState state(client());
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::ConnectedLocal, kWaitMs);

        QVERIFY(manager().unregisterService(kService));
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::NoConnectionManager, kWaitMs);

        fake_.setState(10);
        QVERIFY(manager().registerService(kService));
        QTRY_COMPARE_WITH_TIMEOUT(state.status(), NetworkStatus::Asleep, kWaitMs);
        QVERIFY(manager().unregisterService(kService));
    }

private:
    QString clientName() const { return QStringLiteral("vistrel-client-%1").arg(round_); }
    QString managerName() const { return QStringLiteral("vistrel-manager-%1").arg(round_); }
    QDBusConnection client() const { return QDBusConnection(clientName()); }
    QDBusConnection manager() const { return QDBusConnection(managerName()); }

    QProcess bus_;
    QString address_;
    FakeNetworkManager fake_;
    int round_ = 0;
};

QTEST_MAIN(NetworkStateTest)
#include "NetworkStateTest.moc"
