#pragma once
// The desktop program: the HTTP root, the main window, the demo DVR and the screenshot run.

#include <memory>
#include <string>

#include "app/AppOptions.h"

namespace vistrel::app {

class CwmTarselDlg;
class DemoDvr;

class CwmTarselApp {
public:
    explicit CwmTarselApp(AppOptions options);
    ~CwmTarselApp();
    CwmTarselApp(const CwmTarselApp&) = delete;
    CwmTarselApp& operator=(const CwmTarselApp&) = delete;

    // Runs the window until it ends; the process exit status. Needs a QApplication.
    int start();

private:
    bool startDemo(CwmTarselDlg& dialog);
    bool saveScreenshot(CwmTarselDlg& dialog);
    void showGridAfterLogin(CwmTarselDlg& dialog, int tiles);

    const AppOptions options_;
    std::unique_ptr<DemoDvr> demo_;
    int status_ = 0;
};

}  // namespace vistrel::app
