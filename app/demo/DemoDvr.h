#pragma once
// The DVR emulator run inside the desktop client for `vistrel --demo`: a free loopback port, the
// request log handed on, stopped when the demo ends.

#include <cstdint>
#include <memory>
#include <string>

#include "tools/dvr/DvrServer.h"

namespace vistrel::app {

class DemoDvr {
public:
    DemoDvr() = default;
    ~DemoDvr();  // stops the emulator
    DemoDvr(const DemoDvr&) = delete;
    DemoDvr& operator=(const DemoDvr&) = delete;

    // Starts the emulator on a free loopback port; logFile (may be empty) receives one JSON line
    // per request. False with the reason in *error when it cannot listen or open the log.
    bool start(const std::string& logFile, std::string* error);
    void stop();

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return port_; }
    // Null before start() succeeded.
    dvr::DvrServer* server() { return server_.get(); }

private:
    std::unique_ptr<dvr::DvrServer> server_;
    std::uint16_t port_ = 0;
};

}  // namespace vistrel::app
