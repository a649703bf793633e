#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "stream/http/StreamRequest.h"
#include "tests/http/LoopbackHttpServer.h"
#include "tests/http/StreamCallbackRecorder.h"

namespace vistrel::http {
namespace {

using testing::HttpConnection;
using testing::HttpRequestSeen;
using testing::LoopbackHttpServer;
using testing::StreamCall;
using testing::StreamCallbackRecorder;
using Clock = std::chrono::steady_clock;

// Generous: a loaded 2-core machine under the sanitizers.
constexpr int kWaitMs = 20000;

class RootEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(OpenInternetRoot("KEMBQM/MSIE")); }
    void TearDown() override { CloseInternetRoot(); }
};
const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new RootEnvironment);

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(StreamRequest, DeliversBodyInBlocksThenClosedNoticeThenFinalNotice) {
    const std::string body = pattern(2500);
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(body);
    });
    StreamCallbackRecorder rec;
    StreamRequest* r =
        OpenStreamRequest(server.url("/p.htm;3?x=1").c_str(), "", "", &StreamCallbackRecorder::callback, &rec);
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(rec.waitFinal(kWaitMs));
    EXPECT_EQ(GetStreamRequestState(r), RequestState::ClosingHandle);
    char type[8];
    ASSERT_TRUE(GetStreamContentType(r, kStreamInfoContentType, type, sizeof type));
    EXPECT_STREQ(type, "video/x");  // cut to the buffer
    EXPECT_FALSE(GetStreamContentType(r, 2, type, sizeof type));
    CloseStreamRequest(r, true);

    const auto calls = rec.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].first, 1);
    EXPECT_EQ(calls[0].length, kStreamBlockSize);
    EXPECT_EQ(calls[0].contentType, "video/x-qdaxwmh263");
    EXPECT_FALSE(calls[0].abortNull);
    EXPECT_EQ(calls[1].first, 0);
    EXPECT_EQ(calls[1].length, kStreamBlockSize);
    EXPECT_EQ(calls[2].length, 2500u - 2048u);  // the short last block keeps its true length
    EXPECT_EQ(calls[3].length, 0u);             // closed notice
    EXPECT_FALSE(calls[3].dataNull);
    EXPECT_FALSE(calls[3].abortNull);
    EXPECT_EQ(calls[4].first, 0);  // final notice
    EXPECT_TRUE(calls[4].dataNull);
    EXPECT_TRUE(calls[4].abortNull);
    EXPECT_EQ(rec.body(), body);

    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/p.htm;3?x=1");
    EXPECT_EQ(seen[0].version, "HTTP/1.0");
    EXPECT_EQ(seen[0].header("user-agent"), "MSIE");
    EXPECT_EQ(seen[0].header("authorization"), "");
}

TEST(StreamRequest, FirstFlagStaysSetUntilACallGoesOnAndZeroEndsTheStream) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmkvr4\r\n");
        const std::string block = pattern(1024);
        while (c.send(block)) {
        }
    });
    StreamCallbackRecorder rec;
    rec.reply = [](const StreamCall&, const std::atomic<int>*) { return 0; };
    StreamRequest* r =
        OpenStreamRequest(server.url("/live").c_str(), nullptr, nullptr, &StreamCallbackRecorder::callback, &rec);
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(rec.waitFinal(kWaitMs));
    CloseStreamRequest(r, true);
    const auto calls = rec.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, 1);
    EXPECT_EQ(calls[0].length, kStreamBlockSize);
    EXPECT_TRUE(calls[1].dataNull);

    // An empty body: the closed notice comes with the first-call flag still raised.
    LoopbackHttpServer empty([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmkvr4\r\n");
    });
    StreamCallbackRecorder rec2;
    r = OpenStreamRequest(empty.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec2);
    ASSERT_TRUE(rec2.waitFinal(kWaitMs));
    CloseStreamRequest(r, true);
    const auto calls2 = rec2.calls();
    ASSERT_EQ(calls2.size(), 2u);
    EXPECT_EQ(calls2[0].first, 1);
    EXPECT_EQ(calls2[0].length, 0u);
    EXPECT_FALSE(calls2[0].dataNull);
}

TEST(StreamRequest, RetriesStatus404ThreeTimesOnlyWithBothCredentials) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(404, "Not Found", "Content-Type: text/html\r\n");
        c.send("<html>no</html>");
    });
    struct Case {
        const char* user;
        const char* password;
        int requests;
    };
    int before = 0;
    for (const Case& k : {Case{"u", "p", 4}, Case{"", "", 1}, Case{"u", "", 1}, Case{"", "p", 1}}) {
        StreamCallbackRecorder rec;
        StreamRequest* r = OpenStreamRequest(server.url("/x").c_str(), k.user, k.password,
                                             &StreamCallbackRecorder::callback, &rec);
        ASSERT_NE(r, nullptr);
        ASSERT_TRUE(rec.waitFinal(kWaitMs));
        EXPECT_EQ(GetStreamRequestState(r), RequestState::Failed);
        CloseStreamRequest(r, true);
        EXPECT_EQ(server.requests() - before, k.requests) << k.user << "/" << k.password;
        before = server.requests();
        const auto calls = rec.calls();
        ASSERT_EQ(calls.size(), 1u);  // only the final notice
        EXPECT_TRUE(calls[0].dataNull);
    }
}

