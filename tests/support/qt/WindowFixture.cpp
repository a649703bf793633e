#include "tests/support/qt/WindowFixture.h"

#include <QTest>

#include "app/connection/ConnectionBringUp.h"

namespace vistrel::testsupport {

app::DlgSettings WindowSettings(const std::string& profilePath, app::NetworkProbe* probe,
                                app::ErrorMessageSink* sink) {
    app::DlgSettings s;
    s.profilePath = profilePath;
    s.exitWaitMs = 50;
    s.liveTimings.randomDelayUnitMs = 50;
    s.liveTimings.failureDelayUnitMs = 100;
    s.makeBringUp = [probe, sink](QObject* parent) { return new app::ConnectionBringUp(probe, sink, parent); };
    return s;
}

std::unique_ptr<app::CwmTarselDlg> ShowWindow(const app::DlgSettings& settings) {
    auto dlg = std::make_unique<app::CwmTarselDlg>(settings);
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get())) return nullptr;
    return dlg;
}

void LogIn(app::CwmTarselDlg& dlg, int channel, std::uint16_t port) {
    dlg.setChannel(channel);
    dlg.setLoginFields(QStringLiteral("127.0.0.1"), QString::number(port), {}, {});
    dlg.Login();
}

bool LivePicturesCome(app::CwmTarselDlg& dlg, std::uint64_t beyond) {
    return QTest::qWaitFor([&] { return dlg.liveSession().Stats().framesDecoded > beyond + 2; }, kWindowWaitMs);
}

}  // namespace vistrel::testsupport
