// vistrel-cli playback: plays one DVR channel's recording from a date and time to the end of that
// hour without a window, reports progress, and can keep a snapshot of the last picture.

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/ByteOrder.h"
#include "base/DvrProtocol.h"
#include "cli/Commands.h"
#include "cli/DvrArguments.h"
#include "cli/InterruptWatch.h"
#include "cli/SnapshotFile.h"
#include "cli/StreamDiagnosis.h"
#include "stream/http/CommandRequest.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "stream/playback/PlaybackDecoderFactory.h"
#include "stream/playback/PlaybackSession.h"
#include "stream/playback/PlaybackSpeed.h"
#include "stream/playback/PlaybackUrl.h"

namespace vistrel::cli {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(1000);
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr int kBitmapHeaderSize = 54;

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-cli playback: %s\n", message.c_str());
    return 2;
}

struct PlaybackArguments {
    live::DvrAddress address;
    int year = 0, month = 0, day = 0;
    int hour = -1, minute = -1, second = -1;
    int speed = playback::kSpeed1X;
    double seconds = 0;  // 0: until the recording ends
    std::string snapshotPath;
};

bool parseDate(const char* text, PlaybackArguments* a) {
    char tail = 0;
    if (std::sscanf(text, "%4d-%2d-%2d%c", &a->year, &a->month, &a->day, &tail) != 3) return false;
    if (a->year < 1 || a->month < 1 || a->month > 12 || a->day < 1) return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (a->year % 4 == 0 && a->year % 100 != 0) || a->year % 400 == 0;
    const int days = a->month == 2 && !leap ? 28 : kDays[a->month - 1];
    return a->day <= days;
}

int parseArguments(int argc, char** argv, PlaybackArguments* args) {
    std::string error;
    bool haveDate = false, haveTime = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) return usageError("unknown argument '" + arg + "'");
        if (i + 1 >= argc)
            return usageError(
                MissingValueMessage(arg, {"--date", "--time", "--speed", "--seconds", "--snapshot"}));
        const char* value = argv[++i];
        const OptionResult taken = TakeDvrOption(arg, value, &args->address, nullptr, &error);
        if (taken == OptionResult::Bad) return usageError(error);
        if (taken == OptionResult::Taken) continue;
        if (arg == "--date") {
            if (!parseDate(value, args))
                return usageError("--date wants a calendar date YYYY-MM-DD, not '" + std::string(value) + "'");
            haveDate = true;
        } else if (arg == "--time") {
            if (!ParseClockTime(value, &args->hour, &args->minute, &args->second))
                return usageError("--time wants HH:MM:SS (00:00:00 to 23:59:59), not '" + std::string(value) +
                                  "'");
            haveTime = true;
        } else if (arg == "--speed") {
            if (!playback::SpeedCodeFromText(value, args->speed))
                return usageError("--speed is one of Full, 1X, 2X, 4X, (1/2)X, (1/4)X, (1/8)X, not '" +
                                  std::string(value) + "'");
        } else if (arg == "--seconds") {
            if (!live::ParseSeconds(value, &args->seconds, &error)) return usageError(error);
        } else if (arg == "--snapshot") {
            args->snapshotPath = value;
        } else {
            return usageError("unknown argument '" + arg + "'");
        }
    }
    if (!CheckDvrAddress(args->address, &error)) return usageError(error);
    if (!haveDate) return usageError("--date YYYY-MM-DD is required");
    if (!haveTime) return usageError("--time HH:MM:SS is required");
    return 0;
}

// What the player reported, written on its threads and read by the main loop.
struct Progress {
    std::atomic<int> position{0};
    std::atomic<bool> firstData{false};
    std::atomic<bool> streamEnded{false};
    std::atomic<bool> playEnded{false};
    std::atomic<int> endValue{0};

    static void Report(int kind, int value, void* context) {
        auto* self = static_cast<Progress*>(context);
        switch (kind) {
            case playback::kProgressPosition: self->position = value; break;
            case playback::kProgressStreamEnd: self->streamEnded = true; break;
            case playback::kProgressFirstData: self->firstData = true; break;
            case playback::kProgressPlayEnd:
                self->endValue = value;
                self->playEnded = true;
                break;
            default: break;
        }
    }
};

// The clock time a position shows, read as milliseconds past the start of the requested hour.
std::string clockText(int hour, int positionMs) {
    char text[48];
    const int seconds = positionMs / 1000;
    const int minutes = positionMs / 60000;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minutes, seconds - minutes * 60);
    return text;
}

std::string diagnose(const PlaybackArguments& args, const std::string& url) {
    return RefusalReason(ProbeStream(args.address, url)).value_or("no playback data arrived");
}

}  // namespace

