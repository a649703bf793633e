// Speed list items, the running time text and the status icons of player reports.

#include <gtest/gtest.h>

#include <climits>

#include "app/playback/PlaybackTexts.h"
#include "stream/playback/PlaybackSpeed.h"

using namespace vistrel::app;

TEST(PlaybackTexts, SpeedListItemsGiveThePlayerTheCodeOfTheirText) {
    // The list's items, in the order the window fills it.
    const char* items[] = {"Full", "1X", "2X", "4X", "(1/2)X", "(1/4)X", "(1/8)X"};
    for (int i = 0; i < 7; ++i) {
        int code = 99;
        ASSERT_TRUE(vistrel::playback::SpeedCodeFromText(items[i], code));
        EXPECT_EQ(PlaybackSpeedCode(i), code) << items[i];
    }
    EXPECT_EQ(PlaybackSpeedCode(-1), vistrel::playback::kSpeed1X);  // nothing selected
    EXPECT_EQ(PlaybackSpeedCode(7), vistrel::playback::kSpeed1X);
    EXPECT_EQ(PlaybackSpeedCode(INT_MIN), vistrel::playback::kSpeed1X);
}

TEST(PlaybackTexts, TimeCountsFromTheStartOfTheChosenHour) {
    EXPECT_EQ(PlaybackTimeText(13, 0), "13:00:00");
    EXPECT_EQ(PlaybackTimeText(13, 59'999), "13:00:59");
    EXPECT_EQ(PlaybackTimeText(13, 60'000), "13:01:00");
    EXPECT_EQ(PlaybackTimeText(13, 3'599'999), "13:59:59");
    EXPECT_EQ(PlaybackTimeText(-1, 1'000), "-1:00:01");  // a time edit that could not be read
    // Positions past the hour and out-of-range values are cut, never longer than the label's text.
    EXPECT_EQ(PlaybackTimeText(13, INT_MAX), "13:35791");
    EXPECT_EQ(PlaybackTimeText(INT_MIN, INT_MIN).size(), 8u);
}

TEST(PlaybackTexts, ReportsThatChangeTheStatusIcon) {
    using namespace vistrel::playback;
    EXPECT_EQ(StatusIconForReport(kProgressStreamEnd), kStatusStopped);
    EXPECT_EQ(StatusIconForReport(kProgressPlayEnd), kStatusPaused);
    EXPECT_EQ(StatusIconForReport(kProgressFirstData), kStatusWaiting);
    for (int kind : {kProgressPosition, kProgressChannel, 0, 2, 5, -1})
        EXPECT_EQ(StatusIconForReport(kind), kStatusNoChange) << kind;
}
