// vistrel: the desktop client for networked DVRs.

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/CwmTarselApp.h"

int main(int argc, char** argv) {
    // The options are read before Qt starts, so --help and mistakes are answered without a display.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const vistrel::app::AppOptionsResult parsed = vistrel::app::ParseAppOptions(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vistrel: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(vistrel::app::AppUsage().c_str(), stdout);
        return 0;
    }
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setDesktopFileName(QStringLiteral("vistrel"));
    vistrel::app::CwmTarselApp app(parsed.options);
    return app.start();
}
