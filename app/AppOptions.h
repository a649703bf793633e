#pragma once
// The desktop client's command line: the screen depth, the built-in demo DVR and the screenshot run.

#include <string>
#include <vector>

#include "platform/qt/ScreenDepth.h"

namespace vistrel::app {

struct AppOptions {
    platform::qt::ScreenDepth screenDepth = platform::qt::ScreenDepth::Rgb32;
    bool demo = false;
    std::string dvrLog;           // the demo DVR's request log; empty: none
    std::string screenshot;       // PNG written after quitAfterSeconds; empty: none
    double quitAfterSeconds = 0;  // 0: run until the user exits
    int channel = 1;              // channel shown after the demo login, 1..16
    int mode = 0;                 // ScreenMode to switch to after the demo login; 0: stay in live view
    int grid = 0;                 // 4, 9 or 16: live grid after the demo login; 0: the single view
    int width = 0;                // client width of the window at start; 0: the default
    bool help = false;
};

struct AppOptionsResult {
    AppOptions options;
    // Empty when the command line is good; otherwise one line saying what is wrong.
    std::string error;
};

AppOptionsResult ParseAppOptions(const std::vector<std::string>& arguments);

// The text `vistrel --help` prints.
std::string AppUsage();

}  // namespace vistrel::app
