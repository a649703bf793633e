// vistrel-cli live: watches one DVR channel without a window, reports progress, and can keep a
// snapshot of the last picture (PNG or BMP) and a recording of the stream.

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/DvrProtocol.h"
#include "cli/Commands.h"
#include "cli/DvrArguments.h"
#include "cli/InterruptWatch.h"
#include "cli/SnapshotFile.h"
#include "cli/StreamDiagnosis.h"
#include "stream/http/CommandRequest.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "stream/live/LiveStreamSession.h"
#include "stream/live/StreamCoding.h"
#include "stream/record/LiveRecorder.h"

namespace vistrel::cli {

namespace {

constexpr double kDefaultSeconds = 10.0;
constexpr auto kProgressInterval = std::chrono::milliseconds(1000);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-cli live: %s\n", message.c_str());
    return 2;
}

struct LiveArguments {
    live::DvrAddress address;
    double seconds = kDefaultSeconds;  // 0: until interrupted
    std::string snapshotPath;
    std::string recordPath;
};

int parseArguments(int argc, char** argv, LiveArguments* args) {
    std::string error;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) return usageError("unknown argument '" + arg + "'");
        if (i + 1 >= argc) return usageError(MissingValueMessage(arg, {"--seconds", "--snapshot", "--record"}));
        const char* value = argv[++i];
        const OptionResult taken = TakeDvrOption(arg, value, &args->address, nullptr, &error);
        if (taken == OptionResult::Bad) return usageError(error);
        if (taken == OptionResult::Taken) continue;
        if (arg == "--seconds") {
            if (!live::ParseSeconds(value, &args->seconds, &error)) return usageError(error);
        } else if (arg == "--snapshot") {
            args->snapshotPath = value;
        } else if (arg == "--record") {
            args->recordPath = value;
        } else {
            return usageError("unknown argument '" + arg + "'");
        }
    }
    if (!CheckDvrAddress(args->address, &error)) return usageError(error);
    return 0;
}

// The last picture as a bitmap file in memory, kept across reconnects (a new decoder starts black).
struct SnapshotKeeper {
    std::vector<std::uint8_t> bitmap;
    int width = 0;
    int height = 0;

    // Called under the session's decoder lock; `wantBitmap` false only notes the picture size.
    void capture(IDecoder* decoder, bool wantBitmap) {
        if (decoder == nullptr) return;
        int w = 0;
        int h = 0;
        decoder->GetPictureSize(&w, &h);
        if (w <= 0 || h <= 0) return;
        width = w;
        height = h;
        if (!wantBitmap) return;
        std::vector<std::uint8_t> buffer(std::size_t(w) * std::size_t(h) * 3 + 54, 0);
        // No data: the decoder only writes the bitmap of the picture it shows now.
        decoder->DecodeAndCapture(nullptr, 0, true, buffer.data(), buffer.size(), false);
        if (buffer[0] == 'B' && buffer[1] == 'M') bitmap.swap(buffer);
    }
};

// Why no stream came: one short request of the same URL, read only up to its headers.
std::string diagnose(const LiveArguments& args, const std::string& url) {
    const http::CommandResult probe = ProbeStream(args.address, url);
    if (const auto refusal = RefusalReason(probe)) return *refusal;
    if (live::CodingFromContentType(probe.contentType.c_str()) == live::StreamCoding::Unknown)
        return "not a DVR stream (Content-Type '" + probe.contentType + "')";
    return "no picture arrived";
}

struct WatchTotals {
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;
    std::uint32_t reconnects = 0;
};

