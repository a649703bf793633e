// The grid, stream health, keyboard shortcuts, digital zoom, frame step and seeking as the user
// reaches them in the main window, against the emulator running inside the test.

#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <functional>
#include <memory>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/connection/ConnectionBringUp.h"
#include "app/extras/ExtrasMenu.h"
#include "app/extras/ViewsController.h"
#include "app/views/GridTile.h"
#include "app/views/GridView.h"
#include "app/views/HealthOverlay.h"
#include "app/views/KeyboardHelpWindow.h"
#include "app/views/PictureZoom.h"
#include "app/views/StatsOverlay.h"
#include "platform/qt/FramebufferView.h"
#include "stream/http/StreamRequest.h"
#include "stream/playback/PlaybackUrl.h"
#include "tests/support/dvr/RunningDvr.h"
#include "tests/support/qt/WindowFixture.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::app;

namespace {

constexpr int kWaitMs = testsupport::kWindowWaitMs;

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier, bool release = false,
         bool repeat = false) {
    QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, k, mods, QString(), repeat);
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : w, &e);
}

int channelOf(const std::string& liveUrl) {
    const auto at = liveUrl.find(';');
    return at == std::string::npos ? 0 : std::atoi(liveUrl.c_str() + at + 1) + 1;
}

}  // namespace

class WindowViewsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    std::unique_ptr<dvr::DvrServer> dvr_;
    testsupport::OnlineProbe probe_;
    testsupport::QuietErrorSink sink_;
    int profiles_ = 0;

    std::unique_ptr<CwmTarselDlg> openAndLogIn(int channel, std::uint16_t port = 0, int failureDelayMs = 100,
                                               const std::function<void(DlgSettings&)>& adjust = {}) {
        // A profile each: a remembered host would bring back the port stored with it.
        DlgSettings s = testsupport::WindowSettings(
            home_.filePath(QStringLiteral("profile%1.txt").arg(++profiles_)).toStdString(), &probe_, &sink_);
        s.initialWidth = 640;
        s.liveTimings.failureDelayUnitMs = failureDelayMs;
        if (adjust) adjust(s);
        auto dlg = testsupport::ShowWindow(s);
        if (!dlg) return nullptr;
        testsupport::LogIn(*dlg, channel, port ? port : dvr_->port());
        if (!QTest::qWaitFor([&] { return dlg->loggedIn(); }, kWaitMs)) return nullptr;
        return dlg;
    }

    bool activeConnectionsFallTo(int n) {
        return QTest::qWaitFor([&] { return dvr_->stats().activeConnections <= n; }, kWaitMs);
    }

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home_.filePath(QStringLiteral("config")).toUtf8());
        QVERIFY(http::OpenInternetRoot("KEMBQM/MSIE"));
        dvr::DvrOptions options;
        options.frameIntervalMs = 40;
        options.recordedSecondsPerHour = 90;
        options.maxConnections = 24;
        dvr_ = testsupport::StartDvr(options);
        QVERIFY(dvr_);
    }

    void cleanupTestCase() {
        dvr_.reset();
        http::CloseInternetRoot();
    }

    // 2x2 and 4x4 from the menu: every tile draws pictures; the single stream rests meanwhile;
    // a double-click opens the tile's channel alone and every tile's session is gone.
    void gridFromTheWindow() {
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        ViewsController* views = dlg->views();
        for (int tiles : {4, 16}) {
            views->showGrid(tiles);
            QVERIFY(views->gridShown());
            QCOMPARE(views->grid()->tileCount(), tiles);
            QVERIFY(!dlg->liveSession().Stats().started);
            for (int i = 0; i < tiles; ++i) {
                GridTile* tile = views->grid()->tile(i);
                QCOMPARE(tile->channel(), i + 1);
                QVERIFY2(QTest::qWaitFor([&] { return tile->stats().framesDecoded > 1; }, kWaitMs),
                         qPrintable(QStringLiteral("tile %1").arg(i + 1)));
            }
            QCOMPARE(views->grid()->geometry(), dlg->view()->geometry());
            QVERIFY(dvr_->stats().activeConnections >= tiles);
        }
        GridTile* third = views->grid()->tile(2);
        QTest::mouseDClick(third, Qt::LeftButton, {}, third->rect().center());
        QVERIFY(!views->gridShown());
        QCOMPARE(channelOf(dlg->liveUrl()), 3);
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        QVERIFY(activeConnectionsFallTo(1));
        QCOMPARE(dlg->mode(), int(ModeLive));

        // Enter on a focused tile opens its channel too; the key navigation does not take it.
        views->showGrid(4);
        GridTile* second = views->grid()->tile(1);
        second->setFocus(Qt::OtherFocusReason);
        QVERIFY(QTest::qWaitFor([&] { return second->hasFocus(); }, kWaitMs));
        QTest::keyClick(second, Qt::Key_Return);
        QVERIFY(!views->gridShown());
        QCOMPARE(channelOf(dlg->liveUrl()), 2);
        QCOMPARE(dlg->mode(), int(ModeLive));

        // Leaving for playback or the login row also ends the grid.
        views->showGrid(4);
        QVERIFY(QTest::qWaitFor([&] { return views->grid()->tile(3)->running(); }, kWaitMs));
        dlg->onButton(id::kLoginModeButton);
        QVERIFY(!views->gridShown());
        QVERIFY(activeConnectionsFallTo(0));
    }

    // The menu button sits right of the channel list on the toolbar row and offers the views.
    void menuButtonOnTheToolbarRow() {
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        QToolButton* button = dlg->extrasMenu()->button();
        const QRect list = dlg->control(id::kChannelList)->geometry();
        QVERIFY(!button->isHidden());
        QCOMPARE(button->geometry().top(), list.top());
        QCOMPARE(button->geometry().height(), list.height());
        QCOMPARE(button->geometry().left(), list.right() + 1);
        QStringList titles;
        for (QAction* a : dlg->extrasMenu()->menu()->actions()) titles << a->text();
        QVERIFY(titles.contains(QStringLiteral("View")));
        QVERIFY(titles.contains(QStringLiteral("Help")));
        dlg->onButton(id::kFullScreenButton);
        QVERIFY(button->isHidden());
    }

    // Keys as the Help window lists them.
    void shortcuts() {
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        ViewsController* views = dlg->views();
        key(dlg.get(), Qt::Key_3);
        QCOMPARE(channelOf(dlg->liveUrl()), 3);
        key(dlg.get(), Qt::Key_0);
        QCOMPARE(channelOf(dlg->liveUrl()), 10);
        key(dlg.get(), Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(channelOf(dlg->liveUrl()), 12);

        key(dlg.get(), Qt::Key_I);
        QVERIFY(!views->statistics()->isHidden());
        key(dlg.get(), Qt::Key_I);
        QVERIFY(views->statistics()->isHidden());

        key(dlg.get(), Qt::Key_G);
        QVERIFY(views->gridShown());
        QCOMPARE(views->grid()->tileCount(), 4);
        key(dlg.get(), Qt::Key_G);
        QCOMPARE(views->grid()->tileCount(), 9);
        key(dlg.get(), Qt::Key_5);  // a channel key in the grid: that channel alone
        QVERIFY(!views->gridShown());
        QCOMPARE(channelOf(dlg->liveUrl()), 5);

        key(dlg.get(), Qt::Key_F);
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        key(dlg.get(), Qt::Key_Escape);
        QCOMPARE(dlg->mode(), int(ModeLive));

        // Camera keys: the move when pressed, nothing on repeat, the stop when released.
        dlg->onButton(id::kCameraButton);
        const int before = dvr_->camera(4).commands;
        key(dlg.get(), Qt::Key_Up);
        QVERIFY(QTest::qWaitFor([&] { return dvr_->camera(4).commands == before + 1; }, kWaitMs));
        key(dlg.get(), Qt::Key_Up, Qt::NoModifier, false, true);
        key(dlg.get(), Qt::Key_Up, Qt::NoModifier, true, true);
        key(dlg.get(), Qt::Key_Up, Qt::NoModifier, false, true);
        key(dlg.get(), Qt::Key_Up, Qt::NoModifier, true);
        QVERIFY(QTest::qWaitFor([&] { return dvr_->camera(4).commands == before + 2; }, kWaitMs));
        QTest::qWait(300);
        QCOMPARE(dvr_->camera(4).commands, before + 2);

        // Typing into a field keeps its digits.
        dlg->onButton(id::kPlaybackButton);
        auto* time = dlg->control(id::kTimePicker);
        time->setFocus();
        const std::string url = dlg->playbackUrl();
        key(dlg.get(), Qt::Key_3);
        QCOMPARE(dlg->playbackUrl(), url);
        QVERIFY(channelOf(dlg->liveUrl()) == 5);
    }

    // Wheel about the pointer keeps that point still, stops at 8x; a double-click resets.
    void zoomInTheWindow() {
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        QWidget* surface = dlg->views()->zoomSurface();
        const QPointF at(surface->width() * 0.25, surface->height() * 0.5);
        auto wheel = [&](int notches) {
            QWheelEvent e(at, surface->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(surface, &e);
        };
        wheel(1);
        const ZoomState& z = dlg->views()->zoom()->state();
        QVERIFY(z.zoom() > 1.0);
        QVERIFY(std::abs(z.left() + 0.25 / z.zoom() - 0.25) < 1e-6);
        QVERIFY(std::abs(z.top() + 0.5 / z.zoom() - 0.5) < 1e-6);
        wheel(40);
        QCOMPARE(z.zoom(), 8.0);
        QVERIFY(std::abs(z.left() + 0.25 / z.zoom() - 0.25) < 1e-6);
        QTest::mouseDClick(surface, Qt::LeftButton, {}, at.toPoint());
        QCOMPARE(z.zoom(), 1.0);
        QVERIFY(testsupport::LivePicturesCome(*dlg, dlg->liveSession().Stats().framesDecoded));
    }

    // A command chosen with the keys is a click: Live leaves the grid. Zoomed in full screen, a
    // drag pans and stays, a tap leaves. The help lists the snapshot key.
    void keyCommandsTapsAndHelp() {
        // Every reading of the clock is five seconds on, so the full-screen tap rule never waits.
        auto dlg = openAndLogIn(1, 0, 100, [](DlgSettings& s) {
            s.tick = [now = std::uint32_t(0)]() mutable { return now += 5000; };
        });
        QVERIFY(dlg);
        QVERIFY(testsupport::LivePicturesCome(*dlg));
        ViewsController* views = dlg->views();
        views->showGrid(4);
        QVERIFY(views->gridShown());
        KeyNavigator& nav = dlg->navigator();
        nav.keyPressed(Qt::Key_Right);
        nav.keyPressed(Qt::Key_Left);
        QCOMPARE(nav.position(), 0);  // the Live button
        nav.keyPressed(Qt::Key_Return);
        QVERIFY(!views->gridShown());
        QCOMPARE(dlg->mode(), int(ModeLive));
        QVERIFY(testsupport::LivePicturesCome(*dlg));

        dlg->onButton(id::kFullScreenButton);
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        QWidget* surface = views->zoomSurface();
        const QPoint at(surface->width() / 2, surface->height() / 2);
        QWheelEvent wheel(at, surface->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &wheel);
        QVERIFY(views->zoom()->state().zoom() > 1.0);
        QTest::mousePress(surface, Qt::LeftButton, {}, at);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, at + QPoint(40, 0));
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        QTest::mouseClick(surface, Qt::LeftButton, {}, at);
        QCOMPARE(dlg->mode(), int(ModeLive));

        KeyboardHelpWindow* help = views->openKeyboardHelp();
        QVERIFY(help);
        QStringList keys;
        for (int row = 0; row < help->table()->rowCount(); ++row) keys << help->table()->item(row, 0)->text();
        QVERIFY(keys.contains(QStringLiteral("S")));
        help->close();
    }

    // Paused playback: one Step shows exactly one new picture; a slider release at 30:00 asks
    // for minute 30 of the same hour.
    void stepAndSeek() {
        auto dlg = openAndLogIn(1);
        QVERIFY(dlg);
        dlg->setPlaybackStart(QDateTime(QDate(2026, 12, 8), QTime(11, 0, 0)));
        dlg->onButton(id::kPlaybackButton);
        auto& player = dlg->player().player();
        QVERIFY(QTest::qWaitFor([&] { return player.DecodedCount() > 3; }, kWaitMs));
        dlg->onButton(id::kPauseButton);
        QTest::qWait(500);
        const auto paused = player.DecodedCount();
        QTest::qWait(300);
        QCOMPARE(player.DecodedCount(), paused);
        key(dlg.get(), Qt::Key_Period);
        QVERIFY(QTest::qWaitFor([&] { return player.DecodedCount() == paused + 1; }, kWaitMs));
        QTest::qWait(500);
        QCOMPARE(player.DecodedCount(), paused + 1);
        QToolButton* step = dlg->views()->stepButton();
        QVERIFY(!step->isHidden());
        step->click();
        QVERIFY(QTest::qWaitFor([&] { return player.DecodedCount() == paused + 2; }, kWaitMs));

        auto* slider = qobject_cast<QSlider*>(dlg->control(id::kPositionSlider));
        const int requests = dvr_->stats().playbackRequests;
        slider->setValue(30 * 60);
        emit slider->sliderReleased();
        const playback::PlaybackRange want = playback::PackPlaybackRange(2026, 12, 8, 11, 30, 0);
        QCOMPARE(dlg->playbackRange().startH, want.startH);
        QCOMPARE(dlg->playbackRange().startL, want.startL);
        QVERIFY(QTest::qWaitFor([&] { return dvr_->stats().playbackRequests > requests; }, kWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return player.DecodedCount() > 0; }, kWaitMs));
    }

    // A stream that stops sending but stays open: after 2 s the box tells the picture's age.
    void stalledStreamInTheLiveView() {
        dvr::DvrOptions options;
        options.frameIntervalMs = 40;
        options.faults.stallAfterBytes = 60000;
        dvr::DvrServer stalling(options);
        const std::uint16_t port = stalling.start();
        QVERIFY(port != 0);
        auto dlg = openAndLogIn(1, port);
        QVERIFY(dlg);
        QVERIFY(QTest::qWaitFor([&] { return dlg->liveSession().Stats().framesDecoded > 0; }, kWaitMs));
        HealthOverlay* health = dlg->views()->health();
        QVERIFY2(QTest::qWaitFor(
                     [&] { return health->text().contains(QRegularExpression("picture [2-9] s old")); }, kWaitMs),
                 qPrintable(health->text()));
        dlg.reset();
    }

    // A refused connection counts down its reconnects, then says the stream is lost and offers
    // Reconnect, which starts a new session. Only a good response starts a new countdown, so the
    // one attempt Reconnect makes on a port still refused ends in the same box again; how soon it
    // fails is the loopback's business, so the test waits for that rather than looking between.
    void refusedStreamInTheLiveView() {
        // A port nobody listens on: a server started and stopped again.
        dvr::DvrServer gone;
        const std::uint16_t port = gone.start();
        QVERIFY(port != 0);
        gone.stop();
        // Delays long enough that each countdown is seen by the box's refresh.
        auto dlg = openAndLogIn(1, port, 500);
        QVERIFY(dlg);
        HealthOverlay* health = dlg->views()->health();
        QVERIFY2(
            QTest::qWaitFor([&] { return health->text().contains(QStringLiteral("reconnecting in")); }, 20000),
            qPrintable(health->text()));
        QVERIFY(health->text().contains(QStringLiteral("of 5)")));
        QVERIFY(QTest::qWaitFor([&] { return health->text().contains(QStringLiteral("stream lost")); }, kWaitMs));
        QVERIFY(health->reconnectOffered());
        const auto before = dlg->liveSession().Stats();
        emit health->reconnectRequested();
        QVERIFY(dlg->liveSession().Stats().startsTotal > before.startsTotal);
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto now = dlg->liveSession().Stats();
                return now.failureCount > before.failureCount && now.gaveUp;
            },
            kWaitMs));
        QCOMPARE(dlg->liveSession().Stats().restartsScheduled, before.restartsScheduled);
        health->refresh();
        QVERIFY(health->text().contains(QStringLiteral("stream lost")));
        QVERIFY(health->reconnectOffered());
    }
};

QTEST_MAIN(WindowViewsTest)
#include "WindowViewsTest.moc"
