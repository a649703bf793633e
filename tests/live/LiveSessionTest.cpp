#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/MemoryWindow.h"
#include "stream/live/LiveStreamSession.h"
#include "tests/http/LoopbackHttpServer.h"
#include "tests/live/FakeDecoder.h"
#include "tests/support/WaitFor.h"
#include "tests/support/dvr/InternetRoot.h"

namespace vistrel::live {
namespace {

using testing::FakeDecoder;
using testing::FakeDecoderLog;
using testing::FakeFrame;
using testing::HttpConnection;
using testing::HttpRequestSeen;
using testing::LoopbackHttpServer;
using Clock = std::chrono::steady_clock;

using testsupport::WaitFor;

// Once for every test of this program (the end-to-end tests beside these too).
const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new testsupport::InternetRootEnvironment);

LiveSessionTimings shortTimings() {
    LiveSessionTimings t;
    t.randomDelayUnitMs = 40;   // first reconnect after 40..200 ms
    t.failureDelayUnitMs = 80;  // later ones after failureCount x 80 ms
    return t;
}

// A session whose decoders are fakes logging into `log`.
std::unique_ptr<LiveStreamSession> makeSession(const std::shared_ptr<FakeDecoderLog>& log,
                                               LiveSessionTimings timings = shortTimings()) {
    auto holder = std::make_shared<LiveStreamSession*>(nullptr);
    auto session = std::make_unique<LiveStreamSession>(timings, [log, holder](StreamCoding coding) {
        {
            std::lock_guard<std::mutex> g(log->lock);
            log->bytesQueuedAtCreation = (*holder)->Stats().bytesQueued;
        }
        return std::unique_ptr<IDecoder>(
            coding == StreamCoding::H263 || coding == StreamCoding::Kvr4 ? new FakeDecoder(log, coding) : nullptr);
    });
    *holder = session.get();
    return session;
}

std::string framesBody(int count, std::size_t size, int firstTag = 0) {
    std::string body;
    for (int i = 0; i < count; ++i) body += FakeFrame(size, static_cast<std::uint8_t>(firstTag + i));
    return body;
}

// A server that keeps its connection open delivers only whole 1024-byte blocks; filler without
// start codes completes the last one.
std::string padded(std::string body) {
    body.append((1024 - body.size() % 1024) % 1024, 'A');
    return body;
}

void holdOpen(HttpConnection& c) {
    while (c.idle(50)) {
    }
}

TEST(LiveSession, CreatesTheDecoderFromTheContentTypeBeforeQueueingAndDecodesSplitFrames) {
    const std::string body = padded("junk before the first frame" + framesBody(12, 2500));
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(body);
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    platform::MemoryWindow window;
    auto session = makeSession(log);
    session->SetNotifyWindow(&window);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 12; }));
    session->SetFullScreen(1);
    session->Stop();

    std::lock_guard<std::mutex> g(log->lock);
    ASSERT_EQ(log->created.size(), 1u);
    EXPECT_EQ(log->created[0], StreamCoding::H263);
    EXPECT_EQ(log->bytesQueuedAtCreation, 0u);
    ASSERT_EQ(log->openedWith.size(), 1u);
    EXPECT_EQ(log->openedWith[0], &window);
    ASSERT_EQ(log->frames.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(log->frames[std::size_t(i)], FakeFrame(2500, std::uint8_t(i))) << i;
    EXPECT_EQ(log->fullScreen, std::vector<int>{1});
    EXPECT_EQ(log->alive, 0);  // the consumer deleted it when it stopped
    EXPECT_EQ(log->closed, 1);
    EXPECT_EQ(server.seen()[0].target, "/pushall.htm;0?scrw=1024");
}

TEST(LiveSession, ReconnectsAfterAServerCloseAndReplacesTheDecoderForTheNewCoding) {
    LoopbackHttpServer server([&](int index, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK",
                   index == 0 ? "Content-Type: video/x-qdaxwmh263\r\n" : "Content-Type: video/x-qdaxwmkvr4\r\n");
        c.send(padded(framesBody(3, 1200, index * 10)));
        if (index > 0) holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;1?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 6; }));
    const LiveSessionStats stats = session->Stats();
    session->Stop();
    EXPECT_EQ(server.requests(), 2);
    EXPECT_EQ(stats.restartsFired, 1u);
    // The closed notice drew the random delay; the final notice replaced it with 2 x unit.
    EXPECT_EQ(stats.restartsScheduled, 2u);
    EXPECT_EQ(stats.lastRestartDelayMs, 2u * 80u);
    EXPECT_EQ(stats.failureCount, 0);  // the second response passed the error-page check
    std::lock_guard<std::mutex> g(log->lock);
    ASSERT_EQ(log->created.size(), 2u);
    EXPECT_EQ(log->created[1], StreamCoding::Kvr4);
    EXPECT_EQ(log->frames[3], FakeFrame(1200, 10));
}

