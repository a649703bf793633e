// The connection bring-up against a fake network probe and a message sink that records.
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <functional>
#include <memory>

#include "app/connection/ConnectionBringUp.h"
#include "app/connection/LocalHost.h"

using namespace vistrel::app;
using namespace std::chrono_literals;

namespace {

// Far beyond any wait these tests expect to finish early; a result that comes from the change and
// not from the time limit proves the wait ended on the change.
constexpr auto kLongLimit = 30s;
constexpr auto kShortLimit = 50ms;
constexpr int kSpyWaitMs = 20000;

class FakeProbe : public NetworkProbe {
    Q_OBJECT

public:
    explicit FakeProbe(NetworkStatus status) : status_(status) {}

    NetworkStatus status() const override {
        ++asked;
        return status_;
    }
    void refresh() override { ++refreshes; }
    void become(NetworkStatus status) {
        status_ = status;
        emit changed(status);
    }

    mutable int asked = 0;
    int refreshes = 0;

private:
    NetworkStatus status_;
};

class RecordingSink : public ErrorMessageSink {
public:
    void showError(const QString& caption, const QString& text) override {
        captions << caption;
        texts << text;
        if (onShow) onShow();
    }

    QStringList captions;
    QStringList texts;
    std::function<void()> onShow;
};

}  // namespace

class ConnectionBringUpTest : public QObject {
    Q_OBJECT

private slots:
    void statusTexts() {
        QCOMPARE(ConnectionStatusText(0x20), "The connection has been disconnected");
        QCOMPARE(ConnectionStatusText(0x21), "The connection failed and cannot be reestablished");
        QCOMPARE(ConnectionStatusText(0x22), "The user aborted the connection");
        QCOMPARE(ConnectionStatusText(0x24), "No path to the destination could be found");
        QCOMPARE(ConnectionStatusText(0x25), "A path to the destination exists but is not presently available");
        QCOMPARE(ConnectionStatusText(0x26), "Connection cannot be made while call in progress");
        QCOMPARE(ConnectionStatusText(0x40), "The device is attempting to connect");
        QCOMPARE(ConnectionStatusText(0x41), "Another client is using resources that this connection requires");
        QCOMPARE(ConnectionStatusText(0x80), "The connection is being brought down");
        QCOMPARE(ConnectionStatusText(0x81), "The device is aborting the connection attempt");
        for (int other : {0, 0x23, 0x27, 0x42, 0x82, -1, 0x7fffffff}) {
            QCOMPARE(ConnectionStatusText(other), "The connection attempt failed");
        }
    }

