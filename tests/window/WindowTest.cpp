// The main window end to end: the demo DVR runs inside the test, the window logs in to it, and
// what the user does (clicks, keys, list choices) is checked against what the DVR received and
// what the picture shows.

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <atomic>
#include <memory>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/connection/ConnectionBringUp.h"
#include "app/layout/Geometry.h"
#include "app/layout/StatusIcon.h"
#include "app/profile/Profile.h"
#include "platform/qt/FramebufferView.h"
#include "stream/http/StreamRequest.h"
#include "stream/playback/PlaybackSpeed.h"
#include "tests/support/dvr/RunningDvr.h"
#include "tests/support/qt/WindowFixture.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::app;

namespace {

// Generous: a loaded 2-core machine under the sanitizers.
constexpr int kWaitMs = 30000;

class RecordingSink : public ErrorMessageSink {
public:
    QStringList messages;
    void showError(const QString& caption, const QString& text) override { messages << caption + ": " + text; }
};

// The fraction of pixels in the rectangle that are not (nearly) black.
double litShare(const QImage& image, const QRect& area) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    const QRect r = area.intersected(img.rect());
    if (r.isEmpty()) return 0;
    int lit = 0;
    for (int y = r.top(); y <= r.bottom(); y += 2)
        for (int x = r.left(); x <= r.right(); x += 2) {
            const QRgb p = img.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 60) ++lit;
        }
    return double(lit) / double(((r.height() + 1) / 2) * ((r.width() + 1) / 2));
}

QStringList requestTargets(const QString& logPath, const QString& page) {
    QFile f(logPath);
    QStringList targets;
    if (!f.open(QIODevice::ReadOnly)) return targets;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const int at = line.indexOf("\"target\":\"");
        if (at < 0) continue;
        const int start = at + 10;
        const QString target = QString::fromUtf8(line.mid(start, line.indexOf('"', start) - start));
        if (target.contains(page)) targets << target;
    }
    return targets;
}

