// The packed playback range and the request URL.

#include <gtest/gtest.h>

#include "stream/playback/PlaybackSpeed.h"
#include "stream/playback/PlaybackUrl.h"

using namespace vistrel::playback;

TEST(PlaybackUrl, PacksDateAndTimeAsTheDvrReadsThem) {
    const PlaybackRange r = PackPlaybackRange(2009, 2, 24, 13, 5, 7);
    EXPECT_EQ(r.startH, 0x180207d9u);
    EXPECT_EQ(r.startL, 0x7050d00u);
    EXPECT_EQ(r.endH, 0x180207d9u);
    EXPECT_EQ(r.endL, 0x3b3b0d00u);
    EXPECT_EQ(BuildPlaybackUrl("dvr.example", "8080", r),
              "http://dvr.example:8080/dvr_playback.htm?func=read&video_source=FFFF"
              "&startH=180207d9&startL=7050d00&endH=180207d9&endL=3b3b0d00");
    // Midnight: the low word has no leading zeros to print.
    EXPECT_EQ(PackPlaybackRange(2009, 2, 24, 0, 0, 0).startL, 0u);
    EXPECT_EQ(PackPlaybackRange(2009, 2, 24, 13, 59, 59).startL, PackPlaybackRange(2009, 2, 24, 13, 0, 0).endL);
}

TEST(PlaybackSpeed, TextsMapToCodesAndBack) {
    for (const char* text : {"Full", "1X", "2X", "4X", "(1/2)X", "(1/4)X", "(1/8)X"}) {
        int code = 99;
        ASSERT_TRUE(SpeedCodeFromText(text, code)) << text;
        EXPECT_STREQ(SpeedText(code), text);
    }
    int code = 5;
    EXPECT_FALSE(SpeedCodeFromText("3X", code));
    EXPECT_FALSE(SpeedCodeFromText("", code));
    EXPECT_EQ(code, 5);
}
