// Each injected fault, seen from a client.

#include <gtest/gtest.h>

#include <chrono>

#include "TestClient.h"
#include "tests/support/dvr/RunningDvr.h"
#include "tools/dvr/DvrServer.h"
#include "tools/dvr/PlaybackRange.h"
#include "tools/dvr/RecordWriter.h"

using namespace vistrel::dvr;

namespace {

DvrOptions fastOptions() {
    DvrOptions o = emutest::fastOptions();
    // MPEG-4 channels only: the faults do not depend on the coding and these need no encoding.
    for (auto& c : o.channels) c = ChannelCoding::Mpeg4;
    o.channels[15] = ChannelCoding::Mpeg4Audio;
    return o;
}

const std::string kPlayback = [] {
    char buffer[256];
    std::snprintf(
        buffer, sizeof buffer, "/dvr_playback.htm?func=read&video_source=FFFF&startH=%x&startL=%x&endH=%x&endL=%x",
        packDateWord(2009, 2, 24), packTimeWord(13, 0, 0), packDateWord(2009, 2, 24), packTimeWord(13, 59, 59));
    return std::string(buffer);
}();

using Running = vistrel::testsupport::RunningDvr;

}  // namespace

TEST(Faults, CloseAfterBytes) {
    DvrOptions o = fastOptions();
    o.faults.closeAfterBytes = 5000;
    Running dvr(o);
    ASSERT_NE(dvr.port(), 0);
    for (const char* target : {"/pushall.htm;9", kPlayback.c_str()}) {
        const auto r = emutest::rawGet(dvr.port(), target, 1 << 30, 10000);
        EXPECT_EQ(r.status, 200);
        EXPECT_TRUE(r.closedByServer);
        EXPECT_EQ(r.body.size(), 5000u) << target;
    }
}

TEST(Faults, StallKeepsTheConnectionSilent) {
    DvrOptions o = fastOptions();
    o.faults.stallAfterBytes = 0;
    {
        Running dvr(o);
        const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 1, 400);
        EXPECT_TRUE(r.connected);
        EXPECT_FALSE(r.closedByServer);
        EXPECT_TRUE(r.head.empty());
        EXPECT_EQ(dvr->stats().connections, 1);
    }
    o.faults.stallAfterBytes = 3000;
    Running dvr(o);
    const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 1 << 30, 600);
    EXPECT_EQ(r.status, 200);
    EXPECT_FALSE(r.closedByServer);
    EXPECT_EQ(r.body.size(), 3000u);
}

TEST(Faults, JunkBetweenFramesIsPrintableAndFramesSurvive) {
    DvrOptions o = fastOptions();
    o.faults.junkBytes = 37;
    Running dvr(o);
    const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 200000, 10000);
    std::size_t junk = 0;
    const auto frames = emutest::findMpeg4Frames(r.body, nullptr, &junk);
    ASSERT_GE(frames.size(), 10u);
    // 37 bytes after every frame (the body may end inside the next frame after its junk);
    // information blocks are not junk.
    EXPECT_GE(junk, 37u * (frames.size() - 1));
    EXPECT_LE(junk, 37u * frames.size() + 18);
    for (std::size_t i = 0; i + 1 < frames.size(); ++i)
        for (std::size_t k = frames[i].offset + frames[i].length; k < frames[i].offset + frames[i].length + 37;
             ++k) {
            ASSERT_GE(r.body[k], 0x21);
            ASSERT_LE(r.body[k], 0x7E);
        }
}

TEST(Faults, HtmlErrorPageOnTheFirstConnections) {
    DvrOptions o = fastOptions();
    o.faults.htmlErrorConnections = 2;
    Running dvr(o);
    for (int i = 0; i < 3; ++i) {
        const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 100000, 10000);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "video/x-qdaxwmkvr4");
        const std::string first(r.body.begin(),
                                r.body.begin() + std::ptrdiff_t(std::min<std::size_t>(1024, r.body.size())));
        if (i < 2) {
            EXPECT_NE(first.find("Content-Type: text/html"), std::string::npos);
            EXPECT_TRUE(r.closedByServer);
        } else {
            EXPECT_EQ(first.find("text/html"), std::string::npos);
            EXPECT_FALSE(emutest::findMpeg4Frames(r.body).empty());
        }
    }
}

TEST(Faults, WrongContentType) {
    DvrOptions o = fastOptions();
    o.faults.contentType = "video/x-qdaxwmjpeg";
    Running dvr(o);
    const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 1000, 10000);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.contentType, "video/x-qdaxwmjpeg");
}

TEST(Faults, CorruptedRecordHeadersAmongGoodOnes) {
    const auto clean = [] {
        Running dvr(fastOptions());
        return emutest::scanRecords(emutest::rawGet(dvr.port(), kPlayback, 1 << 30, 30000).body);
    }();
    DvrOptions o = fastOptions();
    o.faults.corruptRecordEvery = 5;
    Running dvr(o);
    const auto r = emutest::rawGet(dvr.port(), kPlayback, 1 << 30, 30000);
    const auto scan = emutest::scanRecords(r.body);
    const int good = int(clean.good.size());
    ASSERT_GT(good, 20);
    // Every good record still arrives, and each fifth one was preceded by a damaged copy.
    EXPECT_EQ(scan.good.size(), clean.good.size());
    EXPECT_EQ(scan.badCrc + scan.badVersion, good / 5);
    EXPECT_GE(scan.badCrc, 1);
    EXPECT_GE(scan.badVersion, 1);
    EXPECT_TRUE(scan.good.back().flags & kFlagEndRecord);
}

TEST(Faults, TruncationInTheMiddleOfARecord) {
    DvrOptions o = fastOptions();
    o.faults.truncateAfterRecords = 7;
    Running dvr(o);
    const auto r = emutest::rawGet(dvr.port(), kPlayback, 1 << 30, 30000);
    EXPECT_TRUE(r.closedByServer);
    const auto scan = emutest::scanRecords(r.body);
    EXPECT_EQ(scan.good.size(), 7u);
    EXPECT_TRUE(scan.truncated);
}

TEST(Faults, AuthenticationFailureStatuses) {
    for (int status : {401, 404, 407}) {
        DvrOptions o = fastOptions();
        o.auth = AuthMode::Basic;
        o.user = "admin";
        o.password = "secret";
        o.authFailureStatus = status;
        Running dvr(o);
        const auto r = emutest::rawGet(dvr.port(), "/pushall.htm;9", 100, 5000);
        EXPECT_EQ(r.status, status);
        if (status == 401) {
            EXPECT_NE(r.head.find("WWW-Authenticate: Basic realm=\"DVR\""), std::string::npos);
        }
        if (status == 407) {
            EXPECT_NE(r.head.find("Proxy-Authenticate: Basic"), std::string::npos);
        }
        EXPECT_EQ(dvr->stats().authFailures, 1);
        EXPECT_EQ(dvr->stats().liveRequests, 0);
    }
}
