#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <random>

#include "stream/live/DvrAddress.h"
#include "stream/live/LiveStreamSession.h"
#include "tests/http/LoopbackHttpServer.h"
#include "tests/http/StreamCallbackRecorder.h"
#include "tests/support/Command.h"
#include "tests/support/WaitFor.h"
#include "tests/support/dvr/InternetRoot.h"
#include "tests/support/dvr/RunningDvr.h"

namespace vistrel::live {
namespace {

using testsupport::CommandResult;
using testsupport::RunCapture;
using testsupport::RunningDvr;
using testsupport::RunQuietly;
using testsupport::Stderr;
using testsupport::WaitFor;
constexpr int kWaitMs = int(testsupport::kDefaultWait.count());

LiveSessionTimings shortTimings() {
    LiveSessionTimings t;
    t.randomDelayUnitMs = 50;
    t.failureDelayUnitMs = 100;
    return t;
}

// The real decoders, with the codings they were made for remembered.
struct CodingLog {
    std::mutex lock;
    std::vector<StreamCoding> codings;  // guarded by lock
};

std::unique_ptr<LiveStreamSession> realSession(const std::shared_ptr<CodingLog>& log,
                                               LiveSessionTimings timings = shortTimings()) {
    return std::make_unique<LiveStreamSession>(timings, [log](StreamCoding coding) {
        {
            std::lock_guard<std::mutex> g(log->lock);
            log->codings.push_back(coding);
        }
        return MakeLiveDecoder(coding);
    });
}

std::string liveUrl(std::uint16_t port, int channel) {
    DvrAddress a;
    a.host = "127.0.0.1";
    a.port = port;
    a.channel = channel;
    return LiveUrl(a);
}

// A real session on the emulator's channel, started.
std::unique_ptr<LiveStreamSession> startedSession(const std::shared_ptr<CodingLog>& log, std::uint16_t port,
                                                  int channel, LiveSessionTimings timings = shortTimings()) {
    auto session = realSession(log, timings);
    session->SetUrl(liveUrl(port, channel));
    session->Start();
    return session;
}

dvr::DvrOptions pacedOptions() {
    dvr::DvrOptions o;
    o.frameIntervalMs = 20;
    return o;
}

void pictureSize(LiveStreamSession& s, int* w, int* h) {
    *w = *h = 0;
    s.WithDecoder([&](IDecoder* d) {
        if (d) d->GetPictureSize(w, h);
    });
}

TEST(LiveEndToEnd, H263AndMpeg4ChannelsDecodePicturesAndTheChannelPicksTheCoding) {
    RunningDvr dvr(pacedOptions());
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    struct Case {
        int channel;
        StreamCoding coding;
    };
    for (const Case& k : {Case{1, StreamCoding::H263}, Case{9, StreamCoding::Kvr4}, Case{8, StreamCoding::H263},
                          Case{16, StreamCoding::Kvr4}}) {
        auto log = std::make_shared<CodingLog>();
        auto session = startedSession(log, port, k.channel);
        EXPECT_TRUE(WaitFor([&] { return session->Stats().framesDecoded >= 10; })) << k.channel;
        int w = 0, h = 0;
        pictureSize(*session, &w, &h);
        session->Stop();
        EXPECT_EQ(w, 320) << k.channel;
        EXPECT_EQ(h, 240) << k.channel;
        std::lock_guard<std::mutex> g(log->lock);
        ASSERT_FALSE(log->codings.empty());
        EXPECT_EQ(log->codings[0], k.coding) << k.channel;
    }
}

TEST(LiveEndToEnd, DroppedConnectionsAreReconnectedAndDecodingGoesOn) {
    dvr::DvrOptions o = pacedOptions();
    o.faults.closeAfterBytes = 20000;
    RunningDvr dvr(o);
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    auto log = std::make_shared<CodingLog>();
    auto session = startedSession(log, port, 1);
    ASSERT_TRUE(WaitFor([&] { return session->Stats().restartsFired >= 3; }));
    const LiveSessionStats stats = session->Stats();
    EXPECT_TRUE(WaitFor([&] { return dvr->stats().liveRequests >= 4; }));
    session->Stop();
    EXPECT_GE(stats.bytesQueued, 3u * 20000u - 3u * 1024u);
    // Every response passed the check, so the count never reached the limit.
    EXPECT_LE(stats.failureCount, 2);
    EXPECT_GT(stats.framesDecoded, 0u);
}

TEST(LiveEndToEnd, HtmlErrorPageOnTheFirstConnectionIsDroppedAndTheNextDecodes) {
    dvr::DvrOptions o = pacedOptions();
    o.faults.htmlErrorConnections = 1;
    RunningDvr dvr(o);
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    auto log = std::make_shared<CodingLog>();
    auto session = startedSession(log, port, 1);
    ASSERT_TRUE(WaitFor([&] { return session->Stats().bytesQueued >= 20000; }));
    EXPECT_TRUE(WaitFor([&] { return session->Stats().framesDecoded >= 5; }));
    const LiveSessionStats stats = session->Stats();
    session->Stop();
    EXPECT_EQ(dvr->stats().liveRequests, 2);
    EXPECT_EQ(stats.restartsFired, 1u);
    EXPECT_TRUE(stats.hadValidStream);
}

TEST(LiveEndToEnd, RightCredentialsStreamAndWrongOnesFailAfterTheRetries) {
    for (dvr::AuthMode mode : {dvr::AuthMode::Basic, dvr::AuthMode::Digest}) {
        dvr::DvrOptions o = pacedOptions();
        o.auth = mode;
        o.user = "admin";
        o.password = "1234";
        RunningDvr dvr(o);
        ASSERT_TRUE(dvr.started()) << dvr.error();
        const std::uint16_t port = dvr.port();

        auto log = std::make_shared<CodingLog>();
        auto good = realSession(log);
        good->SetUrl(liveUrl(port, 1));
        good->SetUserName("admin");
        good->SetPassword("1234");
        good->Start();
        EXPECT_TRUE(WaitFor([&] { return good->Stats().bytesQueued >= 10000; })) << int(mode);
        EXPECT_TRUE(WaitFor([&] { return good->Stats().framesDecoded >= 3; }));
        good->Stop();

        LiveSessionTimings slow = shortTimings();
        slow.randomDelayUnitMs = 10000;  // no reconnect while we look
        auto bad = realSession(log, slow);
        bad->SetUrl(liveUrl(port, 1));
        bad->SetUserName("admin");
        bad->SetPassword("wrong");
        const int failuresBefore = dvr->stats().authFailures;
        bad->Start();
        ASSERT_TRUE(WaitFor([&] { return bad->Stats().restartsScheduled >= 1; })) << int(mode);
        const int failures = dvr->stats().authFailures - failuresBefore;
        EXPECT_GE(failures, 4) << int(mode);  // four attempts, each refused
        EXPECT_LE(failures, 8) << int(mode);
        EXPECT_EQ(bad->Stats().bytesQueued, 0u);
        bad->Stop();
    }
}

TEST(LiveEndToEnd, A404IsRetriedThreeTimes) {
    dvr::DvrOptions o = pacedOptions();
    o.auth = dvr::AuthMode::Basic;
    o.user = "admin";
    o.password = "1234";
    o.authFailureStatus = 404;
    RunningDvr dvr(o);
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    LiveSessionTimings slow = shortTimings();
    slow.randomDelayUnitMs = 10000;
    auto log = std::make_shared<CodingLog>();
    auto session = realSession(log, slow);
    session->SetUrl(liveUrl(port, 1));
    session->SetUserName("admin");
    session->SetPassword("wrong");
    session->Start();
    ASSERT_TRUE(WaitFor([&] { return session->Stats().restartsScheduled >= 1; }));
    session->Stop();
    EXPECT_EQ(dvr->stats().authFailures, 4);
}

TEST(LiveEndToEnd, UnknownContentTypeEndsTheStream) {
    dvr::DvrOptions o = pacedOptions();
    o.faults.contentType = "video/x-unknown";
    RunningDvr dvr(o);
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    auto log = std::make_shared<CodingLog>();
    auto session = startedSession(log, port, 1);
    ASSERT_TRUE(WaitFor([&] {
        const LiveSessionStats s = session->Stats();
        return s.failureCount > kMaxLiveFailures && !s.restartPending;
    }));
    session->Stop();
    EXPECT_EQ(session->Stats().bytesQueued, 0u);
    EXPECT_EQ(dvr->stats().liveRequests, kMaxLiveFailures + 1);
    std::lock_guard<std::mutex> g(log->lock);
    EXPECT_TRUE(log->codings.empty());
}

// Part of a channel's live body, as the emulator sends it.
std::string recordChannel(std::uint16_t port, int channel, std::size_t bytes) {
    testing::StreamCallbackRecorder rec;
    std::atomic<std::size_t> got{0};
    rec.reply = [&](const testing::StreamCall& call, const std::atomic<int>*) {
        return (got += call.length) < bytes ? 1 : 0;
    };
    http::StreamRequest* r = http::OpenStreamRequest(liveUrl(port, channel).c_str(), "", "",
                                                     &testing::StreamCallbackRecorder::callback, &rec);
    rec.waitFinal(kWaitMs);
    http::CloseStreamRequest(r, true);
    return rec.body();
}

TEST(LiveEndToEnd, DamagedStreamsDropPicturesButNeverTheSession) {
    std::string streams[2];
    {
        dvr::DvrOptions o;
        o.frameIntervalMs = 2;
        RunningDvr dvr(o);
        ASSERT_TRUE(dvr.started()) << dvr.error();
        const std::uint16_t port = dvr.port();
        streams[0] = recordChannel(port, 1, 60000);
        streams[1] = recordChannel(port, 9, 60000);
    }
    const char* types[2] = {"video/x-qdaxwmh263", "video/x-qdaxwmkvr4"};
    std::mt19937 rng(11);
    for (int kind = 0; kind < 2; ++kind) {
        ASSERT_GE(streams[kind].size(), 60000u);
        for (int variant = 0; variant < 3; ++variant) {
            std::string body = streams[kind];
            if (variant == 0) {  // scattered bit flips
                for (std::size_t i = 0; i < body.size() / 400; ++i)
                    body[rng() % body.size()] ^= static_cast<char>(1u << (rng() % 8));
            } else if (variant == 1) {  // pieces cut out and spliced
                for (int cut = 0; cut < 20; ++cut) {
                    const std::size_t at = rng() % body.size();
                    body.erase(at, std::min<std::size_t>(rng() % 3000, body.size() - at));
                }
            } else {  // a frame header claiming far more than follows, then noise
                std::string noise(20000, '\0');
                for (char& c : noise) c = static_cast<char>(rng());
                body = body.substr(0, 30000) + "\xF6\x7F\xFF\x7F\xF9\x00\xDD\x00\x00\x00\x00\x00\xC5\x00" + noise +
                       body.substr(30000);
            }
            body.append((1024 - body.size() % 1024) % 1024, '\0');
            testing::LoopbackHttpServer server(
                [&](int, const testing::HttpRequestSeen&, testing::HttpConnection& c) {
                    c.sendHead(200, "OK", std::string("Content-Type: ") + types[kind] + "\r\n");
                    c.send(body);
                    while (c.idle(50)) {
                    }
                });
            auto log = std::make_shared<CodingLog>();
            auto session = realSession(log);
            session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
            session->Start();
            EXPECT_TRUE(WaitFor([&] { return session->Stats().bytesQueued >= body.size(); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const LiveSessionStats stats = session->Stats();
            session->Stop();
            EXPECT_GT(stats.framesDecoded, 0u) << kind << "/" << variant;
        }
    }
}

TEST(LiveCommand, WatchesAChannelSavesASnapshotAndARecordThatDecodeReadsBack) {
    RunningDvr dvr(pacedOptions());
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    const std::string bin = VISTREL_BIN_DIR;
    const std::string dir = ::testing::TempDir();
    const std::string bmp = dir + "/live_snapshot.bmp";
    const std::string rec = dir + "/live_record.bin";
    std::remove(bmp.c_str());
    const CommandResult live =
        RunCapture(bin + "/vistrel-cli live --host 127.0.0.1 --port " + std::to_string(port) +
                       " --channel 2 --seconds 3 --snapshot " + bmp + " --record " + rec,
                   Stderr::Discard);
    const std::string& out = live.output;
    std::ifstream recorded(rec, std::ios::binary | std::ios::ate);
    ASSERT_TRUE(recorded.good());
    EXPECT_GT(static_cast<long>(recorded.tellg()), 10000L);
    EXPECT_EQ(live.exitCode, 0) << out;
    unsigned long long frames = 0, bytes = 0;
    int w = 0, h = 0;
    unsigned reconnects = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "frames %llu, size %dx%d, reconnects %u, bytes %llu", &frames, &w, &h,
                          &reconnects, &bytes),
              5)
        << out;
    EXPECT_GT(frames, 5u);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    std::ifstream bitmap(bmp, std::ios::binary);
    std::string header(54, '\0');
    ASSERT_TRUE(bitmap.read(header.data(), 54));
    EXPECT_EQ(header.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(header[28]), 24u);  // bits per pixel
    bitmap.seekg(0, std::ios::end);
    EXPECT_EQ(static_cast<long>(bitmap.tellg()), 320L * 240L * 3L + 54L);

    const CommandResult decoded =
        RunCapture(bin + "/vistrel-cli decode " + rec + " --framed --codec h263", Stderr::Discard);
    EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
    EXPECT_NE(decoded.output.find("decoded "), std::string::npos) << decoded.output;
    std::remove(bmp.c_str());
    std::remove(rec.c_str());
}

TEST(LiveCommand, BadArgumentsAndUnreachableHostsAreReported) {
    const std::string bin = VISTREL_BIN_DIR;
    EXPECT_EQ(RunQuietly(bin + "/vistrel-cli live --port 80"), 2);
    EXPECT_EQ(RunQuietly(bin + "/vistrel-cli live --host h --port 70000"), 2);
    EXPECT_EQ(RunQuietly(bin + "/vistrel-cli live --host h --channel 17"), 2);
    EXPECT_EQ(RunQuietly(bin + "/vistrel-cli ptz --host h --channel 1 --command sideways"), 2);
    EXPECT_EQ(RunQuietly(bin + "/vistrel-cli ptz --host 127.0.0.1 --port 1 --channel 1 --command up"), 1);
}

TEST(PtzCommand, SendsTheCameraCommandForTheChannelAsShown) {
    RunningDvr dvr(pacedOptions());
    ASSERT_TRUE(dvr.started()) << dvr.error();
    const std::uint16_t port = dvr.port();
    const std::string bin = VISTREL_BIN_DIR;
    const CommandResult ptz = RunCapture(bin + "/vistrel-cli ptz --host 127.0.0.1 --port " + std::to_string(port) +
                                             " --channel 16 --command zoomin --speed fast",
                                         Stderr::Discard);
    EXPECT_EQ(ptz.exitCode, 0) << ptz.output;
    EXPECT_EQ(dvr->stats().cameraRequests, 1);
    EXPECT_EQ(dvr->camera(15).commands, 1);
    EXPECT_GT(dvr->camera(15).zoomPercent, 100);
}

}  // namespace
}  // namespace vistrel::live
