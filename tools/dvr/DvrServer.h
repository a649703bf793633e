#pragma once
// The DVR emulator as an object: an HTTP server on loopback that serves live streams, camera
// commands and recordings, usable inside a test or the demo client as well as by vistrel-dvr.

#include <cstdint>
#include <memory>
#include <string>

#include "tools/dvr/DvrOptions.h"

namespace vistrel::dvr {

// A virtual camera's position as the live scene shows it.
struct CameraPosition {
    int panX = 0;           // scene pixels, positive to the right
    int tiltY = 0;          // scene pixels, positive downwards
    int zoomPercent = 100;  // 100..400
    int focus = 0;          // -5 (near) .. 5 (far); 0 sharp
    int commands = 0;       // camera requests received for this channel
};

// Counters for tests; each is a snapshot taken under the server's lock.
struct DvrStats {
    int connections = 0;        // accepted connections, including refused ones
    int refused = 0;            // answered 503 because maxConnections were busy
    int liveRequests = 0;       // pushall.htm requests that passed authentication
    int cameraRequests = 0;     // cam_ctrl.htm requests answered 200
    int playbackRequests = 0;   // dvr_playback.htm requests that passed authentication
    int authFailures = 0;       // requests answered with the auth failure status
    int activeConnections = 0;  // connections being served now
};

class DvrServer {
public:
    explicit DvrServer(DvrOptions options = {});
    ~DvrServer();  // stops the server
    DvrServer(const DvrServer&) = delete;
    DvrServer& operator=(const DvrServer&) = delete;

    // Binds, listens and starts accepting. Returns the bound port (the free port picked when the
    // options asked for 0), or 0 on failure with the reason in lastError().
    std::uint16_t start();
    // Closes the listener and every connection and waits for their threads. Safe to call twice.
    void stop();

    std::uint16_t port() const;
    std::string baseUrl() const;  // "http://127.0.0.1:P"
    std::string lastError() const;

    CameraPosition camera(int channelIndex) const;  // channelIndex 0..15
    DvrStats stats() const;
    const DvrOptions& options() const;

    // The content type a live request for this channel index gets (without faults).
    static const char* contentTypeFor(ChannelCoding coding);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vistrel::dvr
