// The emulator's pages over loopback, read by the tests' own clients.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include "TestClient.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tools/dvr/CameraState.h"
#include "tools/dvr/DvrServer.h"
#include "tools/dvr/PlaybackRange.h"
#include "tools/dvr/RecordWriter.h"

#include "video/h263/H263Decoder.h"

using namespace vistrel::dvr;

namespace {

using emutest::fastOptions;

std::string playbackTarget(int hour, int minute, int second) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "/dvr_playback.htm?func=read&video_source=FFFF&startH=%x&startL=%x&endH=%x&endL=%x",
                  packDateWord(2009, 2, 24), packTimeWord(hour, minute, second), packDateWord(2009, 2, 24),
                  packTimeWord(hour, 59, 59));
    return buffer;
}

}  // namespace

TEST(Server, StartsOnAFreeLoopbackPortAndStops) {
    DvrServer a(fastOptions()), b(fastOptions());
    const auto pa = a.start(), pb = b.start();
    ASSERT_NE(pa, 0) << a.lastError();
    ASSERT_NE(pb, 0) << b.lastError();
    EXPECT_NE(pa, pb);
    EXPECT_EQ(a.baseUrl(), "http://127.0.0.1:" + std::to_string(pa));
    a.stop();
    a.stop();
    EXPECT_FALSE(emutest::rawGet(pa, "/pushall.htm;0?scrw=1024", 1, 500).connected);

    DvrOptions bad = fastOptions();
    bad.bindAddress = "not-an-address";
    DvrServer c(bad);
    EXPECT_EQ(c.start(), 0);
    EXPECT_FALSE(c.lastError().empty());
}

TEST(Server, LiveH263FramesDecode) {
    DvrServer dvr(fastOptions());
    const auto port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    const auto r = emutest::rawGet(port, "/pushall.htm;2?scrw=1024", 15000, 20000);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.contentType, "video/x-qdaxwmh263");
    std::size_t junk = 0;
    const auto frames = emutest::findH263Frames(r.body, &junk);
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(junk, 0u);
    auto decoder = vistrel::h263::H263Decoder::Create();
    ASSERT_TRUE(decoder);
    // Frame by frame, as a client cuts them; the header words of the first frames (a clock that
    // starts at 0) hold zero bytes.
    for (const auto& f : frames) decoder->Feed(r.body.data() + f.offset, f.length, -1);
    EXPECT_EQ(decoder->picturesDecoded(), frames.size());
    int w = 0, h = 0;
    decoder->GetPictureSize(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
}

TEST(Server, LiveH263AtAnotherPrivateSize) {
    DvrOptions o = fastOptions();
    o.h263Width = 640;
    o.h263Height = 240;
    DvrServer dvr(o);
    const auto port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    const auto r = emutest::rawGet(port, "/pushall.htm;0?scrw=1024", 30000, 20000);
    const auto frames = emutest::findH263Frames(r.body);
    ASSERT_GE(frames.size(), 2u);
    auto decoder = vistrel::h263::H263Decoder::Create();
    ASSERT_TRUE(decoder);
    for (const auto& f : frames) decoder->Feed(r.body.data() + f.offset, f.length, -1);
    EXPECT_EQ(decoder->picturesDecoded(), frames.size());
    int w = 0, h = 0;
    decoder->GetPictureSize(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 240);
}

TEST(Server, LiveMpeg4FramesCarryHeadersHintsAndInformationBlocks) {
    DvrServer dvr(fastOptions());
    const auto port = dvr.start();
    ASSERT_NE(port, 0) << dvr.lastError();
    const auto r = emutest::rawGet(port, "/pushall.htm;9?scrw=1024", 400000, 20000);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.contentType, "video/x-qdaxwmkvr4");
    int info = 0;
    std::size_t junk = 0;
    const auto frames = emutest::findMpeg4Frames(r.body, &info, &junk);
    ASSERT_GE(frames.size(), 50u);
    EXPECT_EQ(junk, 0u);
    EXPECT_GE(info, 1);
    for (const auto& f : frames) {
        EXPECT_EQ(f.sizeHint, 2);  // 320 wide
        EXPECT_EQ(r.body[f.payloadOffset], 0);
        EXPECT_EQ(r.body[f.payloadOffset + 1], 0);
        EXPECT_EQ(r.body[f.payloadOffset + 2], 1);
    }
    // The first frame starts where a decoder can: with the sequence headers and an intra plane.
    EXPECT_EQ(r.body[frames[0].payloadOffset + 3], 0xB0);
}

TEST(Server, LiveMpeg4WithoutLayerHeaders) {
    DvrOptions o = fastOptions();
    o.mpeg4VopOnly = true;
    DvrServer dvr(o);
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    const auto r = emutest::rawGet(port, "/pushall.htm;8?scrw=1024", 100000, 20000);
    const auto frames = emutest::findMpeg4Frames(r.body);
    ASSERT_GE(frames.size(), 10u);
    for (const auto& f : frames) ASSERT_EQ(r.body[f.payloadOffset + 3], 0xB6);
}

