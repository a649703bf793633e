// Player reports handed from the player's threads to the GUI thread.

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "app/playback/ProgressRelay.h"
#include "stream/playback/PlaybackSpeed.h"

using vistrel::app::ProgressRelay;
namespace playback = vistrel::playback;

namespace {

constexpr int kWaitMs = 20000;
constexpr int kPositions = 2000;

}  // namespace

class ProgressRelayTest : public QObject {
    Q_OBJECT
private slots:
    void reportsArriveInOrderOnTheGuiThread() {
        ProgressRelay relay;
        std::vector<std::pair<int, int>> received;
        bool allOnGuiThread = true;
        connect(&relay, &ProgressRelay::progress, this, [&](int kind, int value) {
            received.emplace_back(kind, value);
            allOnGuiThread = allOnGuiThread && QThread::currentThread() == thread();
        });
        const playback::ProgressFunction callback = &ProgressRelay::Callback;

        std::thread player([&relay, callback] {
            callback(playback::kProgressFirstData, 0, &relay);
            for (int ms = 0; ms < kPositions; ++ms) callback(playback::kProgressPosition, ms, &relay);
            callback(playback::kProgressStreamEnd, 0, &relay);
        });
        // The player finishes without the GUI thread ever running its event loop: no report waits.
        player.join();
        QVERIFY(received.empty());

        QTRY_COMPARE_WITH_TIMEOUT(received.size(), std::size_t(kPositions + 2), kWaitMs);
        QVERIFY(allOnGuiThread);
        QCOMPARE(received.front(), std::make_pair(playback::kProgressFirstData, 0));
        for (int ms = 0; ms < kPositions; ++ms)
            QCOMPARE(received[std::size_t(ms) + 1], std::make_pair(playback::kProgressPosition, ms));
        QCOMPARE(received.back(), std::make_pair(playback::kProgressStreamEnd, 0));
    }

    void reportsAfterTheRelayIsGoneAreDropped() {
        auto relay = std::make_unique<ProgressRelay>();
        int received = 0;
        connect(relay.get(), &ProgressRelay::progress, this, [&received] { ++received; });
        void* context = relay.get();

        // Posted but not yet delivered when the relay goes...
        for (int i = 0; i < 10; ++i) ProgressRelay::Callback(playback::kProgressPosition, i, context);
        relay.reset();
        // ...and made after it went, from the player's thread as from any other.
        std::thread late([context] {
            for (int i = 0; i < 10; ++i) ProgressRelay::Callback(playback::kProgressPosition, i, context);
        });
        late.join();
        ProgressRelay::Callback(playback::kProgressStreamEnd, 0, nullptr);
        QTest::qWait(50);
        QCOMPARE(received, 0);

        // A relay made afterwards works as before.
        ProgressRelay next;
        QSignalSpy spy(&next, &ProgressRelay::progress);
        ProgressRelay::Callback(playback::kProgressFirstData, 7, &next);
        QVERIFY(spy.wait(kWaitMs));
        QCOMPARE(spy.at(0).at(1).toInt(), 7);
    }
};

QTEST_GUILESS_MAIN(ProgressRelayTest)
#include "ProgressRelayTest.moc"
