#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <random>

#include "stream/live/DvrAddress.h"
#include "tests/http/LoopbackHttpServer.h"
#include "tests/http/StreamCallbackRecorder.h"
#include "stream/live/LiveStreamSession.h"
#include "tools/dvr/DvrServer.h"

namespace vistrel::live {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 30000;  // generous: sanitizers on a loaded 2-core machine

class RootEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(http::OpenInternetRoot("KEMBQM/MSIE")); }
    void TearDown() override { http::CloseInternetRoot(); }
};
const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new RootEnvironment);

template <typename Pred>
bool waitFor(Pred pred, int ms = kWaitMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

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
    dvr::DvrServer dvr(pacedOptions());
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    struct Case {
        int channel;
        StreamCoding coding;
    };
    for (const Case& k : {Case{1, StreamCoding::H263}, Case{9, StreamCoding::Kvr4}, Case{8, StreamCoding::H263},
                          Case{16, StreamCoding::Kvr4}}) {
        auto log = std::make_shared<CodingLog>();
        auto session = realSession(log);
        session->SetUrl(liveUrl(port, k.channel));
        session->Start();
        EXPECT_TRUE(waitFor([&] { return session->Stats().framesDecoded >= 10; })) << k.channel;
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
    dvr::DvrServer dvr(o);
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    auto log = std::make_shared<CodingLog>();
    auto session = realSession(log);
    session->SetUrl(liveUrl(port, 1));
    session->Start();
    ASSERT_TRUE(waitFor([&] { return session->Stats().restartsFired >= 3; }));
    const LiveSessionStats stats = session->Stats();
    EXPECT_TRUE(waitFor([&] { return dvr.stats().liveRequests >= 4; }));
    session->Stop();
    EXPECT_GE(stats.bytesQueued, 3u * 20000u - 3u * 1024u);
    // Every response passed the check, so the count never reached the limit.
    EXPECT_LE(stats.failureCount, 2);
    EXPECT_GT(stats.framesDecoded, 0u);
}

TEST(LiveEndToEnd, HtmlErrorPageOnTheFirstConnectionIsDroppedAndTheNextDecodes) {
    dvr::DvrOptions o = pacedOptions();
    o.faults.htmlErrorConnections = 1;
    dvr::DvrServer dvr(o);
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    auto log = std::make_shared<CodingLog>();
    auto session = realSession(log);
    session->SetUrl(liveUrl(port, 1));
    session->Start();
    ASSERT_TRUE(waitFor([&] { return session->Stats().bytesQueued >= 20000; }));
    EXPECT_TRUE(waitFor([&] { return session->Stats().framesDecoded >= 5; }));
    const LiveSessionStats stats = session->Stats();
    session->Stop();
    EXPECT_EQ(dvr.stats().liveRequests, 2);
    EXPECT_EQ(stats.restartsFired, 1u);
    EXPECT_TRUE(stats.hadValidStream);
}

TEST(LiveEndToEnd, RightCredentialsStreamAndWrongOnesFailAfterTheRetries) {
    for (dvr::AuthMode mode : {dvr::AuthMode::Basic, dvr::AuthMode::Digest}) {
        dvr::DvrOptions o = pacedOptions();
        o.auth = mode;
        o.user = "admin";
        o.password = "1234";
        dvr::DvrServer dvr(o);
        const std::uint16_t port = dvr.start();
        ASSERT_NE(port, 0) << dvr.lastError();

        auto log = std::make_shared<CodingLog>();
        auto good = realSession(log);
        good->SetUrl(liveUrl(port, 1));
        good->SetUserName("admin");
        good->SetPassword("1234");
        good->Start();
        EXPECT_TRUE(waitFor([&] { return good->Stats().bytesQueued >= 10000; })) << int(mode);
        EXPECT_TRUE(waitFor([&] { return good->Stats().framesDecoded >= 3; }));
        good->Stop();

        LiveSessionTimings slow = shortTimings();
        slow.randomDelayUnitMs = 10000;  // no reconnect while we look
        auto bad = realSession(log, slow);
        bad->SetUrl(liveUrl(port, 1));
        bad->SetUserName("admin");
        bad->SetPassword("wrong");
        const int failuresBefore = dvr.stats().authFailures;
        bad->Start();
        ASSERT_TRUE(waitFor([&] { return bad->Stats().restartsScheduled >= 1; })) << int(mode);
        const int failures = dvr.stats().authFailures - failuresBefore;
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
    dvr::DvrServer dvr(o);
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    LiveSessionTimings slow = shortTimings();
    slow.randomDelayUnitMs = 10000;
    auto log = std::make_shared<CodingLog>();
    auto session = realSession(log, slow);
    session->SetUrl(liveUrl(port, 1));
    session->SetUserName("admin");
    session->SetPassword("wrong");
    session->Start();
    ASSERT_TRUE(waitFor([&] { return session->Stats().restartsScheduled >= 1; }));
    session->Stop();
    EXPECT_EQ(dvr.stats().authFailures, 4);
}

TEST(LiveEndToEnd, UnknownContentTypeEndsTheStream) {
    dvr::DvrOptions o = pacedOptions();
    o.faults.contentType = "video/x-unknown";
    dvr::DvrServer dvr(o);
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    auto log = std::make_shared<CodingLog>();
    auto session = realSession(log);
    session->SetUrl(liveUrl(port, 1));
    session->Start();
    ASSERT_TRUE(waitFor([&] {
        const LiveSessionStats s = session->Stats();
        return s.failureCount > kMaxLiveFailures && !s.restartPending;
    }));
    session->Stop();
    EXPECT_EQ(session->Stats().bytesQueued, 0u);
    EXPECT_EQ(dvr.stats().liveRequests, kMaxLiveFailures + 1);
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
        dvr::DvrServer dvr(o);
        const std::uint16_t port = dvr.start();
        ASSERT_NE(port, 0) << dvr.lastError();
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
                body = body.substr(0, 30000) + "\xF6\x7F\xFF\x7F\xF9\x00\xDD\x00\x00\x00\x00\x00\xC5\x00" +
                       noise + body.substr(30000);
            }
            body.append((1024 - body.size() % 1024) % 1024, '\0');
            testing::LoopbackHttpServer server([&](int, const testing::HttpRequestSeen&, testing::HttpConnection& c) {
                c.sendHead(200, "OK", std::string("Content-Type: ") + types[kind] + "\r\n");
                c.send(body);
                while (c.idle(50)) {
                }
            });
            auto log = std::make_shared<CodingLog>();
            auto session = realSession(log);
            session->SetUrl(server.url("/pushall.htm;0?scrw=1024"));
            session->Start();
            EXPECT_TRUE(waitFor([&] { return session->Stats().bytesQueued >= body.size(); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const LiveSessionStats stats = session->Stats();
            session->Stop();
            EXPECT_GT(stats.framesDecoded, 0u) << kind << "/" << variant;
        }
    }
}

// The command-line client against the emulator program.
std::string runCommand(const std::string& command, int* status) {
    std::string output;
    std::FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
    const int rc = ::pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

TEST(LiveCommand, WatchesAChannelSavesASnapshotAndARecordThatDecodeReadsBack) {
    dvr::DvrServer dvr(pacedOptions());
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    const std::string bin = VISTREL_BIN_DIR;
    const std::string dir = ::testing::TempDir();
    const std::string bmp = dir + "/live_snapshot.bmp";
    const std::string rec = dir + "/live_record.bin";
    std::remove(bmp.c_str());
    int status = -1;
    const std::string out = runCommand(bin + "/vistrel-cli live --host 127.0.0.1 --port " + std::to_string(port) +
                                           " --channel 2 --seconds 3 --snapshot " + bmp + " --record " + rec,
                                       &status);
    std::ifstream recorded(rec, std::ios::binary | std::ios::ate);
    ASSERT_TRUE(recorded.good());
    EXPECT_GT(static_cast<long>(recorded.tellg()), 10000L);
    EXPECT_EQ(status, 0) << out;
    unsigned long long frames = 0, bytes = 0;
    int w = 0, h = 0;
    unsigned reconnects = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "frames %llu, size %dx%d, reconnects %u, bytes %llu", &frames, &w, &h,
                          &reconnects, &bytes), 5) << out;
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

    const std::string decoded = runCommand(bin + "/vistrel-cli decode " + rec + " --framed --codec h263", &status);
    EXPECT_EQ(status, 0) << decoded;
    EXPECT_NE(decoded.find("decoded "), std::string::npos) << decoded;
    std::remove(bmp.c_str());
    std::remove(rec.c_str());
}

TEST(LiveCommand, BadArgumentsAndUnreachableHostsAreReported) {
    const std::string bin = VISTREL_BIN_DIR;
    int status = -1;
    runCommand(bin + "/vistrel-cli live --port 80", &status);
    EXPECT_EQ(status, 2);
    runCommand(bin + "/vistrel-cli live --host h --port 70000", &status);
    EXPECT_EQ(status, 2);
    runCommand(bin + "/vistrel-cli live --host h --channel 17", &status);
    EXPECT_EQ(status, 2);
    runCommand(bin + "/vistrel-cli ptz --host h --channel 1 --command sideways", &status);
    EXPECT_EQ(status, 2);
    runCommand(bin + "/vistrel-cli ptz --host 127.0.0.1 --port 1 --channel 1 --command up", &status);
    EXPECT_EQ(status, 1);
}

TEST(PtzCommand, SendsTheCameraCommandForTheChannelAsShown) {
    dvr::DvrServer dvr(pacedOptions());
    const std::uint16_t port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    const std::string bin = VISTREL_BIN_DIR;
    int status = -1;
    const std::string out = runCommand(bin + "/vistrel-cli ptz --host 127.0.0.1 --port " + std::to_string(port) +
                                           " --channel 16 --command zoomin --speed fast", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(dvr.stats().cameraRequests, 1);
    EXPECT_EQ(dvr.camera(15).commands, 1);
    EXPECT_GT(dvr.camera(15).zoomPercent, 100);
}

}  // namespace
}  // namespace vistrel::live
