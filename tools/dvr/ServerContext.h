#pragma once
// State shared by the emulator's connection threads: options, credentials, log, cameras, clips
// and counters.

#include <atomic>
#include <chrono>
#include <mutex>

#include "tools/dvr/CameraState.h"
#include "tools/dvr/DvrServer.h"
#include "tools/dvr/HttpAuth.h"
#include "tools/dvr/Mpeg4Clips.h"
#include "tools/dvr/RecordingCache.h"
#include "tools/dvr/RequestLog.h"

namespace vistrel::dvr {

struct ServerContext {
    ServerContext(const DvrOptions& o, std::uint64_t secret)
        : options(o), auth(o.auth, o.user, o.password, secret) {}

    const DvrOptions& options;  // read-only while serving
    HttpAuth auth;              // read-only while serving
    RequestLog log;             // locks itself
    CameraBank cameras;         // locks itself
    Mpeg4ClipLibrary clips;     // loaded before serving, read-only afterwards
    RecordingCache recordings;  // locks itself
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::atomic<bool> stopping{false};

    std::mutex statsLock;
    DvrStats stats;       // guarded by statsLock
    int liveAnswers = 0;  // guarded by statsLock: live requests answered so far

    template <typename F>
    void count(F&& change) {
        std::lock_guard guard(statsLock);
        change(stats);
    }
};

// The handlers behind the three pages; each writes a complete answer on `connection`.
class Connection;
struct HttpRequest;
void serveLive(ServerContext& context, Connection& connection, int channelIndex, std::string& logFields);
void servePlayback(ServerContext& context, Connection& connection, const HttpRequest& request,
                   std::string& logFields);

}  // namespace vistrel::dvr
