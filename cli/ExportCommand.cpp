// vistrel-cli export: a live recording, or a range of one channel of a DVR's recording, as a
// Matroska file that common players open.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "base/DvrProtocol.h"
#include "cli/Commands.h"
#include "cli/DvrArguments.h"
#include "cli/InterruptWatch.h"
#include "stream/export/ExportJob.h"
#include "stream/export/LiveRecordingSource.h"
#include "stream/export/PlaybackRangeSource.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "stream/playback/PlaybackUrl.h"

namespace vistrel::cli {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr double kProgressEvery = 0.1;

const char* const kUsage =
    "usage: vistrel-cli export (--from-file F | --host H [--port P] [--user U] [--password W] --channel C\n"
    "                          --date YYYY-MM-DD --time HH:MM:SS --seconds S) -o OUT.mkv";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-cli export: %s\n%s\n", message.c_str(), kUsage);
    return 2;
}

struct ExportArguments {
    std::string fromFile;
    std::string output;
    live::DvrAddress address;
    bool channelGiven = false;
    bool haveDate = false, haveTime = false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    double seconds = 0;
};

bool parseDate(const char* text, ExportArguments* a) {
    char tail = 0;
    if (std::sscanf(text, "%4d-%2d-%2d%c", &a->year, &a->month, &a->day, &tail) != 3) return false;
    return a->year >= 1 && a->month >= 1 && a->month <= 12 && a->day >= 1 && a->day <= 31;
}

int parseArguments(int argc, char** argv, ExportArguments* args) {
    std::string error;
    bool dvrOption = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg != "-o" && arg.rfind("--", 0) != 0) return usageError("unknown argument '" + arg + "'");
        if (i + 1 >= argc)
            return usageError(MissingValueMessage(arg, {"-o", "--from-file", "--date", "--time", "--seconds"}));
        const char* value = argv[++i];
        const OptionResult taken = TakeDvrOption(arg, value, &args->address, &args->channelGiven, &error);
        if (taken == OptionResult::Bad) return usageError(error);
        if (taken == OptionResult::Taken) {
            dvrOption = true;
            continue;
        }
        if (arg == "-o") {
            args->output = value;
        } else if (arg == "--from-file") {
            args->fromFile = value;
        } else if (arg == "--date") {
            if (!parseDate(value, args))
                return usageError("--date wants YYYY-MM-DD, not '" + std::string(value) + "'");
            args->haveDate = true;
        } else if (arg == "--time") {
            if (!ParseClockTime(value, &args->hour, &args->minute, &args->second))
                return usageError("--time wants HH:MM:SS, not '" + std::string(value) + "'");
            args->haveTime = true;
        } else if (arg == "--seconds") {
            if (!live::ParseSeconds(value, &args->seconds, &error)) return usageError(error);
        } else {
            return usageError("unknown argument '" + arg + "'");
        }
    }
    if (args->output.empty()) return usageError("-o OUT.mkv is required");
    if (!args->fromFile.empty()) {
        if (dvrOption || args->haveDate || args->haveTime || args->seconds > 0)
            return usageError("--from-file takes no DVR, date, time or seconds options");
        return 0;
    }
    if (!CheckDvrAddress(args->address, &error)) return usageError(error);
    if (!args->channelGiven) return usageError("--channel 1..16 is required");
    if (!args->haveDate) return usageError("--date YYYY-MM-DD is required");
    if (!args->haveTime) return usageError("--time HH:MM:SS is required");
    if (args->seconds <= 0) return usageError("--seconds S (more than 0) is required");
    return 0;
}

}  // namespace

int runExport(int argc, char** argv) {
    ExportArguments args;
    if (int rc = parseArguments(argc, argv, &args); rc != 0) return rc;

    std::unique_ptr<exporter::MediaSource> source;
    bool httpOpen = false;
    if (!args.fromFile.empty()) {
        auto file = std::make_unique<exporter::LiveRecordingSource>();
        if (!file->Open(args.fromFile)) {
            std::fprintf(stderr, "vistrel-cli export: %s\n", file->error().c_str());
            return 1;
        }
        source = std::move(file);
    } else {
        if (!http::OpenInternetRoot(base::kCommandUserAgent)) {
            std::fprintf(stderr, "vistrel-cli export: cannot initialise the HTTP client\n");
            return 1;
        }
        httpOpen = true;
        const playback::PlaybackRange range =
            playback::PackPlaybackRange(args.year, args.month, args.day, args.hour, args.minute, args.second);
        const std::string url =
            playback::BuildPlaybackUrl(args.address.host, std::to_string(args.address.port), range);
        auto dvr = std::make_unique<exporter::PlaybackRangeSource>(url, args.address.user, args.address.password,
                                                                   args.address.channel - 1,
                                                                   std::int64_t(args.seconds * 1000.0 + 0.5));
        if (!dvr->Start()) {
            std::fprintf(stderr, "vistrel-cli export: %s\n", dvr->error().c_str());
            http::CloseInternetRoot();
            return 1;
        }
        source = std::move(dvr);
    }

    const InterruptWatch interrupts;
    const auto began = std::chrono::steady_clock::now();
    exporter::ExportResult result;
    {
        exporter::ExportJob job;
        job.Start(std::move(source), args.output, nullptr, nullptr);
        double shown = 0;
        while (job.Running()) {
            std::this_thread::sleep_for(kPollInterval);
            if (interrupts.interrupted()) job.Cancel();
            if (job.Fraction() - shown >= kProgressEvery) {
                shown = job.Fraction();
                std::fprintf(stderr, "exported %d%%\n", int(shown * 100 + 0.5));
            }
        }
        job.Wait();
        result = job.Result();
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (httpOpen) http::CloseInternetRoot();
    if (result.cancelled) {
        std::fprintf(stderr, "vistrel-cli export: interrupted; no file written\n");
        return 1;
    }
    if (!result.ok) {
        std::fprintf(stderr, "vistrel-cli export: %s\n", result.error.c_str());
        return 1;
    }
    if (!result.note.empty()) std::fprintf(stderr, "vistrel-cli export: %s\n", result.note.c_str());
    std::printf("exported %llu frames %dx%d (%s), audio %llu samples, %.3f s in %.2f s\n",
                static_cast<unsigned long long>(result.videoFrames), result.width, result.height,
                result.videoCodec.c_str(), static_cast<unsigned long long>(result.audioSamples),
                double(result.durationMs) / 1000.0, took);
    return 0;
}

}  // namespace vistrel::cli