TEST(LiveSession, HtmlPageOnTheFirstConnectionIsDroppedAndTheNextDecodes) {
    LoopbackHttpServer server([&](int index, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        if (index == 0) {
            c.send("HTTP/1.0 401 Unauthorized\r\ncontent-type: TEXT/HTML\r\n\r\n<html>log in</html>" +
                   framesBody(2, 400));
            return;
        }
        c.send(padded(framesBody(2, 400, 50)));
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 2; }));
    const LiveSessionStats stats = session->Stats();
    session->Stop();
    EXPECT_EQ(server.requests(), 2);
    // Only the final notice scheduled a reconnect, with the random first delay.
    EXPECT_EQ(stats.restartsScheduled, 1u);
    EXPECT_GE(stats.lastRestartDelayMs, 40u);
    EXPECT_LE(stats.lastRestartDelayMs, 200u);
    std::lock_guard<std::mutex> g(log->lock);
    ASSERT_EQ(log->frames.size(), 2u);
    EXPECT_EQ(log->frames[0], FakeFrame(400, 50));
}

TEST(LiveSession, UnknownContentTypeEndsEachStreamUntilTheFailureLimit) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh264\r\n");
        c.send(framesBody(3, 500));
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] {
        const LiveSessionStats s = session->Stats();
        return s.failureCount > kMaxLiveFailures && !s.restartPending;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    LiveSessionStats stats = session->Stats();
    EXPECT_EQ(server.requests(), kMaxLiveFailures + 1);
    EXPECT_EQ(stats.bytesQueued, 0u);
    EXPECT_EQ(stats.restartsFired, unsigned(kMaxLiveFailures));

    // A manual start whose stream fails again schedules nothing: only a good response resets the count.
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return server.requests() == kMaxLiveFailures + 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    stats = session->Stats();
    EXPECT_FALSE(stats.restartPending);
    EXPECT_EQ(server.requests(), kMaxLiveFailures + 2);
    session->Stop();
    std::lock_guard<std::mutex> g(log->lock);
    EXPECT_TRUE(log->created.empty());
}

TEST(LiveSession, StopWhileARestartIsPendingStartsNothing) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(framesBody(2, 300));
    });
    LiveSessionTimings timings;
    timings.randomDelayUnitMs = 400;
    timings.failureDelayUnitMs = 1500;  // the pending restart waits 3000 ms
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log, timings);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return session->Stats().restartsScheduled == 2; }));
    EXPECT_TRUE(session->Stats().restartPending);
    session->Stop();
    EXPECT_FALSE(session->Stats().restartPending);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(session->Stats().restartsFired, 0u);
}

TEST(LiveSession, StopReturnsPromptlyWhileTheCallbackWaitsOnAFullRing) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        const std::string body = framesBody(40, 4000);
        while (c.send(body)) {
        }
    });
    auto log = std::make_shared<FakeDecoderLog>();
    log->decodeDelayMs = 200;  // far slower than the network: the ring fills
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    // Full: more than the ring's room has been queued while the consumer holds little.
    ASSERT_TRUE(WaitFor([&] { return session->Stats().bytesQueued >= kByteRingSize - 2048; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::uint64_t queued = session->Stats().bytesQueued;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(session->Stats().bytesQueued - queued, 64u * 1024u);  // the producer is held back
    const auto t0 = Clock::now();
    session->Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(server.requests(), 1);
}

TEST(LiveSession, HandsA127CharacterUserNameToTheServer) {
    const std::string user(127, 'u');
    const std::string expected = "Basic " + testing::BasicCredentials(user, "pw");
    LoopbackHttpServer server([&](int, const HttpRequestSeen& req, HttpConnection& c) {
        if (req.header("authorization") != expected) {
            c.sendHead(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"dvr\"\r\n");
            return;
        }
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(padded(framesBody(2, 300)));
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->SetUserName(user + "cut");  // longer input is cut to 127
    session->SetPassword("pw");
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 2; }));
    session->Stop();
}

TEST(LiveSession, AReceiveBufferFullOfJunkIsEmptiedAndLaterFramesDecode) {
    // More junk than the receive buffer holds, then frames: the buffer is given up once full.
    const std::string body = padded(std::string(frame::kReceiveBufferSize + 20000, 'A') + framesBody(30, 1000, 1));
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(body);
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    EXPECT_TRUE(WaitFor([&] { return log->frameCount() >= 20; }));
    session->Stop();
    std::lock_guard<std::mutex> g(log->lock);
    ASSERT_FALSE(log->frames.empty());
    EXPECT_EQ(log->frames.back(), FakeFrame(1000, 30));
}

// A decoder whose frame cutting points outside the buffer must not make the consumer copy from there.
class LyingDecoder : public FakeDecoder {
public:
    using FakeDecoder::FakeDecoder;
    bool ExtractFrame(frame::FrameReceiveBuffer* rb, const std::uint8_t** frame, std::size_t* length,
                      bool* hasHeader) const override {
        if (rb->held < 100) return false;
        *frame = rb->data + rb->held - 10;
        *length = 4096;  // runs past the held bytes
        *hasHeader = false;
        return true;
    }
};

TEST(LiveSession, AFrameReportedOutsideTheHeldBytesEmptiesTheBuffer) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(padded(framesBody(10, 1000)));
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    LiveStreamSession session(shortTimings(), [log](StreamCoding coding) {
        return std::unique_ptr<IDecoder>(new LyingDecoder(log, coding));
    });
    session.SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.Stats().bytesQueued >= 10240; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    session.Stop();
    EXPECT_EQ(log->frameCount(), 0u);
}