TEST(StreamRequest, BasicCredentialsAreHandedToTheServerAndWrongOnesFail) {
    const std::string expected = "Basic " + testing::BasicCredentials("admin", "secret");
    LoopbackHttpServer server([&](int, const HttpRequestSeen& req, HttpConnection& c) {
        if (req.header("authorization") != expected) {
            c.sendHead(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"dvr\"\r\n");
            return;
        }
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(pattern(100));
    });
    StreamCallbackRecorder good;
    StreamRequest* r =
        OpenStreamRequest(server.url("/").c_str(), "admin", "secret", &StreamCallbackRecorder::callback, &good);
    ASSERT_TRUE(good.waitFinal(kWaitMs));
    CloseStreamRequest(r, true);
    EXPECT_EQ(good.body(), pattern(100));

    const int before = server.requests();
    StreamCallbackRecorder bad;
    r = OpenStreamRequest(server.url("/").c_str(), "admin", "wrong", &StreamCallbackRecorder::callback, &bad);
    ASSERT_TRUE(bad.waitFinal(kWaitMs));
    EXPECT_EQ(GetStreamRequestState(r), RequestState::Failed);
    CloseStreamRequest(r, true);
    EXPECT_EQ(bad.calls().size(), 1u);
    // Four attempts; the HTTP client may probe each without credentials first.
    EXPECT_GE(server.requests() - before, 4);
    EXPECT_LE(server.requests() - before, 8);
}

TEST(StreamRequest, CloseReturnsPromptlyWhileTheCallbackIsBlocked) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        const std::string block = pattern(4096);
        while (c.send(block)) {
        }
    });
    StreamCallbackRecorder rec;
    std::atomic<bool> blocked{false};
    rec.reply = [&](const StreamCall&, const std::atomic<int>* abortFlag) {
        blocked = true;
        while (abortFlag->load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 0;
    };
    StreamRequest* r = OpenStreamRequest(server.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec);
    ASSERT_NE(r, nullptr);
    const auto t0 = Clock::now();
    while (!blocked && msSince(t0) < kWaitMs) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(blocked);
    const auto closeStart = Clock::now();
    CloseStreamRequest(r, true);
    EXPECT_LT(msSince(closeStart), 5000);
    const auto calls = rec.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls.back().dataNull);
}

TEST(StreamRequest, AbortIsSeenWhileNothingArrives) {
    // Both before the status line and in the middle of a body.
    for (bool sendHead : {false, true}) {
        LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
            if (sendHead) {
                c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
                c.send(pattern(10));
            }
            while (c.idle(50)) {
            }
        });
        StreamCallbackRecorder rec;
        StreamRequest* r =
            OpenStreamRequest(server.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec);
        const auto t0 = Clock::now();
        while (server.requests() == 0 && msSince(t0) < kWaitMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto closeStart = Clock::now();
        CloseStreamRequest(r, true);
        EXPECT_LT(msSince(closeStart), 5000) << sendHead;
        const auto calls = rec.calls();
        ASSERT_EQ(calls.size(), 1u);  // no data, no closed notice: only the final notice
        EXPECT_TRUE(calls[0].dataNull);
    }
}

TEST(StreamRequest, SendAndReadTimeLimitsEndTheRequestWithoutAClosedNotice) {
    StreamRequestLimits limits;
    limits.sendMs = 1500;
    limits.readMs = 1500;
    for (bool sendHead : {false, true}) {
        LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
            if (sendHead) {
                c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
                c.send(pattern(2048 + 10));
            }
            while (c.idle(50)) {
            }
        });
        StreamCallbackRecorder rec;
        StreamRequest* r =
            OpenStreamRequest(server.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec, limits);
        ASSERT_TRUE(rec.waitFinal(kWaitMs)) << sendHead;
        if (!sendHead) {
            EXPECT_EQ(GetStreamRequestState(r), RequestState::Failed);
        }
        CloseStreamRequest(r, true);
        const auto calls = rec.calls();
        ASSERT_EQ(calls.size(), sendHead ? 3u : 1u);
        for (std::size_t i = 0; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i].length, kStreamBlockSize);
        EXPECT_TRUE(calls.back().dataNull);
    }
}

