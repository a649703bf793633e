#include "tests/support/dvr/RunningDvr.h"

#include <utility>

namespace vistrel::testsupport {

RunningDvr::RunningDvr(dvr::DvrOptions options) : server_(std::move(options)), port_(server_.start()) {}

std::unique_ptr<dvr::DvrServer> StartDvr(dvr::DvrOptions options) {
    auto server = std::make_unique<dvr::DvrServer>(std::move(options));
    if (server->start() == 0) return nullptr;
    return server;
}

}  // namespace vistrel::testsupport
