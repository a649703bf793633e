// vistrel-dvr: the DVR emulator as a program. Serves until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "tools/dvr/DvrServer.h"
#include "tools/dvr/HttpRequest.h"

namespace {

using vistrel::dvr::AuthMode;
using vistrel::dvr::DvrOptions;

const char kUsage[] =
    "usage: vistrel-dvr [--port P] [--bind ADDRESS] [--user U --password W] [--auth none|basic|digest]\n"
    "                   [--auth-failure 401|404|407] [--camera-auth] [--log FILE] [--max-connections N]\n"
    "                   [--frame-interval MS] [--size 320x240|640x480|640x240]\n"
    "                   [--recorded-seconds S] [--record-interval MS] [--clip-dir DIR] [--mpeg4-vop-only]\n"
    "  faults: [--close-after BYTES] [--stall-after BYTES] [--junk BYTES] [--html-error K]\n"
    "          [--content-type TYPE] [--corrupt-records N] [--truncate-after RECORDS]\n";

// Limits that keep the arguments sane; they are far above any useful value.
constexpr long long kMaxBytes = 1LL << 40;
constexpr long long kMaxCount = 1000000;
constexpr long long kMaxIntervalMs = 60000;

int bad(const std::string& message) {
    std::fprintf(stderr, "vistrel-dvr: %s\n", message.c_str());
    return 2;
}

// Applies one option that takes a value: nothing when it is good, else the complaint.
std::optional<std::string> applyValueOption(const std::string& arg, const std::string& value, DvrOptions& options,
                                            bool& authGiven) {
    auto number = [&](long long max, long long& out) {
        const auto v = vistrel::dvr::parseDecimal(value, max);
        if (!v) return false;
        out = *v;
        return true;
    };
    long long n = 0;
    if (arg == "--port") {
        if (!number(65535, n)) return "--port wants a number from 0 to 65535, not " + value;
        options.port = std::uint16_t(n);
    } else if (arg == "--bind") {
        options.bindAddress = value;
    } else if (arg == "--user") {
        options.user = value;
    } else if (arg == "--password") {
        options.password = value;
    } else if (arg == "--auth") {
        authGiven = true;
        if (value == "none") options.auth = AuthMode::None;
        else if (value == "basic") options.auth = AuthMode::Basic;
        else if (value == "digest") options.auth = AuthMode::Digest;
        else return "--auth wants none, basic or digest, not " + value;
    } else if (arg == "--auth-failure") {
        if (value != "401" && value != "404" && value != "407")
            return "--auth-failure wants 401, 404 or 407, not " + value;
        options.authFailureStatus = std::atoi(value.c_str());
    } else if (arg == "--log") {
        options.logFile = value;
    } else if (arg == "--max-connections") {
        if (!number(1024, n) || n < 1) return "--max-connections wants a number from 1 to 1024";
        options.maxConnections = int(n);
    } else if (arg == "--frame-interval") {
        if (!number(kMaxIntervalMs, n)) return "--frame-interval wants milliseconds, not " + value;
        options.frameIntervalMs = int(n);
    } else if (arg == "--size") {
        if (value == "320x240") options.h263Width = 320, options.h263Height = 240;
        else if (value == "640x480") options.h263Width = 640, options.h263Height = 480;
        else if (value == "640x240") options.h263Width = 640, options.h263Height = 240;
        else return "--size wants 320x240, 640x480 or 640x240, not " + value;
    } else if (arg == "--recorded-seconds") {
        if (!number(3600, n)) return "--recorded-seconds wants 0 to 3600, not " + value;
        options.recordedSecondsPerHour = int(n);
    } else if (arg == "--record-interval") {
        if (!number(kMaxIntervalMs, n) || n < 1) return "--record-interval wants milliseconds, not " + value;
        options.recordIntervalMs = int(n);
    } else if (arg == "--clip-dir") {
        options.clipDir = value;
    } else if (arg == "--close-after") {
        if (!number(kMaxBytes, n)) return "--close-after wants a byte count, not " + value;
        options.faults.closeAfterBytes = n;
    } else if (arg == "--stall-after") {
        if (!number(kMaxBytes, n)) return "--stall-after wants a byte count, not " + value;
        options.faults.stallAfterBytes = n;
    } else if (arg == "--junk") {
        if (!number(65536, n)) return "--junk wants a byte count up to 65536, not " + value;
        options.faults.junkBytes = std::uint32_t(n);
    } else if (arg == "--html-error") {
        if (!number(kMaxCount, n)) return "--html-error wants a connection count, not " + value;
        options.faults.htmlErrorConnections = int(n);
    } else if (arg == "--content-type") {
        if (value.find_first_of("\r\n") != std::string::npos) return "--content-type must be one line";
        options.faults.contentType = value;
    } else if (arg == "--corrupt-records") {
        if (!number(kMaxCount, n)) return "--corrupt-records wants a count, not " + value;
        options.faults.corruptRecordEvery = int(n);
    } else if (arg == "--truncate-after") {
        if (!number(kMaxCount, n)) return "--truncate-after wants a record count, not " + value;
        options.faults.truncateAfterRecords = n;
    } else {
        return "unknown argument " + arg;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    DvrOptions options;
    bool authGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--camera-auth") {
            options.authCameraCommands = true;
            continue;
        }
        if (arg == "--mpeg4-vop-only") {
            options.mpeg4VopOnly = true;
            continue;
        }
        if (i + 1 >= argc)
            return bad(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
        if (const auto complaint = applyValueOption(arg, argv[++i], options, authGiven)) return bad(*complaint);
    }
    if (options.user.empty() != options.password.empty()) return bad("--user and --password go together");
    if (!options.user.empty() && !authGiven) options.auth = AuthMode::Basic;
    if (options.auth != AuthMode::None && options.user.empty())
        return bad("--auth " + std::string(options.auth == AuthMode::Basic ? "basic" : "digest") +
                   " needs --user and --password");

    // Block the stop signals before any thread starts, so that only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vistrel::dvr::DvrServer server(options);
    if (server.start() == 0) {
        std::fprintf(stderr, "vistrel-dvr: %s\n", server.lastError().c_str());
        return 1;
    }
    std::printf("listening on %s\n", server.baseUrl().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