TEST(Server, LiveChannelCodingsAndBadChannels) {
    DvrServer dvr(fastOptions());
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    std::set<std::string> types;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const auto r = emutest::rawGet(port, "/pushall.htm;" + std::to_string(channel) + "?scrw=1024", 100, 10000);
        EXPECT_EQ(r.status, 200) << channel;
        EXPECT_EQ(r.contentType, DvrServer::contentTypeFor(dvr.options().channels[std::size_t(channel)]));
        types.insert(r.contentType);
    }
    EXPECT_EQ(types.size(), 2u);
    EXPECT_EQ(emutest::rawGet(port, "/pushall.htm;16?scrw=1024", 100, 5000).status, 404);
    EXPECT_EQ(emutest::rawGet(port, "/pushall.htm;x", 100, 5000).status, 404);
    EXPECT_EQ(emutest::rawGet(port, "/index.html", 100, 5000).status, 404);
}

TEST(Server, LivePacingFollowsTheInjectedInterval) {
    DvrOptions o = fastOptions();
    o.frameIntervalMs = 100;
    DvrServer dvr(o);
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    const auto r = emutest::rawGet(port, "/pushall.htm;9?scrw=1024", 1 << 30, 1000);
    const auto frames = emutest::findMpeg4Frames(r.body);
    // About ten frames in a second; generous bounds for a loaded machine.
    EXPECT_GE(frames.size(), 3u);
    EXPECT_LE(frames.size(), 13u);
}

TEST(Server, CameraCommandsMoveTheVirtualCameraAndAreLogged) {
    DvrOptions o = fastOptions();
    o.logFile = testing::TempDir() + "emu_camera_log.jsonl";
    std::remove(o.logFile.c_str());
    DvrServer dvr(o);
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    auto command = [&](int channel, const std::string& name, int speed) {
        return emutest::rawGet(port,
                               "/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=" + std::to_string(channel) +
                                   "&zzw=417&Speed=" + std::to_string(speed) + "&camctrl_" + name + "=" + name,
                               1000, 5000);
    };
    EXPECT_EQ(command(3, "right", 2).status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(command(3, "stoppt", 2).status, 200);
    const CameraPosition stopped = dvr.camera(2);
    EXPECT_GT(stopped.panX, 0);
    EXPECT_EQ(stopped.tiltY, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(dvr.camera(2).panX, stopped.panX);
    EXPECT_EQ(command(3, "zoomin", 1).status, 200);
    EXPECT_EQ(command(3, "focusnear", -1).status, 200);
    EXPECT_EQ(dvr.camera(2).zoomPercent, 100 + kZoomStepPercent);
    EXPECT_EQ(dvr.camera(2).focus, -1);
    EXPECT_EQ(dvr.camera(2).commands, 4);
    EXPECT_EQ(dvr.camera(0).commands, 0);
    EXPECT_EQ(command(16, "up", 0).status, 200);
    EXPECT_EQ(command(17, "up", 0).status, 400);
    EXPECT_EQ(command(0, "up", 0).status, 400);
    EXPECT_EQ(command(3, "spin", 0).status, 400);
    EXPECT_EQ(dvr.stats().cameraRequests, 5);
    dvr.stop();

    const std::string log = vistrel::testsupport::ReadText(o.logFile);
    std::size_t lines = 0;
    for (char c : log) lines += c == '\n';
    EXPECT_EQ(lines, 8u);
    EXPECT_NE(log.find("\"command\":\"right\",\"speed\":2"), std::string::npos);
    EXPECT_NE(log.find("\"zzw\":\"417\""), std::string::npos);
    EXPECT_EQ(log.front(), '{');
}

TEST(Server, PlaybackAnswersRecordsOfAllChannelsThenAnEndRecord) {
    DvrServer dvr(fastOptions());
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    const auto r = emutest::rawGet(port, playbackTarget(13, 0, 0), 1 << 30, 60000);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.closedByServer);
    const auto scan = emutest::scanRecords(r.body);
    EXPECT_EQ(scan.badCrc, 0);
    EXPECT_FALSE(scan.truncated);
    ASSERT_GT(scan.good.size(), 16u);
    std::set<int> channels;
    for (const auto& rec : scan.good) channels.insert(rec.channel);
    EXPECT_EQ(channels.size(), 16u);
    EXPECT_TRUE(scan.good.back().flags & kFlagEndRecord);

    // Nothing is recorded at half past: the end record comes at once.
    const auto empty = emutest::rawGet(port, playbackTarget(13, 30, 0), 1 << 30, 10000);
    EXPECT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.closedByServer);
    const auto emptyScan = emutest::scanRecords(empty.body);
    ASSERT_EQ(emptyScan.good.size(), 1u);
    EXPECT_TRUE(emptyScan.good[0].flags & kFlagEndRecord);

    EXPECT_EQ(
        emutest::rawGet(port, "/dvr_playback.htm?func=read&startH=0&startL=0&endH=0&endL=0", 100, 5000).status,
        400);
    EXPECT_EQ(dvr.stats().playbackRequests, 2);
}