// Runs the session until the time is up, the session gives up or the user interrupts, printing a
// status line every second and keeping the latest picture in `snapshot`.
WatchTotals watchLive(const LiveArguments& args, const std::string& url, record::LiveRecorder& recorder,
                      const InterruptWatch& interrupts, SnapshotKeeper& snapshot) {
    auto session = std::make_unique<live::LiveStreamSession>();
    if (!args.recordPath.empty()) session->SetBlockObserver(recorder.Observer());
    session->SetNotifyWindow(nullptr);
    session->SetUrl(url);
    session->SetUserName(args.address.user);
    session->SetPassword(args.address.password);
    session->Start();

    const bool tty = isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    auto nextProgress = start + kProgressInterval;
    std::uint64_t framesAtLastProgress = 0;
    std::uint64_t framesAtLastCapture = 0;
    auto lastProgress = start;
    for (;;) {
        std::this_thread::sleep_for(kPollInterval);
        const auto now = std::chrono::steady_clock::now();
        const live::LiveSessionStats stats = session->Stats();
        const bool timeUp = args.seconds > 0 && now - start >= std::chrono::duration<double>(args.seconds);
        // Six failures without a good response in between: the session has given up.
        const bool gaveUp = stats.failureCount > live::kMaxLiveFailures && !stats.restartPending;
        if (now >= nextProgress || timeUp || gaveUp || interrupts.interrupted()) {
            if (stats.framesDecoded != framesAtLastCapture) {
                const bool wantBitmap = !args.snapshotPath.empty();
                session->WithDecoder([&](IDecoder* d) { snapshot.capture(d, wantBitmap); });
                framesAtLastCapture = stats.framesDecoded;
            }
        }
        if (now >= nextProgress) {
            const double interval = std::chrono::duration<double>(now - lastProgress).count();
            const double fps = interval > 0 ? double(stats.framesDecoded - framesAtLastProgress) / interval : 0.0;
            std::fprintf(stderr, "%sframes %llu, %.1f fps, bytes %llu, reconnects %u%s", tty ? "\r" : "",
                         static_cast<unsigned long long>(stats.framesDecoded), fps,
                         static_cast<unsigned long long>(stats.bytesQueued), stats.restartsFired,
                         tty ? "   " : "\n");
            std::fflush(stderr);
            framesAtLastProgress = stats.framesDecoded;
            lastProgress = now;
            nextProgress = now + kProgressInterval;
        }
        if (timeUp || gaveUp || interrupts.interrupted()) break;
    }
    if (tty) std::fprintf(stderr, "\n");
    session->Stop();
    const live::LiveSessionStats stats = session->Stats();
    return WatchTotals{stats.bytesQueued, stats.framesDecoded, stats.restartsFired};
}

}  // namespace

int runLive(int argc, char** argv) {
    LiveArguments args;
    if (int rc = parseArguments(argc, argv, &args); rc != 0) return rc;

    // Outlives the session, whose transport worker hands it the blocks.
    record::LiveRecorder recorder;
    if (!args.recordPath.empty()) {
        std::string error;
        if (!recorder.Start(args.recordPath, &error)) {
            std::fprintf(stderr, "vistrel-cli live: %s\n", error.c_str());
            return 1;
        }
        // One line the moment it happens; the stream itself goes on.
        recorder.SetStoppedCallback([path = args.recordPath](const std::string& reason) {
            std::fprintf(stderr, "\nvistrel-cli live: recording into '%s' stopped: %s\n", path.c_str(),
                         reason.c_str());
        });
    }
    if (!http::OpenInternetRoot(base::kCommandUserAgent)) {
        std::fprintf(stderr, "vistrel-cli live: cannot initialise the HTTP client\n");
        return 1;
    }
    const InterruptWatch interrupts;

    const std::string url = live::LiveUrl(args.address);
    SnapshotKeeper snapshot;
    const WatchTotals totals = watchLive(args, url, recorder, interrupts, snapshot);

    int status = 0;
    if (!args.recordPath.empty()) {
        std::string reason;
        const bool wasFailing = !recorder.FailureReason().empty();
        if (!recorder.Stop(&reason)) {
            if (!wasFailing)
                std::fprintf(stderr, "vistrel-cli live: recording into '%s' failed: %s\n", args.recordPath.c_str(),
                             reason.c_str());
            status = 1;
        }
    }
    std::printf("frames %llu, size %dx%d, reconnects %u, bytes %llu\n",
                static_cast<unsigned long long>(totals.frames), snapshot.width, snapshot.height, totals.reconnects,
                static_cast<unsigned long long>(totals.bytes));
    std::fflush(stdout);
    if (totals.frames == 0 && status == 0) {
        std::fprintf(stderr, "vistrel-cli live: %s: %s\n", url.c_str(), diagnose(args, url).c_str());
        status = 1;
    }
    if (!args.snapshotPath.empty() && status == 0) {
        std::string error;
        if (snapshot.bitmap.empty()) {
            std::fprintf(stderr, "vistrel-cli live: no picture to save in '%s'\n", args.snapshotPath.c_str());
            status = 1;
        } else if (!WriteSnapshotFile(args.snapshotPath, snapshot.bitmap, &error)) {
            std::fprintf(stderr, "vistrel-cli live: %s\n", error.c_str());
            status = 1;
        }
    }
    http::CloseInternetRoot();
    return status;
}

}  // namespace vistrel::cli