    void localHosts_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("local");
        for (const char* host : {"127.0.0.1", "127.255.3.4", " 127.0.0.1 ", "localhost", "LocalHost.",
                                 "dvr.localhost", "169.254.0.1", "169.254.255.255", "::1", "[::1]", "fe80::1",
                                 "fe80::1%eth0", "[FEBF::9%25wlan0]", "::ffff:127.0.0.1", "::ffff:a9fe:101"}) {
            QTest::newRow(host) << QString::fromLatin1(host) << true;
        }
        for (const char* host : {"192.0.2.1", "10.0.0.1", "128.0.0.1", "169.253.1.1", "169.255.1.1", "fec0::1",
                                 "2001:db8::1", "::", "::ffff:192.0.2.1", "localhost.example", "notlocalhost",
                                 ".localhost", "dvr.example", "", "127.0.0.1:80", "[127.0.0.1"}) {
            QTest::newRow(*host ? host : "(empty)") << QString::fromLatin1(host) << false;
        }
    }

    void localHosts() {
        QFETCH(QString, host);
        QFETCH(bool, local);
        QCOMPARE(HostNeedsNoBringUp(host.toStdString()), local);
    }

    // Local hosts are answered before the probe is consulted, however bad the network looks.
    void localHostsNeedNoProbe() {
        FakeProbe probe(NetworkStatus::Disconnected);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        for (const char* host : {"127.0.0.1", "localhost", "::1", "169.254.7.7", "fe80::2"}) {
            bringUp.start(host, kLoginBringUpSeconds);
        }
        QCOMPARE(finished.count(), 5);
        for (const auto& arguments : finished) QCOMPARE(arguments.at(0).toBool(), true);
        QCOMPARE(probe.asked, 0);
        QVERIFY(sink.texts.isEmpty());
    }

    void settledAnswersComeBeforeStartReturns_data() {
        QTest::addColumn<NetworkStatus>("status");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("text");
        QTest::newRow("no manager") << NetworkStatus::NoConnectionManager << true << QString();
        QTest::newRow("local") << NetworkStatus::ConnectedLocal << true << QString();
        QTest::newRow("site") << NetworkStatus::ConnectedSite << true << QString();
        QTest::newRow("global") << NetworkStatus::ConnectedGlobal << true << QString();
        QTest::newRow("disconnected") << NetworkStatus::Disconnected << false
                                      << "No path to the destination could be found";
        QTest::newRow("asleep") << NetworkStatus::Asleep << false
                                << "A path to the destination exists but is not presently available";
        QTest::newRow("disconnecting") << NetworkStatus::Disconnecting << false
                                       << "The connection is being brought down";
    }

    void settledAnswersComeBeforeStartReturns() {
        QFETCH(NetworkStatus, status);
        QFETCH(bool, up);
        QFETCH(QString, text);
        FakeProbe probe(status);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        int finishedWhenShown = -1;
        sink.onShow = [&] { finishedWhenShown = static_cast<int>(finished.count()); };

        bringUp.start("192.0.2.1", kLoginBringUpSeconds);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), up);
        QVERIFY(!bringUp.isWaiting());
        if (up) {
            QVERIFY(sink.texts.isEmpty());
        } else {
            QCOMPARE(sink.captions, QStringList{"Connection Manager"});
            QCOMPARE(sink.texts, QStringList{text});
            QCOMPARE(finishedWhenShown, 0);  // the user sees the box before the login hears of it
        }
    }

    void connectingThenConnectedSucceedsBeforeTheTimeLimit() {
        FakeProbe probe(NetworkStatus::Connecting);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        bringUp.start("dvr.example", kLongLimit);
        QCOMPARE(finished.count(), 0);
        QVERIFY(bringUp.isWaiting());
        QCOMPARE(probe.refreshes, 1);

        // Still connecting, or no word at all: the wait goes on.
        probe.become(NetworkStatus::Unknown);
        probe.become(NetworkStatus::Connecting);
        QCOMPARE(finished.count(), 0);
        QTimer::singleShot(10ms, &probe, [&probe] { probe.become(NetworkStatus::ConnectedSite); });
        QVERIFY(finished.wait(kSpyWaitMs));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(sink.texts.isEmpty());
        QVERIFY(!bringUp.isWaiting());
    }

    void connectingThenDisconnectedFailsWithoutWaitingOut() {
        FakeProbe probe(NetworkStatus::Pending);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        bringUp.start("dvr.example", kLongLimit);
        QTimer::singleShot(10ms, &probe, [&probe] { probe.become(NetworkStatus::Disconnected); });
        QVERIFY(finished.wait(kSpyWaitMs));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(sink.captions, QStringList{"Connection Manager"});
        QCOMPARE(sink.texts, QStringList{"No path to the destination could be found"});
    }

    void timeLimitShowsTheTextOfTheStateReached_data() {
        QTest::addColumn<NetworkStatus>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << NetworkStatus::Unknown << "The connection attempt failed";
        QTest::newRow("no answer") << NetworkStatus::Pending << "The connection attempt failed";
        QTest::newRow("connecting") << NetworkStatus::Connecting << "The device is attempting to connect";
    }

    void timeLimitShowsTheTextOfTheStateReached() {
        QFETCH(NetworkStatus, status);
        QFETCH(QString, text);
        FakeProbe probe(status);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        bringUp.start("dvr.example", kShortLimit);
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(kSpyWaitMs));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(sink.captions, QStringList{"Connection Manager"});
        QCOMPARE(sink.texts, QStringList{text});

        // The finished wait leaves nothing behind that could answer a second time.
        probe.become(NetworkStatus::ConnectedGlobal);
        QTest::qWait(static_cast<int>(kShortLimit.count()) * 2);
        QCOMPARE(finished.count(), 1);
    }

    void aNewerStartOrCancelSupersedesAPendingWait() {
        FakeProbe probe(NetworkStatus::Connecting);
        RecordingSink sink;
        ConnectionBringUp bringUp(&probe, &sink);
        QSignalSpy finished(&bringUp, &ConnectionBringUp::finished);
        bringUp.start("first.example", kShortLimit);
        bringUp.start("second.example", kLongLimit);
        bringUp.cancel();
        QVERIFY(!bringUp.isWaiting());
        QTest::qWait(static_cast<int>(kShortLimit.count()) * 3);
        probe.become(NetworkStatus::Disconnected);
        QCOMPARE(finished.count(), 0);
        QVERIFY(sink.texts.isEmpty());

        // A loopback login while a wait is pending answers at once, and only once.
        probe.become(NetworkStatus::Connecting);
        bringUp.start("dvr.example", kShortLimit);
        bringUp.start("127.0.0.1", kLoginBringUpSeconds);
        QTest::qWait(static_cast<int>(kShortLimit.count()) * 3);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
    }

    // Whoever closes the window while the box is up takes the bring-up with it; nothing may
    // touch it afterwards.
    void destroyedWhileTheMessageIsShown() {
        FakeProbe probe(NetworkStatus::Disconnected);
        RecordingSink sink;
        auto* bringUp = new ConnectionBringUp(&probe, &sink);
        QSignalSpy finished(bringUp, &ConnectionBringUp::finished);
        sink.onShow = [&bringUp] {
            delete bringUp;
            bringUp = nullptr;
        };
        bringUp->start("dvr.example", kLoginBringUpSeconds);
        QVERIFY(bringUp == nullptr);
        QCOMPARE(sink.texts, QStringList{"No path to the destination could be found"});
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(ConnectionBringUpTest)
#include "ConnectionBringUpTest.moc"
