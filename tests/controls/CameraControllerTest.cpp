// Camera commands as the DVR emulator receives them, and a window that stays responsive while a
// request hangs.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/camera/CameraController.h"
#include "stream/http/StreamRequest.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using app::CameraController;
using app::CameraSuffixFor;
using app::CameraTarget;
namespace id = vistrel::app::id;

namespace {

// Generous: the machine running the tests may be heavily loaded.
constexpr int kAnswerWaitMs = 20000;

// Short limits so that the hanging cases end soon.
constexpr long kTestConnectMs = 500;
constexpr long kTestTotalMs = 1500;
// Long enough that a starved event loop still turns a few times before the hung request ends.
constexpr long kStallTotalMs = 4000;

std::string jsonField(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    const auto start = line.find(key);
    if (start == std::string::npos) return {};
    const auto from = start + key.size();
    return line.substr(from, line.find('"', from) - from);
}

// The targets of the camera requests the emulator logged.
std::vector<std::string> cameraTargets(const QString& logPath) {
    std::vector<std::string> targets;
    std::ifstream in(logPath.toStdString());
    for (std::string line; std::getline(in, line);)
        if (line.find("\"page\":\"camera\"") != std::string::npos) targets.push_back(jsonField(line, "target"));
    return targets;
}

CameraTarget targetFor(const dvr::DvrServer& server, int channel) {
    CameraTarget t;
    t.host = "127.0.0.1";
    t.port = std::to_string(server.port());
    t.channel = channel;
    return t;
}

bool sendAndWait(CameraController& controller, const CameraTarget& target, const std::string& suffix) {
    QSignalSpy spy(&controller, &CameraController::finished);
    controller.send(target, suffix);
    if (!spy.wait(kAnswerWaitMs) || spy.count() != 1) return false;
    return spy.at(0).at(0).toBool();
}

}  // namespace

class CameraControllerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(http::OpenInternetRoot("KEMBQM/MSIE")); }
    void cleanupTestCase() { http::CloseInternetRoot(); }

    void suffixesOfButtonsAndTwins() {
        QCOMPARE(CameraSuffixFor(id::kCamUpLeft, 1), std::string("&Speed=1&camctrl_upleft=upleft"));
        QCOMPARE(CameraSuffixFor(id::kCamStopTwin, 0), std::string("&Speed=0&camctrl_stoppt=stoppt"));
        QCOMPARE(CameraSuffixFor(id::kCamZoomIn, 2), std::string("&Speed=2&camctrl_zoomin=zoomin"));
        QCOMPARE(CameraSuffixFor(id::kCamFocusFarTwin, -1), std::string("&Speed=-1&camctrl_focusfar=focusfar"));
        for (int button = id::kFirstCameraButton; button <= id::kLastCameraButton; ++button)
            QCOMPARE(CameraSuffixFor(button + id::kCameraTwinOffset, 1), CameraSuffixFor(button, 1));
        for (int other : {id::kFirstCameraButton - 1, id::kLastCameraButton + 1, 1079, 1093, id::kLiveButton, 0})
            QVERIFY(CameraSuffixFor(other, 1).empty());
    }

    void commandsReachTheDvrAsSent() {
        QTemporaryDir dir;
        const QString log = dir.filePath("dvr.jsonl");
        dvr::DvrServer server(dvr::DvrOptions{.logFile = log.toStdString()});
        QVERIFY(server.start() != 0);
        CameraController controller;

        // Channel 16 goes out as 16; with no speed selected the DVR gets -1.
        QVERIFY(sendAndWait(controller, targetFor(server, 16), CameraSuffixFor(id::kCamUp, -1)));
        // "fast", then the up button's twin: the same command as the button.
        QVERIFY(sendAndWait(controller, targetFor(server, 3), CameraSuffixFor(id::kCamUpTwin, 2)));
        QVERIFY(sendAndWait(controller, targetFor(server, 3), CameraSuffixFor(id::kCamUp, 2)));
        QVERIFY(sendAndWait(controller, targetFor(server, 3), CameraSuffixFor(id::kCamStop, 2)));
        QVERIFY(!controller.busy());

        // The log line is written after the answer went out.
        QTRY_COMPARE_WITH_TIMEOUT(cameraTargets(log).size(), std::size_t(4), kAnswerWaitMs);
        const auto targets = cameraTargets(log);
        std::set<int> zzws;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const std::string& t = targets[i];
            const std::string channel = i == 0 ? "16" : "3";
            const std::string prefix = "/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=" + channel + "&zzw=";
            QVERIFY2(t.rfind(prefix, 0) == 0, t.c_str());
            const std::size_t amp = t.find('&', prefix.size());
            const int zzw = std::stoi(t.substr(prefix.size(), amp - prefix.size()));
            QVERIFY(zzw >= 0 && zzw <= 998);
            zzws.insert(zzw);
        }
        QVERIFY(targets[0].ends_with("&Speed=-1&camctrl_up=up"));
        QVERIFY(targets[1].ends_with("&Speed=2&camctrl_up=up"));
        QVERIFY(targets[3].ends_with("&Speed=2&camctrl_stoppt=stoppt"));
        // Each request draws a new zzw: four equal ones come once in a billion runs.
        QVERIFY(zzws.size() > 1);

        QCOMPARE(server.camera(15).commands, 1);
        QCOMPARE(server.camera(2).commands, 3);
        QCOMPARE(server.stats().cameraRequests, 4);
    }

    void oneRequestAtATime() {
        dvr::DvrServer server;
        QVERIFY(server.start() != 0);
        CameraController controller;
        QSignalSpy spy(&controller, &CameraController::finished);
        controller.send(targetFor(server, 1), CameraSuffixFor(id::kCamLeft, 1));
        QVERIFY(controller.busy());
        controller.send(targetFor(server, 1), CameraSuffixFor(id::kCamRight, 1));  // refused
        QVERIFY(spy.wait(kAnswerWaitMs));
        QVERIFY(spy.at(0).at(0).toBool());
        QVERIFY(!controller.busy());
        QTest::qWait(200);  // a second finished() or request would have come by now
        QCOMPARE(spy.count(), 1);
        QCOMPARE(server.stats().cameraRequests, 1);
        QCOMPARE(server.camera(0).commands, 1);
    }

    void credentialsOfferedWhenTheDvrAsks() {
        dvr::DvrOptions options;
        options.auth = dvr::AuthMode::Digest;
        options.authCameraCommands = true;
        options.user = "admin";
        options.password = "s3cret";
        dvr::DvrServer server(options);
        QVERIFY(server.start() != 0);
        CameraController controller;

        CameraTarget target = targetFor(server, 2);
        target.user = "admin";
        target.password = "s3cret";
        QVERIFY(sendAndWait(controller, target, CameraSuffixFor(id::kCamZoomIn, 1)));
        QCOMPARE(controller.lastResult().status, 200L);
        QCOMPARE(server.camera(1).zoomPercent, 125);

        // A wrong password is a failure, not a sent command.
        target.password = "wrong";
        QVERIFY(!sendAndWait(controller, target, CameraSuffixFor(id::kCamZoomIn, 1)));
        QCOMPARE(controller.lastResult().status, 401L);
        QCOMPARE(server.camera(1).zoomPercent, 125);
        QCOMPARE(server.stats().cameraRequests, 1);
    }

    void badPortTextSendsNothing() {
        dvr::DvrServer server;
        QVERIFY(server.start() != 0);
        CameraController controller;
        for (const char* port : {"", "http", "80x", "0", "65536", "-1", "1234567890"}) {
            CameraTarget target = targetFor(server, 1);
            target.port = port;
            QVERIFY2(!sendAndWait(controller, target, CameraSuffixFor(id::kCamUp, 1)), port);
            QVERIFY(!controller.busy());
        }
        QCOMPARE(server.stats().connections, 0);
    }

    void unreachableDvrFinishesUnanswered() {
        std::uint16_t closedPort = 0;
        {
            dvr::DvrServer gone;
            closedPort = gone.start();
            QVERIFY(closedPort != 0);
        }
        CameraController controller;
        controller.setTimeLimits(kTestConnectMs, kTestTotalMs);
        CameraTarget target;
        target.host = "127.0.0.1";
        target.port = std::to_string(closedPort);
        QVERIFY(!sendAndWait(controller, target, CameraSuffixFor(id::kCamUp, 1)));
        QVERIFY(!controller.lastResult().answered);
        QVERIFY(!controller.lastResult().error.empty());
    }

    void stalledDvrLeavesTheGuiThreadRunning() {
        dvr::DvrOptions options;
        options.faults.stallAfterBytes = 0;  // takes the request, never answers
        dvr::DvrServer server(options);
        QVERIFY(server.start() != 0);
        CameraController controller;
        controller.setTimeLimits(kTestConnectMs, kStallTotalMs);

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(10);
        QSignalSpy spy(&controller, &CameraController::finished);
        controller.send(targetFor(server, 1), CameraSuffixFor(id::kCamUp, 1));
        // The event loop keeps turning while the request hangs...
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, kAnswerWaitMs);
        QVERIFY(controller.busy());
        // ...and the hung request ends at its time limit.
        QVERIFY(spy.count() == 1 || spy.wait(kAnswerWaitMs));
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QVERIFY(!controller.lastResult().answered);
    }

    void destroyedWhileARequestHangs() {
        dvr::DvrOptions options;
        options.faults.stallAfterBytes = 0;
        dvr::DvrServer server(options);
        QVERIFY(server.start() != 0);
        auto controller = std::make_unique<CameraController>();
        controller->setTimeLimits(kTestConnectMs, kTestTotalMs);
        int finishedCount = 0;
        connect(controller.get(), &CameraController::finished, [&finishedCount] { ++finishedCount; });
        controller->send(targetFor(server, 1), CameraSuffixFor(id::kCamUp, 1));
        controller.reset();  // waits out the request; its late result must go nowhere
        QTest::qWait(100);
        QCOMPARE(finishedCount, 0);
    }
};

QTEST_GUILESS_MAIN(CameraControllerTest)
#include "CameraControllerTest.moc"