TEST(LiveSession, CodingsWithoutADecoderAreReceivedAndDropped) {
    LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmjpeg\r\n");
        c.send(padded(framesBody(20, 1000)));
        holdOpen(c);
    });
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return session->Stats().bytesQueued >= 20000; }));
    session->SetFullScreen(1);  // no decoder: nothing to forward to
    session->Stop();
    EXPECT_EQ(session->Stats().framesDecoded, 0u);
    EXPECT_EQ(session->Stats().restartsScheduled, 0u);
}

// A server that stops sending without closing: the stall ends the response after the stall
// limit (not the transport's two-minute read limit) and the reconnect rule brings the stream back.
TEST(LiveSession, AStalledStreamCountsAsBrokenAndIsReconnected) {
    LoopbackHttpServer server([&](int index, const HttpRequestSeen&, HttpConnection& c) {
        c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
        c.send(padded(framesBody(2, 1500, index * 10)));
        holdOpen(c);  // silent from here on
    });
    LiveSessionTimings timings = shortTimings();
    timings.stallMs = 300;
    auto log = std::make_shared<FakeDecoderLog>();
    auto session = makeSession(log, timings);
    session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 4; }));
    const LiveSessionStats stats = session->Stats();
    session->Stop();
    EXPECT_GE(server.requests(), 2);
    EXPECT_GE(stats.restartsFired, 1u);
    // A stall is one break (no closed notice): the first reconnect takes the random delay.
    EXPECT_LE(stats.lastRestartDelayMs, 5u * 40u);
    std::lock_guard<std::mutex> g(log->lock);
    EXPECT_EQ(log->frames[2], FakeFrame(1500, 10));
}

// Stop while connecting to a server that never answers, while the body is silent, while it
// flows, and while a reconnect is pending.
TEST(LiveSession, StopIsPromptInEveryState) {
    enum class State { Connecting, Stalled, Flowing, RestartPending };
    for (State state : {State::Connecting, State::Stalled, State::Flowing, State::RestartPending}) {
        LoopbackHttpServer server([&](int, const HttpRequestSeen&, HttpConnection& c) {
            if (state == State::Connecting) {
                holdOpen(c);
                return;
            }
            c.sendHead(200, "OK", "Content-Type: video/x-qdaxwmh263\r\n");
            const std::string body = padded(framesBody(3, 1000));
            c.send(body);
            if (state == State::RestartPending) return;
            while (state == State::Flowing && c.send(body) && c.idle(5)) {
            }
            holdOpen(c);
        });
        LiveSessionTimings timings = shortTimings();
        timings.randomDelayUnitMs = 5000;  // a pending restart stays pending while we stop
        timings.failureDelayUnitMs = 5000;
        auto log = std::make_shared<FakeDecoderLog>();
        auto session = makeSession(log, timings);
        session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
        session->Start();
        if (state == State::Connecting) ASSERT_TRUE(WaitFor([&] { return server.requests() >= 1; }));
        else if (state == State::RestartPending)
            ASSERT_TRUE(WaitFor([&] { return session->Stats().restartPending; }));
        else ASSERT_TRUE(WaitFor([&] { return log->frameCount() >= 3; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto t0 = Clock::now();
        session->Stop();
        // Far above what a stop takes, and below the second a silent connection used to cost.
        EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(750)) << int(state);
        EXPECT_FALSE(session->Stats().restartPending);
    }
}

}  // namespace
}  // namespace vistrel::live
