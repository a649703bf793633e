// vistrel-cli ptz: sends one camera command to a DVR and reports whether it was answered.

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "base/DvrProtocol.h"
#include "cli/Commands.h"
#include "cli/DvrArguments.h"
#include "stream/http/CameraCommand.h"
#include "stream/http/CommandRequest.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"

namespace vistrel::cli {

namespace {

// zzw only has to differ between requests, so that no cache answers a repeated command.
constexpr int kZzwRange = 999;

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-cli ptz: %s\n", message.c_str());
    return 2;
}

}  // namespace

int runPtz(int argc, char** argv) {
    live::DvrAddress address;
    std::string command;
    http::CameraSpeed speed = http::CameraSpeed::Normal;
    bool haveChannel = false;
    std::string error;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) return usageError("unknown argument '" + arg + "'");
        if (i + 1 >= argc) return usageError(MissingValueMessage(arg, {"--command", "--speed"}));
        const char* value = argv[++i];
        const OptionResult taken = TakeDvrOption(arg, value, &address, &haveChannel, &error);
        if (taken == OptionResult::Bad) return usageError(error);
        if (taken == OptionResult::Taken) continue;
        if (arg == "--command") {
            command = value;
            if (!http::IsCameraCommandName(command))
                return usageError("unknown command '" + command +
                                  "' (up, down, left, right, upleft, upright, downleft, downright, "
                                  "stoppt, zoomin, zoomout, focusnear, focusfar)");
        } else if (arg == "--speed") {
            if (!http::CameraSpeedFromName(value, &speed))
                return usageError(std::string("speed must be slow, normal or fast, not '") + value + "'");
        } else {
            return usageError("unknown argument '" + arg + "'");
        }
    }
    if (!CheckDvrAddress(address, &error)) return usageError(error);
    if (!haveChannel) return usageError("--channel is required");
    if (command.empty()) return usageError("--command is required");

    if (!http::OpenInternetRoot(base::kCommandUserAgent)) {
        std::fprintf(stderr, "vistrel-cli ptz: cannot initialise the HTTP client\n");
        return 1;
    }
    std::random_device seed;
    std::mt19937 rng(seed());
    const int zzw = static_cast<int>(rng() % kZzwRange);
    const std::string url = http::CameraCommandUrl(address.host, address.port, address.channel, zzw,
                                                   http::CameraCommandSuffix(command, static_cast<int>(speed)));
    const http::CommandResult result = http::SendCommandRequest(url, address.user, address.password);
    http::CloseInternetRoot();
    if (!result.answered) {
        std::fprintf(stderr, "vistrel-cli ptz: %s:%u unreachable: %s\n", address.host.c_str(),
                     unsigned(address.port), result.error.c_str());
        return 1;
    }
    if (result.status < 200 || result.status > 299) {
        std::fprintf(stderr, "vistrel-cli ptz: the DVR answered %ld to %s\n", result.status, url.c_str());
        return 1;
    }
    std::printf("sent %s to channel %d (speed %d): %ld\n", command.c_str(), address.channel,
                static_cast<int>(speed), result.status);
    return 0;
}

}  // namespace vistrel::cli