TEST(Server, BadRequestsAreAnsweredAndTheServerGoesOn) {
    DvrServer dvr(fastOptions());
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    EXPECT_EQ(emutest::rawExchange(port, "GARBAGE\r\n\r\n", 3000).substr(0, 12), "HTTP/1.0 400");
    EXPECT_EQ(emutest::rawExchange(port, "POST /cam_ctrl.htm HTTP/1.0\r\n\r\n", 3000).substr(0, 12),
              "HTTP/1.0 405");
    EXPECT_EQ(emutest::rawExchange(port, "GET /x HTTP/1.0\r\n" + std::string(9000, 'a') + "\r\n\r\n", 3000)
                  .substr(0, 12),
              "HTTP/1.0 431");
    // A client that connects and goes away without a request.
    EXPECT_EQ(emutest::rawExchange(port, "GET /pushall.htm;0", 200), "");
    EXPECT_EQ(emutest::rawGet(port, "/cam_ctrl.htm?Video_Source=1&camctrl_up=up", 100, 5000).status, 200);
}

TEST(Server, BoundsConcurrentConnectionsAndStopsWhileStreaming) {
    DvrOptions o = fastOptions();
    o.maxConnections = 2;
    o.frameIntervalMs = 20;
    auto dvr = std::make_unique<DvrServer>(o);
    const auto port = dvr->start();
    ASSERT_NE(port, 0);
    std::vector<std::thread> viewers;
    std::vector<emutest::RawResponse> results(2);
    for (int i = 0; i < 2; ++i)
        viewers.emplace_back(
            [&, i] { results[std::size_t(i)] = emutest::rawGet(port, "/pushall.htm;9", 1 << 30, 20000); });
    for (int wait = 0; wait < 500 && dvr->stats().liveRequests < 2; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Let both answers get past their headers before the server goes down.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(emutest::rawGet(port, "/pushall.htm;9", 100, 5000).status, 503);
    EXPECT_EQ(dvr->stats().refused, 1);
    const auto before = std::chrono::steady_clock::now();
    dvr->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    for (auto& t : viewers) t.join();
    for (const auto& r : results) {
        EXPECT_EQ(r.status, 200);
        EXPECT_TRUE(r.closedByServer);
    }
}

namespace {

// Frames ffmpeg decodes from an elementary stream file.
int ffmpegFrameCount(const std::string& path) {
    const auto run = vistrel::testsupport::RunCapture("ffmpeg -v error -f m4v -i '" + path + "' -f framecrc -",
                                                      vistrel::testsupport::Stderr::Discard);
    int frames = 0;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) frames += !line.empty() && line[0] != '#' ? 1 : 0;
    return frames;
}

}  // namespace

// What the MPEG-4 channels send, stripped of the DVR framing, is a stream ffmpeg decodes frame for
// frame: live frames, and the frames inside type-13 records.
TEST(Server, Mpeg4LiveAndRecordedFramesDecodeWithFfmpeg) {
    DvrOptions o = fastOptions();
    for (auto& c : o.channels) c = ChannelCoding::Mpeg4;
    DvrServer dvr(o);
    const auto port = dvr.start();
    ASSERT_NE(port, 0);
    const auto live = emutest::rawGet(port, "/pushall.htm;10?scrw=1024", 300000, 20000);
    const auto frames = emutest::findMpeg4Frames(live.body);
    ASSERT_GE(frames.size(), 20u);
    std::vector<std::uint8_t> stream;
    for (const auto& f : frames)
        stream.insert(stream.end(), live.body.begin() + std::ptrdiff_t(f.payloadOffset),
                      live.body.begin() + std::ptrdiff_t(f.offset + f.length));
    const std::string livePath = testing::TempDir() + "emu_live.m4v";
    ASSERT_TRUE(vistrel::testsupport::WriteFile(livePath, stream));
    EXPECT_EQ(ffmpegFrameCount(livePath), int(frames.size()));

    const auto playback = emutest::rawGet(port, playbackTarget(13, 0, 0), 1 << 30, 30000);
    stream.clear();
    int records = 0;
    for (const auto& r : emutest::scanRecords(playback.body).good) {
        if (r.channel != 10 || r.type != kTypeMpeg4) continue;
        ASSERT_GT(r.payload.size(), 4u);
        stream.insert(stream.end(), r.payload.begin() + 4, r.payload.end());
        ++records;
    }
    ASSERT_EQ(records, 5);
    const std::string recordedPath = testing::TempDir() + "emu_recorded.m4v";
    ASSERT_TRUE(vistrel::testsupport::WriteFile(recordedPath, stream));
    EXPECT_EQ(ffmpegFrameCount(recordedPath), records);
}