QString withoutZzw(QString target) { return target.remove(QRegularExpression(QStringLiteral("zzw=[0-9]+"))); }

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<dvr::DvrServer> dvr_;
    testsupport::OnlineProbe probe_;
    RecordingSink sink_;
    std::uint32_t fakeTick_ = 100000;
    int profileCounter_ = 0;

    QString logPath() const { return dir_.filePath(QStringLiteral("dvr.jsonl")); }

    DlgSettings settings(const QString& profile = {}) {
        DlgSettings s = testsupport::WindowSettings(
            (profile.isEmpty() ? dir_.filePath(QStringLiteral("profile%1.txt").arg(++profileCounter_)) : profile)
                .toStdString(),
            &probe_, &sink_);
        s.tick = [this] { return fakeTick_; };
        return s;
    }

    std::unique_ptr<CwmTarselDlg> openWindow(const QString& profile = {}) {
        return testsupport::ShowWindow(settings(profile));
    }

    void login(CwmTarselDlg& dlg, int channel = 1) { testsupport::LogIn(dlg, channel, dvr_->port()); }

    static QComboBox* combo(CwmTarselDlg& dlg, int id) { return qobject_cast<QComboBox*>(dlg.control(id)); }

    // A list choice as the user makes it: the selection, then the notification.
    static void choose(CwmTarselDlg& dlg, int id, int index) {
        QComboBox* c = combo(dlg, id);
        c->setCurrentIndex(index);
        emit c->activated(index);
    }

    static bool groupVisible(CwmTarselDlg& dlg, const std::vector<int>& ids) {
        for (int id : ids)
            if (!dlg.control(id)->isVisible()) return false;
        return true;
    }

    static void key(CwmTarselDlg& dlg, Qt::Key k) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &dlg;
        QTest::keyClick(target, k);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());  // nothing may touch the real profile
        QVERIFY(http::OpenInternetRoot("KEMBQM/MSIE"));
        dvr::DvrOptions options;
        options.port = 0;
        options.logFile = logPath().toStdString();
        options.frameIntervalMs = 40;
        options.recordedSecondsPerHour = 40;
        dvr_ = testsupport::StartDvr(options);
        QVERIFY(dvr_);
    }

    void cleanupTestCase() {
        dvr_.reset();
        http::CloseInternetRoot();
    }

    void firstStartShowsDefaultsAndLoginRowBelowTheTop() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Vistrel"));
        QCOMPARE(dlg->width(), 480);
        QCOMPARE(dlg->mode(), int(ModeLogin));
        QVERIFY(groupVisible(*dlg, LoginRowIds()));
        QVERIFY(!dlg->view()->isVisible());
        QCOMPARE(dlg->control(id::kHostCombo)->y(), 30 + LayoutUnit(480) / 2);
        QCOMPARE(combo(*dlg, id::kHostCombo)->currentText(), QString::fromLatin1(kDefaultProfileHost));
        QCOMPARE(qobject_cast<QLineEdit*>(dlg->control(id::kPortEdit))->text(), QStringLiteral("80"));
        QCOMPARE(qobject_cast<QLineEdit*>(dlg->control(id::kPasswordEdit))->echoMode(), QLineEdit::Password);
        QCOMPARE(combo(*dlg, id::kChannelList)->currentText(), QStringLiteral("1"));
        QCOMPARE(combo(*dlg, id::kPlaySpeedList)->currentText(), QStringLiteral("1X"));
        QCOMPARE(combo(*dlg, id::kCameraSpeedList)->currentText(), QStringLiteral("normal"));
        QCOMPARE(combo(*dlg, id::kChannelList)->maxVisibleItems(), 5);
        QCOMPARE(combo(*dlg, id::kHostCombo)->maxVisibleItems(), 4);
        QVERIFY(QFile::exists(QString::fromStdString(dlg->profilePath())));
    }

    // Only a typed text that equals no item exactly joins the list; a new host keeps its port.
    void loginAddsTypedHostOnlyWhenNew() {
        const QString profile = dir_.filePath(QStringLiteral("hosts.txt"));
        {
            QFile f(profile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(
                "QM_HOST_COUNT=2#\r\nQM_ACCOUNT_COUNT=1#\r\nQM_HOST0=localhost#\r\nQM_PORT0=81#\r\n"
                "QM_HOST1=127.0.0.1#\r\nQM_PORT1=82#\r\nQM_NAME0=admin#\r\n");
        }
        auto dlg = openWindow(profile);
        QVERIFY(dlg);
        QComboBox* hosts = combo(*dlg, id::kHostCombo);
        QCOMPARE(hosts->count(), 2);
        // Picking a host from the list restores its port.
        hosts->setCurrentIndex(1);
        emit hosts->activated(1);
        QCOMPARE(qobject_cast<QLineEdit*>(dlg->control(id::kPortEdit))->text(), QStringLiteral("82"));

        login(*dlg);  // "127.0.0.1" typed: already in the list
        QCOMPARE(dlg->mode(), int(ModeLive));
        QCOMPARE(hosts->count(), 2);

        dlg->onButton(id::kLoginModeButton);
        QCOMPARE(dlg->mode(), int(ModeLogin));
        dlg->setLoginFields(QStringLiteral("LOCALHOST"), QString::number(dvr_->port()), QStringLiteral("admin"),
                            {});
        dlg->Login();  // differs from "localhost" only in case: a new host; "admin" is known
        QCOMPARE(hosts->count(), 3);
        QCOMPARE(hosts->itemText(2), QStringLiteral("LOCALHOST"));
        QCOMPARE(combo(*dlg, id::kUserCombo)->count(), 1);

        QFile f(profile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("QM_HOST_COUNT=3#\r\n"));
        QVERIFY(text.contains("QM_HOST2=LOCALHOST#\r\nQM_PORT2=" + QByteArray::number(dvr_->port()) + "#\r\n"));
        QVERIFY(text.contains("QM_PORT0=81#\r\n"));
        dlg->onButton(id::kLoginModeButton);

        // A failed bring-up says why and leaves the login row as it was.
        probe_.answer = NetworkStatus::Disconnected;
        sink_.messages.clear();
        dlg->setLoginFields(QStringLiteral("198.51.100.7"), QStringLiteral("80"), {}, {});
        dlg->Login();
        probe_.answer = NetworkStatus::ConnectedGlobal;
        QCOMPARE(sink_.messages.size(), 1);
        QVERIFY(sink_.messages[0].startsWith(QStringLiteral("Connection Manager: ")));
        QCOMPARE(dlg->mode(), int(ModeLogin));
        QCOMPARE(hosts->count(), 3);
        QVERIFY(dlg->control(id::kLoginButton)->isEnabled());
    }

    // Channel "5" is asked for as 4; choosing the channel already shown restarts its stream.
    void channelSwitchAndReselect() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg, 5);
        QVERIFY(dlg->liveUrl().find("/pushall.htm;4?scrw=1024") != std::string::npos);
        QCOMPARE(QString::fromStdString(dlg->liveUrl()),
                 QStringLiteral("http://127.0.0.1:%1/pushall.htm;4?scrw=1024").arg(dvr_->port()));
        const auto starts = dlg->liveSession().Stats().startsTotal;
        choose(*dlg, id::kChannelList, 4);                         // "5" again
        QCOMPARE(dlg->liveSession().Stats().startsTotal, starts);  // not yet: the re-post is queued
        QTRY_COMPARE_WITH_TIMEOUT(dlg->liveSession().Stats().startsTotal, starts + 1, kWaitMs);
        choose(*dlg, id::kChannelList, 15);
        QVERIFY(dlg->liveUrl().find("/pushall.htm;15?") != std::string::npos);
        QCOMPARE(dlg->liveSession().Stats().startsTotal, starts + 2);
    }

    // Live pictures of both codings travel from the DVR to the framebuffer and the painted window.
    void livePicturesReachTheWindow_data() {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("depth");
        using platform::qt::ScreenDepth;
        QTest::newRow("H.263, 32 bits") << 1 << int(ScreenDepth::Rgb32);
        QTest::newRow("MPEG-4, 32 bits") << 9 << int(ScreenDepth::Rgb32);
        QTest::newRow("H.263, 8 bits") << 2 << int(ScreenDepth::Indexed8);
        QTest::newRow("MPEG-4, 5-6-5") << 10 << int(ScreenDepth::Rgb565);
    }
    void livePicturesReachTheWindow() {
        QFETCH(int, channel);
        QFETCH(int, depth);
        DlgSettings s = settings();
        s.screenDepth = platform::qt::ScreenDepth(depth);
        auto dlg = std::make_unique<CwmTarselDlg>(s);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        login(*dlg, channel);
        const QRect picture(0, 0, dlg->width(), PictureHeight(dlg->width()));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->liveSession().Stats().framesDecoded >= 3, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->view()->presentedCount() >= 3, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(litShare(dlg->view()->grabFramebuffer(), picture) > 0.3, kWaitMs);
        const QImage window = dlg->grabWindow();
        QVERIFY(litShare(window, picture) > 0.3);
        // The toolbar is drawn below the picture, not over it.
        QVERIFY(dlg->control(id::kLiveButton)->geometry().top() >= picture.bottom());
    }

    // Mode commands start and stop the right stream, as the DVR sees it.
    void modeCommandsDriveTheStreams() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        const dvr::DvrStats before = dvr_->stats();
        login(*dlg);
        QTRY_VERIFY_WITH_TIMEOUT(dvr_->stats().liveRequests > before.liveRequests, kWaitMs);

        dlg->onButton(id::kPlaybackButton);
        QCOMPARE(dlg->mode(), int(ModePlayback));
        QVERIFY(groupVisible(*dlg, PlaybackBarIds()) && groupVisible(*dlg, ToolbarIds()));
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().playbackRequests, before.playbackRequests + 1, kWaitMs);
        // The live connection has gone (the playback one may already have ended: the recording is short).
        QTRY_VERIFY_WITH_TIMEOUT(dvr_->stats().activeConnections <= 1, kWaitMs);
        dlg->onButton(id::kPlaybackTwin);  // a second press keeps the running playback
        QTest::qWait(200);
        QCOMPARE(dvr_->stats().playbackRequests, before.playbackRequests + 1);
        QCOMPARE(dlg->player().state(), playback::PlaybackSession::kStatePlaying);

        const int live = dvr_->stats().liveRequests;
        dlg->onButton(id::kCameraButton);
        QCOMPARE(dlg->mode(), int(ModeCamera));
        QVERIFY(groupVisible(*dlg, CameraPadIds()) && !dlg->control(id::kPlayButton)->isVisible());
        QVERIFY(dlg->player().state() != playback::PlaybackSession::kStatePlaying);
        QTRY_VERIFY_WITH_TIMEOUT(dvr_->stats().liveRequests > live, kWaitMs);

        dlg->onButton(id::kLoginModeButton);
        QCOMPARE(dlg->mode(), int(ModeLogin));
        QVERIFY(groupVisible(*dlg, LoginRowIds()) && !dlg->control(id::kLiveButton)->isVisible());
        // The picture is reserved now: the login row sits below it.
        QVERIFY(dlg->control(id::kHostCombo)->y() >= PictureHeight(dlg->width()));
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().activeConnections, 0, kWaitMs);
    }

    void fullScreenHidesEverythingUntilALateTap() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        dlg->onButton(id::kCameraButton);
        dlg->onButton(id::kFullScreenButton);
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        for (int id : {id::kLiveButton, id::kChannelList, id::kCamUp, id::kCameraSpeedList, id::kHostCombo,
                       id::kPlayButton, id::kStatusIcon})
            QVERIFY2(!dlg->control(id)->isVisible(), qPrintable(QString::number(id)));
        QVERIFY(!dlg->control(id::kChannelList)->isEnabled());
        QVERIFY(dlg->view()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(dlg->view()->geometry(), dlg->rect(), kWaitMs);

        fakeTick_ += 2999;  // a tap within 3 s is ignored
        QTest::mouseClick(dlg.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        fakeTick_ += 2;
        QTest::mouseClick(dlg.get(), Qt::RightButton, {}, QPoint(20, 20));
        QCOMPARE(dlg->mode(), int(ModeFullScreen));
        QTest::mouseClick(dlg.get(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(dlg->mode(), int(ModeCamera));
        QVERIFY(groupVisible(*dlg, CameraPadIds()) && groupVisible(*dlg, ToolbarIds()));
        QVERIFY(dlg->control(id::kChannelList)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(dlg->view()->height(), PictureHeight(dlg->width()), kWaitMs);

        // Enter leaves full screen at once.
        dlg->onButton(id::kFullScreenButton);
        key(*dlg, Qt::Key_Return);
        QCOMPARE(dlg->mode(), int(ModeCamera));
    }

    void exitLeavesNoStreamRunning() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        QTRY_VERIFY_WITH_TIMEOUT(dvr_->stats().activeConnections >= 1, kWaitMs);
        QSignalSpy exited(dlg.get(), &CwmTarselDlg::exited);
        dlg->onButton(id::kExitButton);
        QVERIFY(!dlg->control(id::kLiveButton)->isEnabled());
        QVERIFY(dlg->isVisible());  // the exit wait runs on a timer: the window still paints
        QVERIFY(exited.wait(kWaitMs));
        QVERIFY(!dlg->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().activeConnections, 0, kWaitMs);
    }

    // The playback bar: speed changes, pause and resume, stop and re-request.
    void playbackControls() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        const QDateTime now = QDateTime::currentDateTime();
        dlg->setPlaybackStart(QDateTime(now.date(), QTime(now.time().hour(), 0, 0)));
        const int requests = dvr_->stats().playbackRequests;
        dlg->onButton(id::kPlaybackButton);
        auto* icon = qobject_cast<StatusIcon*>(dlg->control(id::kStatusIcon));
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().playbackRequests, requests + 1, kWaitMs);

        choose(*dlg, id::kPlaySpeedList, 5);  // "(1/4)X"
        QCOMPARE(dlg->playerSpeedCode(), playback::kSpeedQuarter);
        QCOMPARE(dlg->player().speed(), playback::kSpeedQuarter);
        choose(*dlg, id::kPlaySpeedList, 5);  // again: set once more after the re-post
        QTest::qWait(100);
        QCOMPARE(dlg->player().speed(), playback::kSpeedQuarter);

        dlg->onButton(id::kPauseButton);
        QCOMPARE(icon->kind(), 5);
        QCOMPARE(dlg->player().player().CurrentCommand(), playback::kCommandPause);
        dlg->onButton(id::kPlayButton);  // resumes: no new request
        QCOMPARE(icon->kind(), 1);
        QTest::qWait(300);
        QCOMPARE(dvr_->stats().playbackRequests, requests + 1);

        dlg->onButton(id::kStopTwin);
        QCOMPARE(dlg->player().state(), playback::PlaybackSession::kStateStopped);
        dlg->onButton(id::kPlayTwin);  // after a stop: a new request
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().playbackRequests, requests + 2, kWaitMs);
        QCOMPARE(combo(*dlg, id::kPlaySpeedList)->currentText(), QStringLiteral("1X"));
        QCOMPARE(dlg->player().speed(), playback::kSpeed1X);

        // A new time pauses, and the next Play asks for the new range.
        auto* time = qobject_cast<QTimeEdit*>(dlg->control(id::kTimePicker));
        time->setTime(QTime(now.time().hour(), 0, 5));
        QCOMPARE(icon->kind(), 5);
        QCOMPARE(dlg->player().player().CurrentCommand(), playback::kCommandPause);
        dlg->onButton(id::kPlayButton);
        QTRY_COMPARE_WITH_TIMEOUT(dvr_->stats().playbackRequests, requests + 3, kWaitMs);
        QCOMPARE(dlg->playbackRange().startL & 0xff000000u, 5u << 24);
    }

    // Enter on the date picker (reached by the arrow keys) opens its calendar, pauses, shows paused.
    void datePopupPauses() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        dlg->onButton(id::kPlaybackButton);
        for (int i = 0; i < 3; ++i) key(*dlg, Qt::Key_Right);  // Stop, Pause, then the date picker
        QCOMPARE(dlg->navigator().position(), 3);
        QCOMPARE(QApplication::focusWidget(), dlg->control(id::kDatePicker));
        key(*dlg, Qt::Key_Return);
        auto* date = qobject_cast<QDateEdit*>(dlg->control(id::kDatePicker));
        QTRY_VERIFY_WITH_TIMEOUT(date->calendarWidget()->isVisible(), kWaitMs);
        QCOMPARE(qobject_cast<StatusIcon*>(dlg->control(id::kStatusIcon))->kind(), 5);
        QCOMPARE(dlg->player().player().CurrentCommand(), playback::kCommandPause);
        date->calendarWidget()->window()->close();
    }

    // The arrow keys walk into the time edit, change a field, and go on to the next field.
    void keysChangeTheTimeFieldByField() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        dlg->setPlaybackStart(QDateTime(QDate(2009, 2, 24), QTime(13, 5, 7)));
        dlg->onButton(id::kPlaybackButton);
        for (int i = 0; i < 4; ++i) key(*dlg, Qt::Key_Right);  // Stop, Pause, date, the hour field
        auto* time = qobject_cast<QTimeEdit*>(dlg->control(id::kTimePicker));
        QCOMPARE(QApplication::focusWidget(), time);
        QCOMPARE(time->currentSection(), QDateTimeEdit::HourSection);
        key(*dlg, Qt::Key_Up);
        QCOMPARE(time->time(), QTime(14, 5, 7));
        key(*dlg, Qt::Key_Right);
        QCOMPARE(dlg->navigator().position(), 4);
        QCOMPARE(time->currentSection(), QDateTimeEdit::MinuteSection);
        key(*dlg, Qt::Key_Down);
        QCOMPARE(time->time(), QTime(14, 4, 7));
        dlg->onButton(id::kPlayButton);  // the changed time is asked for
        QCOMPARE(dlg->playbackRange().startL, 0x07040e00u);
    }

    // A recorded hour plays at 4X: the slider and the time text move, and pictures are drawn.
    void playbackEndToEnd() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg, 13);  // MPEG-4 with audio
        const QDateTime now = QDateTime::currentDateTime();
        const int hour = now.time().hour();
        dlg->setPlaybackStart(QDateTime(now.date(), QTime(hour, 0, 0)));
        dlg->onButton(id::kPlaybackButton);
        QVERIFY(dlg->playbackUrl().find("/dvr_playback.htm?func=read&video_source=FFFF&startH=") !=
                std::string::npos);
        choose(*dlg, id::kPlaySpeedList, 3);  // "4X"
        QCOMPARE(dlg->player().speed(), playback::kSpeed4X);
        auto* slider = qobject_cast<QSlider*>(dlg->control(id::kPositionSlider));
        auto* text = qobject_cast<QLabel*>(dlg->control(id::kTimeText));
        QCOMPARE(slider->maximum(), 3600);
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() >= 4, kWaitMs);
        QVERIFY(text->text().startsWith(QStringLiteral("%1:00:").arg(hour, 2, 10, QLatin1Char('0'))));
        QVERIFY(text->text() != QStringLiteral("%1:00:00").arg(hour, 2, 10, QLatin1Char('0')));
        QVERIFY(dlg->player().player().DecodedCount() > 0);
        const QRect picture(0, 0, dlg->width(), PictureHeight(dlg->width()));
        QTRY_VERIFY_WITH_TIMEOUT(litShare(dlg->view()->grabFramebuffer(), picture) > 0.3, kWaitMs);
    }

    // Enter on a highlighted camera arrow sends the request a click sends.
    void enterOnCameraArrowSendsTheClickRequest() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg, 3);
        dlg->onButton(id::kCameraButton);
        choose(*dlg, id::kCameraSpeedList, 2);  // "fast"
        QSignalSpy done(dlg.get(), &CwmTarselDlg::cameraCommandDone);
        const int before = dvr_->stats().cameraRequests;

        QTest::mouseClick(dlg->control(id::kCamUp), Qt::LeftButton);
        QVERIFY(done.wait(kWaitMs));
        QVERIFY(done.takeFirst().at(0).toBool());
        QVERIFY(dlg->control(id::kCamUp)->isEnabled());

        key(*dlg, Qt::Key_Right);  // highlights position 1: up
        QVERIFY(dlg->control(id::kCamUpTwin)->isVisible());
        QVERIFY(!dlg->control(id::kCamUp)->isVisible());
        key(*dlg, Qt::Key_Return);
        QVERIFY(done.wait(kWaitMs));
        QCOMPARE(dvr_->stats().cameraRequests, before + 2);

        // The emulator logs a request once it has answered it, so the line may come a little later.
        QStringList targets;
        QVERIFY(QTest::qWaitFor(
            [&] {
                targets = requestTargets(logPath(), QStringLiteral("cam_ctrl.htm"));
                return targets.size() >= 2;
            },
            kWaitMs));
        const QString click = targets[targets.size() - 2], enter = targets.last();
        QCOMPARE(withoutZzw(enter), withoutZzw(click));
        QVERIFY(click.contains(QStringLiteral("Video_Source=3&zzw=")));
        QVERIFY(click.endsWith(QStringLiteral("&Speed=2&camctrl_up=up")));
        QCOMPARE(dvr_->camera(2).commands, 2);
    }

    // The layout follows the window's width.
    void resizeRelaysEveryGroup() {
        auto dlg = openWindow();
        QVERIFY(dlg);
        login(*dlg);
        dlg->onButton(id::kPlaybackButton);
        dlg->resize(240, dlg->height());
        QTRY_COMPARE_WITH_TIMEOUT(dlg->control(id::kPositionSlider)->geometry(), QRect(75, 195, 75, 20), kWaitMs);
        QCOMPARE(dlg->control(id::kStatusIcon)->geometry(), QRect(0, 180, 15, 15));
        QCOMPARE(dlg->view()->geometry(), QRect(0, 0, 240, 180));
        dlg->resize(800, dlg->height());
        QTRY_COMPARE_WITH_TIMEOUT(dlg->view()->geometry(), QRect(0, 0, 800, 600), kWaitMs);
        dlg->resize(100, dlg->height());
        QCOMPARE(dlg->width(), 240);
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