TEST(StreamRequest, RefusedConnectionAndUnusableUrlMakeOnlyTheFinalNotice) {
    std::uint16_t deadPort;
    {
        LoopbackHttpServer server([](int, const HttpRequestSeen&, HttpConnection&) {});
        deadPort = server.port();
    }
    for (const std::string& url : {"http://127.0.0.1:" + std::to_string(deadPort) + "/",
                                   std::string("http://127.0.0.1:99999/"), std::string("http://bad host/")}) {
        StreamCallbackRecorder rec;
        StreamRequest* r = OpenStreamRequest(url.c_str(), "", "", &StreamCallbackRecorder::callback, &rec);
        ASSERT_NE(r, nullptr);
        ASSERT_TRUE(rec.waitFinal(kWaitMs)) << url;
        EXPECT_EQ(GetStreamRequestState(r), RequestState::Failed) << url;
        char type[32];
        EXPECT_FALSE(GetStreamContentType(r, kStreamInfoContentType, type, sizeof type));
        CloseStreamRequest(r, true);
        EXPECT_EQ(rec.calls().size(), 1u);
    }
}

TEST(StreamRequest, NoRequestWithoutTheRoot) {
    CloseInternetRoot();
    StreamCallbackRecorder rec;
    EXPECT_EQ(OpenStreamRequest("http://127.0.0.1:1/", "", "", &StreamCallbackRecorder::callback, &rec), nullptr);
    ASSERT_TRUE(OpenInternetRoot("KEMBQM/MSIE"));
    ASSERT_TRUE(OpenInternetRoot("again"));
    EXPECT_TRUE(rec.calls().empty());
}

}  // namespace
}  // namespace vistrel::http

namespace vistrel::http {
namespace {

// Silence counts, not slowness: a body that trickles a byte at a time is alive even though no
// block completes, and a body that stops is ended by the idle limit long before the read limit.
TEST(StreamRequest, IdleLimitEndsASilentBodyButNotASlowOne) {
    StreamRequestLimits limits;
    limits.idleMs = 400;
    for (bool trickle : {false, true}) {
        std::atomic<bool> trickled{false};
        LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
            c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
            c.send(pattern(2048 + 10));
            if (trickle) {
                // 30 bytes 100 ms apart: three times the idle limit without a whole block.
                for (int i = 0; i < 30 && c.idle(100); ++i) c.send("x");
                trickled = true;
            }
            while (c.idle(50)) {
            }
        });
        StreamCallbackRecorder rec;
        StreamRequest* r =
            OpenStreamRequest(server.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec, limits);
        ASSERT_NE(r, nullptr);
        ASSERT_TRUE(rec.waitFinal(kWaitMs)) << trickle;
        EXPECT_EQ(trickled.load(), trickle);
        CloseStreamRequest(r, true);
        const auto calls = rec.calls();
        // Two blocks and the final notice: a stall is a broken response, not a server close.
        ASSERT_EQ(calls.size(), 3u) << trickle;
        EXPECT_EQ(calls[0].length, kStreamBlockSize);
        EXPECT_EQ(calls[1].length, kStreamBlockSize);
        EXPECT_TRUE(calls[2].dataNull);
    }
}

// Waiting for the status line, in a silent body and in a flowing one: the close wakes the
// worker instead of waiting for its next look at the abort flag.
TEST(StreamRequest, CloseEndsTheRequestPromptlyInEveryState) {
    enum class Server { Silent, Stalled, Flowing };
    for (Server kind : {Server::Silent, Server::Stalled, Server::Flowing}) {
        LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
            if (kind != Server::Silent) {
                c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
                c.send(pattern(2048));
            }
            if (kind == Server::Flowing) {
                const std::string block = pattern(1024);
                while (c.send(block) && c.idle(2)) {
                }
            }
            while (c.idle(20)) {
            }
        });
        StreamCallbackRecorder rec;
        StreamRequest* r =
            OpenStreamRequest(server.url("/").c_str(), "", "", &StreamCallbackRecorder::callback, &rec);
        ASSERT_NE(r, nullptr);
        if (kind == Server::Silent) {
            const auto t0 = Clock::now();
            while (server.requests() == 0 && msSince(t0) < kWaitMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            ASSERT_TRUE(rec.waitCalls(2, kWaitMs));
        }
        // Long enough for the worker to settle into its wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto closeStart = Clock::now();
        CloseStreamRequest(r, true);
        // The transport used to notice an abort on a silent connection only once a second; the
        // bound is far above what a close takes even on a loaded machine, and below that second.
        EXPECT_LT(msSince(closeStart), 750) << int(kind);
        const auto calls = rec.calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_TRUE(calls.back().dataNull);
    }
}

}  // namespace
}  // namespace vistrel::http
