#include "app/demo/DemoDvr.h"

namespace vistrel::app {

namespace {
constexpr int kDemoRecordedSeconds = 300;
}

DemoDvr::~DemoDvr() { stop(); }

bool DemoDvr::start(const std::string& logFile, std::string* error) {
    stop();
    dvr::DvrOptions options;
    options.port = 0;
    options.bindAddress = "127.0.0.1";
    options.logFile = logFile;
    // Five minutes of every hour recorded: long enough to watch a playback, and playback from the
    // top of any hour finds pictures.
    options.recordedSecondsPerHour = kDemoRecordedSeconds;
    // A 4x4 grid holds 16 live streams at once, with room left for camera commands and playback.
    options.maxConnections = 24;
    auto server = std::make_unique<dvr::DvrServer>(options);
    const std::uint16_t port = server->start();
    if (port == 0) {
        if (error) *error = "the demo DVR cannot start: " + server->lastError();
        return false;
    }
    server_ = std::move(server);
    port_ = port;
    return true;
}

void DemoDvr::stop() {
    if (server_) server_->stop();
    server_.reset();
    port_ = 0;
}

}  // namespace vistrel::app