int runPlayback(int argc, char** argv) {
    PlaybackArguments args;
    if (int rc = parseArguments(argc, argv, &args); rc != 0) return rc;
    if (!http::OpenInternetRoot(base::kCommandUserAgent)) {
        std::fprintf(stderr, "vistrel-cli playback: cannot initialise the HTTP client\n");
        return 1;
    }
    const InterruptWatch interrupts;

    const playback::PlaybackRange range =
        playback::PackPlaybackRange(args.year, args.month, args.day, args.hour, args.minute, args.second);
    const std::string url =
        playback::BuildPlaybackUrl(args.address.host, std::to_string(args.address.port), range);
    const int channelIndex = args.address.channel - 1;

    Progress progress;
    std::vector<std::uint8_t> bitmap;
    int width = 0, height = 0;
    std::uint64_t frames = 0, bytes = 0;
    {
        playback::PlaybackSession session(playback::CreatePlaybackDecoder);
        session.SetNotifyWindow(nullptr);
        session.SetProgressCallback(Progress::Report, &progress);
        session.SetUrl(url.c_str());
        session.SetUserName(args.address.user.c_str());
        session.SetPassword(args.address.password.c_str());
        session.SetChannel(channelIndex);
        session.SetSpeed(args.speed);
        session.Start(1);

        const bool tty = isatty(STDERR_FILENO) != 0;
        const auto start = std::chrono::steady_clock::now();
        auto nextProgress = start + kProgressInterval;
        for (;;) {
            std::this_thread::sleep_for(kPollInterval);
            const auto now = std::chrono::steady_clock::now();
            const bool timeUp = args.seconds > 0 && now - start >= std::chrono::duration<double>(args.seconds);
            // Without a first block the stream never started: the player has nothing to end.
            const bool failed = progress.streamEnded.load() && !progress.firstData.load();
            const bool done = progress.playEnded.load() || timeUp || failed || interrupts.interrupted();
            if (now >= nextProgress || done) {
                std::fprintf(stderr, "%sposition %s, frames %llu, speed %s%s", tty ? "\r" : "",
                             clockText(args.hour, progress.position.load()).c_str(),
                             static_cast<unsigned long long>(session.player().DecodedCount()),
                             playback::SpeedText(args.speed), tty ? "   " : "\n");
                std::fflush(stderr);
                nextProgress = now + kProgressInterval;
            }
            if (done) break;
        }
        if (tty) std::fprintf(stderr, "\n");
        // The decoders live until the player stops: take the picture first.
        std::uint8_t* buffer = nullptr;
        std::size_t size = 0;
        if (session.player().CaptureBitmap(channelIndex, &buffer, &size) && buffer != nullptr) {
            if (size >= std::size_t(kBitmapHeaderSize) && buffer[0] == 'B' && buffer[1] == 'M') {
                width = int(base::Le32(buffer + 18));
                height = int(base::Le32(buffer + 22));
                bitmap.assign(buffer, buffer + size);
            }
            PIDecoder::ReleaseBitmap(buffer);
        }
        session.Stop();
        frames = session.player().DecodedCount();
        bytes = session.BytesReceived();
    }

    std::printf("frames %llu, size %dx%d, reconnects 0, bytes %llu\n", static_cast<unsigned long long>(frames),
                width, height, static_cast<unsigned long long>(bytes));
    std::fflush(stdout);
    int status = 0;
    if (!progress.firstData.load()) {
        std::fprintf(stderr, "vistrel-cli playback: %s: %s\n", url.c_str(), diagnose(args, url).c_str());
        status = 1;
    } else if (frames == 0) {
        const int value = progress.endValue.load();
        if (progress.playEnded.load() && (value & 1) != 0)
            std::fprintf(
                stderr,
                "vistrel-cli playback: nothing recorded on channel %d from %04d-%02d-%02d %02d:%02d:%02d to the end of that hour\n",
                args.address.channel, args.year, args.month, args.day, args.hour, args.minute, args.second);
        else
            std::fprintf(stderr, "vistrel-cli playback: no picture of channel %d could be decoded\n",
                         args.address.channel);
        status = 1;
    }
    if (!args.snapshotPath.empty() && status == 0) {
        std::string error;
        if (bitmap.empty()) {
            std::fprintf(stderr, "vistrel-cli playback: no picture to save in '%s'\n", args.snapshotPath.c_str());
            status = 1;
        } else if (!WriteSnapshotFile(args.snapshotPath, bitmap, &error)) {
            std::fprintf(stderr, "vistrel-cli playback: %s\n", error.c_str());
            status = 1;
        }
    }
    http::CloseInternetRoot();
    return status;
}

}  // namespace vistrel::cli
