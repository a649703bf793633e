// The emulator's listener: accepts connections, bounds their number and hands each to a thread.

#include "tools/dvr/DvrServer.h"

namespace vistrel::dvr {

struct DvrServer::Impl {
    DvrOptions options;
    std::uint16_t port = 0;
    std::string error;
};

DvrServer::DvrServer(DvrOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}
DvrServer::~DvrServer() { stop(); }
std::uint16_t DvrServer::start() {
    impl_->error = "not implemented yet";
    return 0;
}
void DvrServer::stop() {}
std::uint16_t DvrServer::port() const { return impl_->port; }
std::string DvrServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }
std::string DvrServer::lastError() const { return impl_->error; }
CameraPosition DvrServer::camera(int) const { return {}; }
DvrStats DvrServer::stats() const { return {}; }
const DvrOptions& DvrServer::options() const { return impl_->options; }
const char* DvrServer::contentTypeFor(ChannelCoding coding) {
    return coding == ChannelCoding::H263 ? "video/x-qdaxwmh263" : "video/x-qdaxwmkvr4";
}

}  // namespace vistrel::dvr
