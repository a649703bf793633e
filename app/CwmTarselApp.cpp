#include "app/CwmTarselApp.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/demo/DemoDvr.h"
#include "app/extras/ViewsController.h"
#include "base/DvrProtocol.h"
#include "stream/http/StreamRequest.h"

namespace vistrel::app {

namespace {

constexpr const char* kSocketsFailedText = "Windows sockets initialization failed.";
// Modes are switched this long after the demo login, so the live view has its first pictures.
constexpr int kDemoModeDelayMs = 1500;

int buttonForMode(int mode) {
    switch (mode) {
        case ModeLive: return id::kLiveButton;
        case ModeCamera: return id::kCameraButton;
        case ModePlayback: return id::kPlaybackButton;
        case ModeFullScreen: return id::kFullScreenButton;
        case ModeLogin: return id::kLoginModeButton;
        default: return 0;
    }
}

}  // namespace

CwmTarselApp::CwmTarselApp(AppOptions options) : options_(std::move(options)) {}

CwmTarselApp::~CwmTarselApp() = default;

int CwmTarselApp::start() {
    if (!http::OpenInternetRoot(base::kCommandUserAgent)) {
        QMessageBox::warning(nullptr, QStringLiteral("Vistrel"), QString::fromLatin1(kSocketsFailedText),
                             QMessageBox::Ok);
        return 1;
    }
    status_ = 0;
    {
        DlgSettings settings;
        settings.screenDepth = options_.screenDepth;
        if (options_.width > 0) settings.initialWidth = options_.width;
        // The demo DVR's address changes with every run: it stays out of the user's own host list.
        QTemporaryDir demoProfileDir;
        if (options_.demo && demoProfileDir.isValid())
            settings.profilePath = demoProfileDir.filePath(QStringLiteral("profile(wmQM).txt")).toStdString();
        CwmTarselDlg dialog(settings);
        QObject::connect(&dialog, &CwmTarselDlg::exited, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        dialog.show();

        if (options_.demo && !startDemo(dialog)) {
            status_ = 1;
        } else {
            if (options_.quitAfterSeconds > 0) {
                QTimer::singleShot(int(options_.quitAfterSeconds * 1000), &dialog, [this, &dialog] {
                    if (!options_.screenshot.empty() && !saveScreenshot(dialog)) status_ = 1;
                    dialog.onButton(id::kExitButton);
                });
            }
            QApplication::exec();
        }
        // The dialog's teardown stops both streams before the demo DVR goes away.
    }
    if (demo_) demo_->stop();
    http::CloseInternetRoot();
    return status_;
}

bool CwmTarselApp::startDemo(CwmTarselDlg& dialog) {
    demo_ = std::make_unique<DemoDvr>();
    std::string error;
    if (!demo_->start(options_.dvrLog, &error)) {
        std::fprintf(stderr, "vistrel: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "vistrel: demo DVR listening on http://%s:%u\n", demo_->host().c_str(),
                 unsigned(demo_->port()));
    dialog.setLoginFields(QString::fromStdString(demo_->host()), QString::number(demo_->port()), QString(),
                          QString());
    dialog.setChannel(options_.channel);
    // The emulator records the first minutes of every hour: playback from the top of this hour
    // always finds something.
    const QDateTime now = QDateTime::currentDateTime();
    dialog.setPlaybackStart(QDateTime(now.date(), QTime(now.time().hour(), 0, 0)));
    dialog.Login();
    if (options_.mode != 0 && options_.mode != ModeLive) {
        const int button = buttonForMode(options_.mode);
        QTimer::singleShot(kDemoModeDelayMs, &dialog, [&dialog, button] { dialog.onButton(button); });
    }
    if (options_.grid != 0) showGridAfterLogin(dialog, options_.grid);
    return true;
}

void CwmTarselApp::showGridAfterLogin(CwmTarselDlg& dialog, int tiles) {
    // The login finishes asynchronously (connection bring-up); the grid waits for it.
    QTimer::singleShot(100, &dialog, [this, &dialog, tiles] {
        if (!dialog.loggedIn()) {
            showGridAfterLogin(dialog, tiles);
            return;
        }
        if (dialog.views() != nullptr) dialog.views()->showGrid(tiles);
    });
}

bool CwmTarselApp::saveScreenshot(CwmTarselDlg& dialog) {
    const QImage image = dialog.grabWindow();
    if (image.isNull() || !image.save(QString::fromStdString(options_.screenshot), "PNG")) {
        std::fprintf(stderr, "vistrel: cannot save the screenshot to '%s'\n", options_.screenshot.c_str());
        return false;
    }
    std::fprintf(stderr, "vistrel: screenshot saved to %s\n", options_.screenshot.c_str());
    return true;
}

}  // namespace vistrel::app
