// The health and statistics texts as functions of a session snapshot and the time: every state,
// the countdown's rounding, the picture age limit and the tick counter's wrap.

#include <gtest/gtest.h>

#include "app/views/StatsText.h"
#include "app/views/StreamHealth.h"

using namespace vistrel;
using namespace vistrel::app;

namespace {
HealthSnapshot started() {
    HealthSnapshot s;
    s.started = true;
    return s;
}
}  // namespace

TEST(ViewsHealth, StatesFollowTheSession) {
    EXPECT_TRUE(DescribeHealth(HealthSnapshot{}, 1000).healthy());

    HealthSnapshot s = started();
    HealthReport r = DescribeHealth(s, 1000);
    EXPECT_EQ(r.state, HealthState::Connecting);
    EXPECT_EQ(r.stateText, "connecting");
    EXPECT_FALSE(r.offerReconnect);

    // A coding that is received and dropped never brings a picture.
    s.codingNotDecoded = true;
    EXPECT_EQ(DescribeHealth(s, 1000).stateText, "coding not decoded");
    s.codingNotDecoded = false;

    s.framesSinceStart = 1;
    s.hasPicture = true;
    s.lastPictureTick = 1000;
    EXPECT_TRUE(DescribeHealth(s, 1500).healthy());

    s.gaveUp = true;
    r = DescribeHealth(s, 1500);
    EXPECT_EQ(r.stateText, "stream lost");
    EXPECT_TRUE(r.offerReconnect);

    // A pending restart wins over a stale give-up flag: something is still coming.
    s.restartPending = true;
    s.restartDueTick = 4000;
    s.attempt = 2;
    r = DescribeHealth(s, 1500);
    EXPECT_EQ(r.state, HealthState::Reconnecting);
    EXPECT_FALSE(r.offerReconnect);
}

TEST(ViewsHealth, CountdownRoundsUpAndNeverGoesNegative) {
    HealthSnapshot s = started();
    s.restartPending = true;
    s.attempt = 3;
    s.restartDueTick = 10000;
    EXPECT_EQ(DescribeHealth(s, 5000).stateText, "reconnecting in 5 s (attempt 3 of 5)");
    EXPECT_EQ(DescribeHealth(s, 7500).stateText, "reconnecting in 3 s (attempt 3 of 5)");
    EXPECT_EQ(DescribeHealth(s, 9999).stateText, "reconnecting in 1 s (attempt 3 of 5)");
    EXPECT_EQ(DescribeHealth(s, 10000).stateText, "reconnecting in 0 s (attempt 3 of 5)");
    EXPECT_EQ(DescribeHealth(s, 12000).stateText, "reconnecting in 0 s (attempt 3 of 5)");
    // Attempt numbers outside 1..5 (a restart from a log-in page) are held to the range.
    s.attempt = 0;
    EXPECT_EQ(DescribeHealth(s, 9000).stateText, "reconnecting in 1 s (attempt 1 of 5)");
    // Across the tick counter's wrap.
    s.attempt = 1;
    s.restartDueTick = 1500;
    EXPECT_EQ(DescribeHealth(s, 0xFFFFFFFFu - 499).stateText, "reconnecting in 2 s (attempt 1 of 5)");
}

TEST(ViewsHealth, PictureAgeShowsOnlyPastTheLimit) {
    HealthSnapshot s = started();
    s.framesSinceStart = 50;
    s.hasPicture = true;
    s.lastPictureTick = 100000;
    EXPECT_EQ(DescribeHealth(s, 102000).pictureAge, "");
    EXPECT_EQ(DescribeHealth(s, 102001).pictureAge, "picture 2 s old");
    EXPECT_EQ(DescribeHealth(s, 107400).pictureAge, "picture 7 s old");
    // The age is shown beside a reconnect countdown too: the old picture is still on screen.
    s.restartPending = true;
    s.restartDueTick = 109000;
    const HealthReport r = DescribeHealth(s, 107400);
    EXPECT_FALSE(r.stateText.empty());
    EXPECT_EQ(r.pictureAge, "picture 7 s old");
    // No picture yet: no age, however long ago tick 0 was.
    s.hasPicture = false;
    s.lastPictureTick = 0;
    EXPECT_EQ(DescribeHealth(s, 900000).pictureAge, "");
    // A picture stamped just before the wrap.
    s.hasPicture = true;
    s.lastPictureTick = 0xFFFFFFFFu - 999;
    EXPECT_EQ(DescribeHealth(s, 3000).pictureAge, "picture 4 s old");
    // A stamp a moment after the reading (the consumer raced the clock read) is no age at all.
    s.lastPictureTick = 5010;
    EXPECT_EQ(DescribeHealth(s, 5000).pictureAge, "");
}

TEST(ViewsStats, RatesComeFromTwoReadingsAndRestartsShowNoRate) {
    live::LiveSessionStats a;
    a.framesDecoded = 100;
    a.bytesQueued = 50000;
    live::LiveSessionStats b = a;
    b.framesDecoded = 130;
    b.bytesQueued = 50000 + 125000;  // 1 Mbit over 2 s
    b.coding = live::StreamCoding::H263;
    b.pictureWidth = 320;
    b.pictureHeight = 240;
    b.framesDamaged = 4;
    b.restartsFired = 2;
    const std::vector<std::string> lines = StatsLines(a, b, 2000);
    const std::vector<std::string> want = {"coding H.263", "picture 320x240", "15.0 fps",
                                           "500 kbit/s",   "damaged 4",       "reconnects 2"};
    EXPECT_EQ(lines, want);
    // A newer session's counters start again from zero: no negative or huge rate.
    EXPECT_EQ(StatsLines(b, a, 1000)[2], "- fps");
    EXPECT_EQ(StatsLines(a, b, 0)[3], "- kbit/s");
    EXPECT_EQ(StatsLines(a, live::LiveSessionStats{}, 1000)[1], "picture -");
}
