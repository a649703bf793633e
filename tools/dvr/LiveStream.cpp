// The live page: an endless paced run of frames of one channel.

#include <chrono>
#include <ctime>
#include <random>

#include "tools/dvr/Connection.h"
#include "tools/dvr/H263Source.h"
#include "tools/dvr/Scene.h"
#include "tools/dvr/ServerContext.h"

namespace vistrel::dvr {

namespace {

constexpr int kH263FrameIntervalMs = 66;   // 15 frames per second
constexpr int kMpeg4FrameIntervalMs = 33;  // the clips' 30 frames per second
constexpr int kLiveH263KeyInterval = 30;   // an intra picture every 2 s at 15 fps
constexpr int kInfoBlockEvery = 45;        // an information block before every 45th MPEG-4 frame

const char kHtmlErrorBody[] =
    "HTTP/1.0 503 Service Unavailable\r\n"
    "Content-Type: text/html\r\n"
    "\r\n"
    "<html><head><title>DVR</title></head><body><h1>Server busy</h1>"
    "<p>Too many viewers. Please try again later.</p></body></html>\r\n";

void appendJunk(std::vector<std::uint8_t>& out, std::uint32_t count, std::minstd_rand& random) {
    // Printable bytes only: they can never form a start code or a frame marker run.
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(std::uint8_t(0x21 + random() % 94));
}

std::uint32_t millisSince(std::chrono::steady_clock::time_point t) {
    return std::uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

}  // namespace

void serveLive(ServerContext& context, Connection& connection, int channelIndex, std::string& logFields) {
    const DvrOptions& options = context.options;
    const ChannelCoding coding = options.channels[std::size_t(channelIndex)];
    bool htmlError = false;
    context.count([&](DvrStats& s) { ++s.liveRequests; });
    {
        std::lock_guard guard(context.statsLock);
        htmlError = context.liveAnswers < options.faults.htmlErrorConnections;
        ++context.liveAnswers;
    }
    const std::string contentType = options.faults.contentType.empty() ? DvrServer::contentTypeFor(coding)
                                                                       : options.faults.contentType;

    H263Source h263(options.h263Width, options.h263Height);
    const Mpeg4Clip* clip = coding == ChannelCoding::H263 ? nullptr : context.clips.clipFor(channelIndex);
    if (!htmlError && (coding == ChannelCoding::H263 ? !h263.available() : clip == nullptr)) {
        logFields += ",\"status\":503";
        connection.sendHead(
            "HTTP/1.0 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
            "Connection: close\r\n\r\n");
        connection.sendBody(std::string("no source for this channel\r\n"));
        return;
    }
    logFields += ",\"status\":200,\"content_type\":" + jsonString(contentType);
    if (htmlError) logFields += ",\"fault\":\"html\"";
    if (!connection.sendHead("HTTP/1.0 200 OK\r\nContent-Type: " + contentType +
                             "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nConnection: close\r\n\r\n"))
        return;
    if (htmlError) {
        connection.sendBody(kHtmlErrorBody, sizeof kHtmlErrorBody - 1);
        return;
    }

    const int interval = options.frameIntervalMs >= 0
                             ? options.frameIntervalMs
                             : (coding == ChannelCoding::H263 ? kH263FrameIntervalMs : kMpeg4FrameIntervalMs);
    std::minstd_rand random(std::uint32_t(channelIndex + 1));
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> out, bits;
    YuvFrame picture;
    for (std::uint64_t n = 0;; ++n) {
        out.clear();
        if (n > 0 && options.faults.junkBytes > 0) appendJunk(out, options.faults.junkBytes, random);
        const std::uint32_t word = millisSince(context.started);
        if (coding == ChannelCoding::H263) {
            SceneView view;
            view.channel = channelIndex + 1;
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            view.hour = local.tm_hour;
            view.minute = local.tm_min;
            view.second = local.tm_sec;
            view.millis = word;
            view.camera = context.cameras.position(channelIndex, std::chrono::steady_clock::now());
            renderScene(view, options.h263Width, options.h263Height, picture);
            bool intra = false;
            if (!h263.encode(picture, n % kLiveH263KeyInterval == 0, bits, intra)) return;
            appendH263Frame(out, bits, true, word);
        } else {
            const Mpeg4Frame& frame = clip->frames[n % clip->frames.size()];
            appendLiveMpeg4Frame(out, *clip, frame, n > 0 && n % kInfoBlockEvery == 0, word, options.mpeg4VopOnly);
        }
        if (!connection.sendBody(out.data(), out.size())) return;
        if (interval > 0) {
            const auto due = begin + std::chrono::milliseconds(std::int64_t(interval) * std::int64_t(n + 1));
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now())
                    .count();
            if (wait > 0 && !connection.pause(int(wait))) return;
        } else if (context.stopping.load()) {
            return;
        }
    }
}

}  // namespace vistrel::dvr
