#include <gtest/gtest.h>

#include "stream/http/CommandRequest.h"
#include "stream/http/StreamRequest.h"
#include "tests/http/LoopbackHttpServer.h"

namespace vistrel::http {
namespace {

using testing::HttpConnection;
using testing::HttpRequestSeen;
using testing::LoopbackHttpServer;

TEST(CommandRequest, SendsOneGetAndReportsTheStatus) {
    ASSERT_TRUE(OpenInternetRoot("KEMBQM/MSIE"));
    LoopbackHttpServer server([](int, const HttpRequestSeen& req, HttpConnection& c) {
        c.sendHead(req.target.find("camctrl_up=up") != std::string::npos ? 200 : 400, "X", "");
    });
    const std::string url =
        server.url("/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=3&zzw=5&Speed=2&camctrl_up=up");
    CommandResult r = SendCommandRequest(url);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.status, 200);
    ASSERT_EQ(server.seen().size(), 1u);
    EXPECT_EQ(server.seen()[0].version, "HTTP/1.0");
    EXPECT_EQ(server.seen()[0].header("authorization"), "");

    r = SendCommandRequest(server.url("/cam_ctrl.htm?x"));
    EXPECT_EQ(r.status, 400);

    std::uint16_t deadPort = server.port();
    server.stop();
    r = SendCommandRequest("http://127.0.0.1:" + std::to_string(deadPort) + "/cam_ctrl.htm", "", "", 1000, 2000);
    EXPECT_FALSE(r.answered);
    EXPECT_FALSE(r.error.empty());
}

TEST(CommandRequest, GivesUpOnASilentServerWithinItsTimeLimit) {
    ASSERT_TRUE(OpenInternetRoot("KEMBQM/MSIE"));
    LoopbackHttpServer server([](int, const HttpRequestSeen&, HttpConnection& c) {
        while (c.idle(50)) {
        }
    });
    const auto t0 = std::chrono::steady_clock::now();
    CommandResult r = SendCommandRequest(server.url("/cam_ctrl.htm"), "", "", 1000, 800);
    EXPECT_FALSE(r.answered);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
}

}  // namespace
}  // namespace vistrel::http
