#pragma once
// The main window under Qt Test, logging in to the emulator that runs inside the test: a network
// that is always up, error boxes that stay shut, quick exits and reconnects.

#include <cstdint>
#include <memory>
#include <string>

#include "app/CwmTarselDlg.h"
#include "app/connection/ErrorMessageSink.h"
#include "app/connection/NetworkProbe.h"

namespace vistrel::testsupport {

// Generous: a loaded 2-core machine under the sanitizers.
constexpr int kWindowWaitMs = 60000;

class OnlineProbe : public app::NetworkProbe {
public:
    app::NetworkStatus answer = app::NetworkStatus::ConnectedGlobal;
    app::NetworkStatus status() const override { return answer; }
    void refresh() override {}
};

class QuietErrorSink : public app::ErrorMessageSink {
public:
    void showError(const QString&, const QString&) override {}
};

// A window's settings with its own profile file, exits that wait 50 ms, first reconnects after
// 50..250 ms and later ones 100 ms apart, and a bring-up that asks `probe` and reports to `sink`
// (both outlive the window).
app::DlgSettings WindowSettings(const std::string& profilePath, app::NetworkProbe* probe,
                                app::ErrorMessageSink* sink);

// Shows the window; null when it was never exposed.
std::unique_ptr<app::CwmTarselDlg> ShowWindow(const app::DlgSettings& settings);

// Picks the channel and logs in to 127.0.0.1:port without credentials.
void LogIn(app::CwmTarselDlg& dlg, int channel, std::uint16_t port);

// Whether more than `beyond` + 2 live pictures get decoded within the wait.
bool LivePicturesCome(app::CwmTarselDlg& dlg, std::uint64_t beyond = 0);

}  // namespace vistrel::testsupport
