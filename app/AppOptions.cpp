#include "app/AppOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/ScreenMode.h"
#include "base/DvrProtocol.h"

namespace vistrel::app {

namespace {

constexpr int kMinWidth = 240;
constexpr int kMaxWidth = 8192;
constexpr double kMaxQuitAfterSeconds = 24 * 3600;

bool parseInt(const std::string& text, int low, int high, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = int(value);
    return true;
}

bool parseSeconds(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0 || value > kMaxQuitAfterSeconds)
        return false;
    *out = value;
    return true;
}

bool parseMode(const std::string& text, int* mode) {
    if (text == "live") *mode = ModeLive;
    else if (text == "camera") *mode = ModeCamera;
    else if (text == "playback") *mode = ModePlayback;
    else if (text == "fullscreen") *mode = ModeFullScreen;
    else if (text == "login") *mode = ModeLogin;
    else return false;
    return true;
}

}  // namespace

AppOptionsResult ParseAppOptions(const std::vector<std::string>& arguments) {
    AppOptionsResult result;
    AppOptions& o = result.options;
    bool channelGiven = false, modeGiven = false;
    auto fail = [&result](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg == "--demo") {
            o.demo = true;
            continue;
        }
        static const char* const kWithValue[] = {"--screen-depth", "--dvr-log", "--screenshot", "--quit-after",
                                                 "--channel",      "--mode",    "--width",      "--grid"};
        bool takesValue = false;
        for (const char* name : kWithValue) takesValue = takesValue || arg == name;
        if (!takesValue) return fail("unknown argument '" + arg + "' (vistrel --help lists the options)");
        if (i + 1 >= arguments.size()) return fail(arg + " needs a value");
        const std::string& value = arguments[++i];
        if (arg == "--screen-depth") {
            if (!platform::qt::ParseScreenDepth(value, &o.screenDepth))
                return fail("--screen-depth is one of 8, 16, 555, 24, 32, not '" + value + "'");
        } else if (arg == "--dvr-log") {
            if (value.empty()) return fail("--dvr-log needs a file name");
            o.dvrLog = value;
        } else if (arg == "--screenshot") {
            if (value.empty()) return fail("--screenshot needs a file name");
            o.screenshot = value;
        } else if (arg == "--quit-after") {
            if (!parseSeconds(value, &o.quitAfterSeconds))
                return fail("--quit-after wants a number of seconds above 0 (at most a day), not '" + value + "'");
        } else if (arg == "--channel") {
            if (!parseInt(value, 1, base::kChannelCount, &o.channel))
                return fail("--channel is 1 to 16, not '" + value + "'");
            channelGiven = true;
        } else if (arg == "--mode") {
            if (!parseMode(value, &o.mode))
                return fail("--mode is one of live, camera, playback, fullscreen, login, not '" + value + "'");
            modeGiven = true;
        } else if (arg == "--grid") {
            if (value != "4" && value != "9" && value != "16")
                return fail("--grid is 4, 9 or 16, not '" + value + "'");
            o.grid = std::stoi(value);
        } else if (arg == "--width") {
            if (!parseInt(value, kMinWidth, kMaxWidth, &o.width))
                return fail("--width is a number of pixels from 240 to 8192, not '" + value + "'");
        }
    }
    if (o.help) return result;
    if (!o.screenshot.empty() && o.quitAfterSeconds <= 0)
        return fail("--screenshot needs --quit-after SECONDS (when to take it)");
    // These act on the demo DVR's login; without the demo there is nothing for them to act on.
    if (!o.demo) {
        if (!o.dvrLog.empty()) return fail("--dvr-log needs --demo (it is the demo DVR's log)");
        if (channelGiven) return fail("--channel needs --demo (it picks the channel after the demo login)");
        if (modeGiven) return fail("--mode needs --demo (it picks the mode after the demo login)");
        if (o.grid != 0) return fail("--grid needs --demo (it shows the grid after the demo login)");
    }
    return result;
}

std::string AppUsage() {
    return "usage: vistrel [options]\n"
           "The desktop client for networked DVRs: log in, watch live, drive a camera, play back.\n"
           "\n"
           "  --screen-depth 8|16|555|24|32  framebuffer pixel format the picture is drawn in (default 32)\n"
           "  --width PIXELS                 window width at start, 240 to 8192 (default 480)\n"
           "  --demo                         start the built-in DVR emulator on a free loopback port,\n"
           "                                 fill the login row with its address and log in\n"
           "  --dvr-log FILE                 with --demo: the emulator's request log, one JSON line per request\n"
           "  --channel N                    with --demo: show channel N (1 to 16) after the login\n"
           "  --mode live|camera|playback|fullscreen|login\n"
           "                                 with --demo: switch to this mode after the login\n"
           "  --grid 4|9|16                  with --demo: show that many channels at once after the login\n"
           "  --screenshot FILE.png          save the window, with its picture, before quitting\n"
           "  --quit-after SECONDS           end the program after SECONDS, through the normal exit\n"
           "  --help                         this text\n";
}

}  // namespace vistrel::app
