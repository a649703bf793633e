#pragma once
// The DVR emulator started inside the test's process on a free loopback port, stopped (with every
// connection's thread joined) when the object goes.

#include <cstdint>
#include <memory>
#include <string>

#include "tools/dvr/DvrServer.h"

namespace vistrel::testsupport {

class RunningDvr {
public:
    // Starts at once; port() is 0 and error() says why when it could not.
    explicit RunningDvr(dvr::DvrOptions options = {});

    bool started() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }
    std::string error() const { return server_.lastError(); }
    dvr::DvrServer& server() { return server_; }
    const dvr::DvrServer& server() const { return server_; }
    dvr::DvrServer* operator->() { return &server_; }
    const dvr::DvrServer* operator->() const { return &server_; }

private:
    dvr::DvrServer server_;
    std::uint16_t port_;
};

// The same for a fixture that keeps the emulator across tests: null when it could not start.
std::unique_ptr<dvr::DvrServer> StartDvr(dvr::DvrOptions options = {});

}  // namespace vistrel::testsupport
