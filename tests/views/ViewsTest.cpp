// The grid, the health and statistics boxes, the zoom interaction and the shortcuts, with the
// DVR emulator in the process. Waits are long (a loaded 2-core machine under the sanitizers);
// the stagger, reconnect delays, picture age limit and clock are shortened or injected.

#include <QApplication>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <atomic>
#include <memory>

#include "app/ControlIds.h"
#include "app/camera/CameraController.h"
#include "app/views/CameraKeySender.h"
#include "app/views/GridView.h"
#include "app/views/HealthOverlay.h"
#include "app/views/KeyboardHelpWindow.h"
#include "app/views/PictureZoom.h"
#include "app/views/ShortcutMap.h"
#include "app/views/StatsOverlay.h"
#include "platform/Tick.h"
#include "platform/qt/FramebufferView.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "tools/dvr/DvrServer.h"
#include "video/display/SourceCrop.h"

using namespace vistrel;
using namespace vistrel::app;
using namespace vistrel::app::id;

namespace {

constexpr int kWaitMs = 60000;

live::LiveSessionTimings quickTimings() {
    live::LiveSessionTimings t;
    t.randomDelayUnitMs = 100;
    t.failureDelayUnitMs = 100;
    t.consumerStopLimitMs = 5000;
    return t;
}

// Share of sampled pixels that are not nearly black.
double litShare(const QImage& image) {
    if (image.isNull()) return 0;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    int lit = 0, all = 0;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3, ++all)
            if (qGray(img.pixel(x, y)) > 24) ++lit;
    return all ? double(lit) / all : 0;
}

struct Recorded {
    QString what;
    int argument = 0;
    bool operator==(const Recorded& o) const { return what == o.what && argument == o.argument; }
};

class FakeTarget : public ShortcutTarget {
public:
    QList<Recorded> calls;
    void selectChannel(int c) override { calls.append({"channel", c}); }
    void toggleFullScreen() override { calls.append({"fullscreen", 0}); }
    void leaveFullScreen() override { calls.append({"leavefullscreen", 0}); }
    void showGrid() override { calls.append({"grid", 0}); }
    void toggleStatistics() override { calls.append({"stats", 0}); }
    void sendCameraCommand(int id) override { calls.append({"camera", id}); }
    void togglePause() override { calls.append({"pause", 0}); }
    void stepFrame() override { calls.append({"step", 0}); }
    void changeSpeed(int s) override { calls.append({"speed", s}); }
};

QKeyEvent press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
    return QKeyEvent(QEvent::KeyPress, key, mods, QString(), repeat);
}
QKeyEvent release(int key, bool repeat = false) {
    return QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, QString(), repeat);
}

}  // namespace

class ViewsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<dvr::DvrServer> startDvr(dvr::FaultOptions faults = {}) {
        dvr::DvrOptions options;
        options.frameIntervalMs = 66;
        options.maxConnections = 24;
        options.faults = faults;
        auto server = std::make_unique<dvr::DvrServer>(options);
        if (server->start() == 0) return nullptr;
        return server;
    }

    GridSource sourceFor(const dvr::DvrServer& server) {
        GridSource s;
        s.host = "127.0.0.1";
        s.port = server.port();
        s.timings = quickTimings();
        return s;
    }

    // Every tile decodes pictures and has drawn something that is not black.
    void checkGridShowsPictures(int tiles, const char* screenshotEnv) {
        auto dvr = startDvr();
        QVERIFY(dvr);
        GridView grid;
        grid.setSource(sourceFor(*dvr));
        grid.setStaggerMs(20);
        grid.setTileCount(tiles);
        grid.resize(tiles == 16 ? 640 : 480, tiles == 16 ? 480 : 360);
        grid.show();
        grid.start();
        for (int i = 0; i < tiles; ++i) {
            GridTile* t = grid.tile(i);
            QCOMPARE(t->channel(), i + 1);
            QTRY_VERIFY_WITH_TIMEOUT(t->stats().framesSinceStart >= 3, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(litShare(t->view()->grabFramebuffer()) > 0.3, kWaitMs);
        }
        // Each tile asked for its own channel: sixteen distinct requests at least.
        QVERIFY(dvr->stats().liveRequests >= tiles);
        for (int i = 0; i < tiles; ++i) {
            grid.tile(i)->health()->refresh();
            QVERIFY2(grid.tile(i)->health()->report().stateText.empty(),
                     qPrintable(grid.tile(i)->health()->text()));
        }
        const QByteArray shot = qgetenv(screenshotEnv);
        if (!shot.isEmpty()) grid.grab().save(QString::fromLocal8Bit(shot));
        grid.stop();
        for (int i = 0; i < tiles; ++i) QVERIFY(!grid.tile(i)->running());
    }

private slots:
    void initTestCase() { QVERIFY(http::OpenInternetRoot("KEMBQM/MSIE")); }
    void cleanupTestCase() { http::CloseInternetRoot(); }

    void gridOf4AndGridOf16ShowEveryChannel() {
        checkGridShowsPictures(4, "VISTREL_GRID4_SHOT");
        checkGridShowsPictures(16, "VISTREL_GRID16_SHOT");
    }

    void tileCutOffCountsDownAndRecovers() {
        dvr::FaultOptions faults;
        faults.closeAfterBytes = 40000;  // a few dozen frames, then the line goes dead
        auto dvr = startDvr(faults);
        QVERIFY(dvr);
        GridView grid;
        grid.setSource(sourceFor(*dvr));
        grid.setStaggerMs(10);
        grid.resize(320, 240);
        grid.show();
        grid.start();
        GridTile* t = grid.tile(0);
        bool sawCountdown = false;
        QTRY_VERIFY_WITH_TIMEOUT((t->health()->refresh(),
                                  sawCountdown = sawCountdown || t->health()->text().contains("reconnecting in")),
                                 kWaitMs);
        const QByteArray shot = qgetenv("VISTREL_HEALTH_SHOT");
        if (!shot.isEmpty()) grid.grab().save(QString::fromLocal8Bit(shot));
        QVERIFY(t->health()->text().contains("channel 1"));
        QVERIFY(t->health()->text().contains("of 5)"));
        const std::uint32_t fired = t->stats().restartsFired;
        QTRY_VERIFY_WITH_TIMEOUT(t->stats().restartsFired > fired && t->stats().framesSinceStart > 0, kWaitMs);
        QVERIFY(!t->stats().gaveUp);
    }

    void doubleClickOrEnterOpensThatChannel() {
        GridView grid;
        grid.setTileCount(9);
        grid.resize(300, 300);
        grid.show();
        QSignalSpy spy(&grid, &GridView::channelActivated);
        QTest::mouseDClick(grid.tile(5), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 6);
        grid.tile(2)->setFocus();
        QTest::keyClick(grid.tile(2), Qt::Key_Return);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 3);
        // Repeated G's layout sequence and the layout menu.
        QCOMPARE(NextGridSize(4), 9);
        QCOMPARE(NextGridSize(9), 16);
        QCOMPARE(NextGridSize(16), 4);
        QMenu* menu = grid.createLayoutMenu(&grid);
        menu->actions().at(2)->trigger();
        QCOMPARE(grid.tileCount(), 16);
        QVERIFY(menu->actions().at(2)->isChecked());
        grid.setTileCount(4);
        QVERIFY(menu->actions().at(0)->isChecked());
    }

    void stalledStreamShowsThePictureAge() {
        dvr::FaultOptions faults;
        faults.stallAfterBytes = 30000;
        auto dvr = startDvr(faults);
        QVERIFY(dvr);
        live::LiveSessionTimings timings = quickTimings();
        timings.stallMs = 0;  // this test is about the age, not the stall rule's reconnect
        live::LiveStreamSession session(timings);
        live::DvrAddress address{"127.0.0.1", dvr->port(), "", "", 2};
        session.SetUrl(live::LiveUrl(address));
        std::atomic<std::uint32_t> now{0};
        HealthOverlay overlay;
        overlay.setSource([&session] { return session.Stats(); });
        overlay.setClock([&now] { return now.load(); });
        session.Start();
        QTRY_VERIFY_WITH_TIMEOUT(session.Stats().framesSinceStart > 0, kWaitMs);
        // The body stops: wait until no picture has come for a while.
        std::uint64_t frames = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            (frames = session.Stats().framesDecoded, QTest::qWait(500), session.Stats().framesDecoded == frames),
            kWaitMs);
        // The clock is read relative to the last picture instead of waiting seconds for it.
        const std::uint32_t last = session.Stats().lastPictureTick;
        now = last + 1900;
        overlay.refresh();
        QVERIFY2(!overlay.text().contains("old"), qPrintable(overlay.text()));
        now = last + 2600;
        overlay.refresh();
        QCOMPARE(overlay.text(), QString("picture 2 s old"));
        now = last + 7100;
        overlay.refresh();
        QCOMPARE(overlay.text(), QString("picture 7 s old"));
        QVERIFY(!overlay.reconnectOffered());
    }

    void refusedConnectionCountsDownThenGivesUpAndReconnectStartsAgain() {
        std::uint16_t port = 0;
        {
            auto dvr = startDvr();
            QVERIFY(dvr);
            port = dvr->port();
        }  // nobody listens there any more
        live::LiveStreamSession session(quickTimings());
        live::DvrAddress address{"127.0.0.1", port, "", "", 1};
        session.SetUrl(live::LiveUrl(address));
        HealthOverlay overlay;
        overlay.setSource([&session] { return session.Stats(); });
        connect(&overlay, &HealthOverlay::reconnectRequested, this, [&session] { session.Start(); });
        overlay.show();
        session.Start();
        QSet<QString> seen;
        QTRY_VERIFY_WITH_TIMEOUT((overlay.refresh(), seen.insert(overlay.text()), overlay.reconnectOffered()),
                                 kWaitMs);
        QCOMPARE(overlay.text(), QString("stream lost"));
        bool sawCountdown = false;
        for (const QString& s : seen)
            sawCountdown = sawCountdown ||
                           s.contains(QRegularExpression("^reconnecting in \\d+ s \\(attempt [1-5] of 5\\)$"));
        QVERIFY2(sawCountdown, qPrintable(QStringList(seen.values()).join(" | ")));

        // The DVR is back on its port: Reconnect brings the picture.
        dvr::DvrOptions options;
        options.port = port;
        options.frameIntervalMs = 66;
        dvr::DvrServer back(options);
        const bool listening = back.start() != 0;
        const std::uint32_t starts = session.Stats().startsTotal;
        overlay.findChild<QPushButton*>()->click();
        QCOMPARE(session.Stats().startsTotal, starts + 1);
        if (!listening) QSKIP("the freed port was taken meanwhile");
        QTRY_VERIFY_WITH_TIMEOUT(session.Stats().framesSinceStart > 0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT((overlay.refresh(), overlay.isHidden()), kWaitMs);
        session.Stop();
    }

    void statisticsBoxShowsTheSessionFigures() {
        live::LiveSessionStats stats;
        stats.coding = live::StreamCoding::Kvr4;
        stats.pictureWidth = 352;
        stats.pictureHeight = 288;
        std::uint32_t now = 1000;
        StatsOverlay box;
        box.setSource([&stats] { return stats; });
        box.setClock([&now] { return now; });
        box.show();
        QVERIFY(box.text().contains("coding MPEG-4"));
        QVERIFY(box.text().contains("352x288"));
        stats.framesDecoded = 25;
        stats.bytesQueued = 12500;
        now += 1000;
        box.refresh();
        QVERIFY2(box.text().contains("25.0 fps") && box.text().contains("100 kbit/s"), qPrintable(box.text()));
        box.toggle();
        QVERIFY(box.isHidden());
    }

    void shortcutsDoWhatTheHelpWindowSays() {
        // The help's key texts, read back as key sequences, do what the help's words say.
        const struct {
            const char* keys;
            ScreenMode mode;
            Recorded expected;
        } rows[] = {
            {"F", ModeLive, {"fullscreen", 0}},
            {"Esc", ModeFullScreen, {"leavefullscreen", 0}},
            {"G", ModeLive, {"grid", 0}},
            {"I", ModePlayback, {"stats", 0}},
            {"Space", ModePlayback, {"pause", 0}},
            {".", ModePlayback, {"step", 0}},
            {"Ctrl+Up", ModePlayback, {"speed", 1}},
            {"Ctrl+Down", ModePlayback, {"speed", -1}},
            {"Home", ModeCamera, {"camera", kCamUpLeft}},
            {"PgDown", ModeCamera, {"camera", kCamDownRight}},
            {"+", ModeCamera, {"camera", kCamZoomIn}},
            {"]", ModeCamera, {"camera", kCamFocusFar}},
        };
        KeyboardHelpWindow help;
        QCOMPARE(help.windowTitle(), QString("Keyboard"));
        for (const auto& row : rows) {
            const auto found = help.table()->findItems(row.keys, Qt::MatchExactly);
            QVERIFY2(!found.isEmpty() && found.first()->column() == 0, row.keys);
            const QKeyCombination combo = QKeySequence::fromString(row.keys)[0];
            FakeTarget target;
            ShortcutHandler handler(target);
            QKeyEvent e = press(combo.key(), combo.keyboardModifiers());
            QVERIFY2(handler.keyPress(e, row.mode), row.keys);
            QCOMPARE(target.calls.size(), 1);
            QVERIFY2(target.calls.first() == row.expected, row.keys);
        }
        QVERIFY(!help.table()->findItems("1 ... 9, 0", Qt::MatchExactly).isEmpty());
        QVERIFY(!help.table()->findItems("Ctrl+1 ... Ctrl+6", Qt::MatchExactly).isEmpty());

        FakeTarget target;
        ShortcutHandler handler(target);
        QKeyEvent one = press(Qt::Key_1), zero = press(Qt::Key_0), ctrl6 = press(Qt::Key_6, Qt::ControlModifier),
                  keypad3 = press(Qt::Key_3, Qt::KeypadModifier), ctrl7 = press(Qt::Key_7, Qt::ControlModifier);
        QVERIFY(handler.keyPress(one, ModeCamera));
        QVERIFY(handler.keyPress(zero, ModeFullScreen));
        QVERIFY(handler.keyPress(ctrl6, ModeLive));
        QVERIFY(handler.keyPress(keypad3, ModePlayback));
        QVERIFY(!handler.keyPress(ctrl7, ModeLive));
        QVERIFY(!handler.keyPress(one, ModeLogin));  // typing a port number
        const QList<Recorded> channels = {{"channel", 1}, {"channel", 10}, {"channel", 16}, {"channel", 3}};
        QCOMPARE(target.calls, channels);
    }

    void cameraKeysMoveWhileHeldAndStopOnRelease() {
        FakeTarget target;
        ShortcutHandler handler(target);
        bool highlight = false;
        handler.setNavigationActive([&highlight] { return highlight; });

        QKeyEvent up = press(Qt::Key_Up), upAgain = press(Qt::Key_Up, Qt::NoModifier, true);
        QKeyEvent upRepeatRelease = release(Qt::Key_Up, true), upRelease = release(Qt::Key_Up);
        QVERIFY(handler.keyPress(up, ModeCamera));
        // Auto-repeat while held: release-press pairs, nothing sent.
        for (int i = 0; i < 5; ++i) {
            QVERIFY(handler.keyRelease(upRepeatRelease));
            QVERIFY(handler.keyPress(upAgain, ModeCamera));
        }
        QVERIFY(handler.keyRelease(upRelease));
        QList<Recorded> want = {{"camera", kCamUp}, {"camera", kCamStop}};
        QCOMPARE(target.calls, want);

        // Two keys: the stop comes when the last one is let go.
        target.calls.clear();
        QKeyEvent left = press(Qt::Key_Left), zoomOut = press(Qt::Key_Minus);
        QKeyEvent leftRelease = release(Qt::Key_Left), zoomOutRelease = release(Qt::Key_Minus);
        handler.keyPress(left, ModeCamera);
        handler.keyPress(zoomOut, ModeCamera);
        handler.keyRelease(leftRelease);
        handler.keyRelease(zoomOutRelease);
        want = {{"camera", kCamLeft}, {"camera", kCamZoomOut}, {"camera", kCamStop}};
        QCOMPARE(target.calls, want);

        // A mode change while a key is down stops the camera.
        target.calls.clear();
        handler.keyPress(left, ModeCamera);
        handler.releaseHeldKeys();
        QVERIFY(!handler.keyRelease(leftRelease));
        want = {{"camera", kCamLeft}, {"camera", kCamStop}};
        QCOMPARE(target.calls, want);

        // The arrows belong to the key navigation while its highlight is active, and outside the
        // camera mode they are not camera keys at all.
        target.calls.clear();
        highlight = true;
        QVERIFY(!handler.keyPress(up, ModeCamera));
        QVERIFY(!handler.keyRelease(upRelease));
        highlight = false;
        QVERIFY(!handler.keyPress(up, ModeLive));
        QVERIFY(target.calls.isEmpty());
    }

    void quicklyReleasedCameraKeyStillStopsTheCamera() {
        QTemporaryDir dir;
        const QString log = dir.filePath("requests.log");
        dvr::DvrOptions options;
        options.logFile = log.toStdString();
        dvr::DvrServer dvr(options);
        QVERIFY(dvr.start() != 0);
        CameraController controller;
        CameraKeySender sender(
            controller,
            [&dvr] {
                return CameraTarget{"127.0.0.1", std::to_string(dvr.port()), "", "", 3};
            },
            [] { return 1; });
        // Press and release before the move's request has finished: the stop waits for it.
        sender.send(kCamUp);
        sender.send(kCamLeft);
        sender.send(kCamStop);
        QCOMPARE(sender.waiting(), int(kCamStop));
        QTRY_COMPARE_WITH_TIMEOUT(dvr.stats().cameraRequests, 2, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!controller.busy(), kWaitMs);
        QCOMPARE(sender.waiting(), 0);
        QTest::qWait(200);
        QCOMPARE(dvr.stats().cameraRequests, 2);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains("camctrl_up"), lines[0].constData());
        QVERIFY2(lines[1].contains("stoppt"), lines[1].constData());
    }

    void zoomFollowsTheWheelAboutThePointer() {
        platform::qt::FramebufferView picture;
        picture.resize(320, 240);
        picture.show();
        WindowHandle window = picture.platformWindow();
        auto zoom = std::make_unique<PictureZoom>(&picture, window);
        QSignalSpy changed(zoom.get(), &PictureZoom::zoomChanged);
        const QPointF at(80, 180);
        const auto wheel = [&](int delta) {
            QWheelEvent e(at, picture.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(&picture, &e);
        };
        wheel(240);
        QCOMPARE(changed.count(), 1);
        QVERIFY(zoom->state().zoom() > 1.5);
        // The picture point under the pointer is still the one that was there at 1x.
        const ViewPoint under = zoom->state().pictureAt({0.25, 0.75});
        QVERIFY(qAbs(under.x - 0.25) < 1e-9 && qAbs(under.y - 0.75) < 1e-9);
        QVERIFY(!GetSourceCrop(window).isWhole());
        for (int i = 0; i < 40; ++i) wheel(120);
        QCOMPARE(zoom->state().zoom(), kMaxZoom);

        // Dragging right shows more of the left.
        const double left = zoom->state().left();
        QTest::mousePress(&picture, Qt::LeftButton, {}, QPoint(160, 120));
        QMouseEvent move(QEvent::MouseMove, QPointF(200, 120), picture.mapToGlobal(QPointF(200, 120)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&picture, &move);
        QTest::mouseRelease(&picture, Qt::LeftButton, {}, QPoint(200, 120));
        QVERIFY(zoom->state().left() < left);

        QTest::mouseDClick(&picture, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(zoom->state().zoom(), 1.0);
        QVERIFY(GetSourceCrop(window).isWhole());
        wheel(120);
        zoom.reset();
        QVERIFY(GetSourceCrop(window).isWhole());
    }
};

QTEST_MAIN(ViewsTest)
#include "ViewsTest.moc"
