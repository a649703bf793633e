// The main window's geometry: the worked 240-pixel figures, scaling, odd widths, and what each
// mode shows and hides.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/ControlIds.h"
#include "app/ScreenMode.h"
#include "app/layout/Geometry.h"

namespace vistrel::app {

void PrintTo(const ControlRect& r, std::ostream* os) {
    *os << "{" << r.id << ": " << r.x << "," << r.y << " " << r.width << "x" << r.height << "}";
}

namespace {

ControlRect Find(const std::vector<ControlRect>& rects, int controlId) {
    for (const ControlRect& r : rects) {
        if (r.id == controlId) return r;
    }
    ADD_FAILURE() << "control " << controlId << " not laid out";
    return {};
}

bool Contains(const std::vector<int>& ids, int controlId) {
    return std::find(ids.begin(), ids.end(), controlId) != ids.end();
}

const int kModes[] = {ModeLive, ModeLogin, ModeCamera, ModePlayback, ModeFullScreen};

std::vector<int> AllTwins() {
    std::vector<int> twins;
    for (int controlId = 1000; controlId < 1100; ++controlId) {
        if (IsTwin(controlId)) twins.push_back(controlId);
    }
    return twins;
}

TEST(LayoutGeometry, UnitAndPictureDropTheRemainder) {
    EXPECT_EQ(LayoutUnit(240), 10);
    EXPECT_EQ(PictureHeight(240), 180);
    EXPECT_EQ(LayoutUnit(263), 10);
    EXPECT_EQ(PictureHeight(250), 187);  // 187.5 truncated
    EXPECT_EQ(LayoutUnit(480), 20);
    EXPECT_EQ(PictureHeight(480), 360);
}

TEST(LayoutGeometry, LiveViewAt240) {
    const ModeLayout m = LayOutMode(ModeLive, 240, true);
    EXPECT_EQ(Find(m.shown, id::kLiveButton), (ControlRect{id::kLiveButton, 10, 185, 30, 20}));
    EXPECT_EQ(Find(m.shown, id::kExitButton), (ControlRect{id::kExitButton, 160, 185, 30, 20}));
    EXPECT_EQ(Find(m.shown, id::kChannelList), (ControlRect{id::kChannelList, 190, 185, 40, 20}));
    EXPECT_EQ(m.cursorEnd, 205);
    EXPECT_TRUE(m.focusHolderShown);
    EXPECT_EQ(m.datePicker, ControlRect{});
}

TEST(LayoutGeometry, CameraControlAt240) {
    const ModeLayout m = LayOutMode(ModeCamera, 240, true);
    EXPECT_EQ(Find(m.shown, id::kCamUpLeft), (ControlRect{id::kCamUpLeft, 40, 185, 20, 20}));
    EXPECT_EQ(Find(m.shown, id::kCamFocusFar), (ControlRect{id::kCamFocusFar, 160, 185, 20, 20}));
    EXPECT_EQ(Find(m.shown, id::kCamStop), (ControlRect{id::kCamStop, 60, 205, 20, 20}));
    EXPECT_EQ(Find(m.shown, id::kCamZoomIn), (ControlRect{id::kCamZoomIn, 120, 205, 20, 20}));
    EXPECT_EQ(Find(m.shown, id::kCamDownRight), (ControlRect{id::kCamDownRight, 80, 225, 20, 20}));
    EXPECT_EQ(Find(m.shown, id::kCameraSpeedList), (ControlRect{id::kCameraSpeedList, 120, 225, 60, 20}));
    EXPECT_EQ(Find(m.shown, id::kLiveButton).y, 248);
    EXPECT_EQ(Find(m.shown, id::kChannelList).y, 248);
}

TEST(LayoutGeometry, PlaybackAt240) {
    const ModeLayout m = LayOutMode(ModePlayback, 240, true);
    EXPECT_EQ(Find(m.shown, id::kStatusIcon), (ControlRect{id::kStatusIcon, 0, 180, 15, 15}));
    EXPECT_EQ(Find(m.shown, id::kPositionSlider), (ControlRect{id::kPositionSlider, 75, 195, 75, 20}));
    EXPECT_EQ(Find(m.shown, id::kTimeText), (ControlRect{id::kTimeText, 15, 205, 50, 20}));
    EXPECT_EQ(Find(m.shown, id::kPauseButton), (ControlRect{id::kPauseButton, 200, 195, 20, 20}));
    EXPECT_EQ(m.datePicker, (ControlRect{id::kDatePicker, 10, 220, 60, 20}));
    EXPECT_EQ(m.timePicker, (ControlRect{id::kTimePicker, 70, 220, 80, 20}));
    EXPECT_EQ(Find(m.shown, id::kPlaySpeedList), (ControlRect{id::kPlaySpeedList, 170, 220, 55, 20}));
    EXPECT_EQ(Find(m.shown, id::kLiveButton).y, 245);
    EXPECT_EQ(m.cursorEnd, 265);
}

TEST(LayoutGeometry, LoginRowAtTopBeforeAnyPictureThenBelowIt) {
    const ModeLayout first = LayOutMode(ModeLogin, 240, false);
    EXPECT_EQ(Find(first.shown, id::kHostLabel), (ControlRect{id::kHostLabel, 10, 35, 15, 20}));
    EXPECT_EQ(Find(first.shown, id::kHostCombo), (ControlRect{id::kHostCombo, 25, 35, 100, 20}));
    EXPECT_EQ(Find(first.shown, id::kPortEdit), (ControlRect{id::kPortEdit, 155, 35, 30, 20}));
    EXPECT_EQ(Find(first.shown, id::kLoginButton), (ControlRect{id::kLoginButton, 190, 35, 40, 20}));
    EXPECT_EQ(Find(first.shown, id::kUserCombo), (ControlRect{id::kUserCombo, 65, 80, 60, 20}));
    EXPECT_EQ(Find(first.shown, id::kPasswordEdit), (ControlRect{id::kPasswordEdit, 180, 80, 50, 20}));
    EXPECT_EQ(first.cursorEnd, 100);
    EXPECT_FALSE(first.focusHolderShown);
    EXPECT_TRUE(Contains(first.hidden, id::kFocusHolder));

    const ModeLayout later = LayOutMode(ModeLogin, 240, true);
    EXPECT_EQ(Find(later.shown, id::kHostCombo).y, 185);
    EXPECT_EQ(Find(later.shown, id::kUserCombo).y, 230);
}

// Every coordinate at 480 is twice the 240 one, in every mode, for buttons, twins and pickers.
TEST(LayoutGeometry, DoubleWidthDoublesEverything) {
    for (int mode : kModes) {
        for (bool reserved : {false, true}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " reserved " << reserved);
            const ModeLayout small = LayOutMode(mode, 240, reserved);
            const ModeLayout big = LayOutMode(mode, 480, reserved);
            auto doubled = [](ControlRect r) {
                return ControlRect{r.id, 2 * r.x, 2 * r.y, 2 * r.width, 2 * r.height};
            };
            ASSERT_EQ(small.shown.size(), big.shown.size());
            for (size_t i = 0; i < small.shown.size(); ++i) {
                // Before the picture is reserved the cursor starts at a fixed 30 pixels, which
                // does not scale.
                ControlRect expected = doubled(small.shown[i]);
                if (!reserved) expected.y = big.shown[i].y;
                EXPECT_EQ(big.shown[i], expected);
            }
            ASSERT_EQ(small.twinRects.size(), big.twinRects.size());
            for (size_t i = 0; i < small.twinRects.size() && reserved; ++i) {
                EXPECT_EQ(big.twinRects[i], doubled(small.twinRects[i]));
            }
            if (mode == ModePlayback && reserved) {
                EXPECT_EQ(big.datePicker, doubled(small.datePicker));
                EXPECT_EQ(big.timePicker, doubled(small.timePicker));
            }
            EXPECT_EQ(big.hidden, small.hidden);
        }
    }
}

// u = 11 makes every half unit fractional; each is truncated on its own, not the sum of them.
TEST(LayoutGeometry, OddUnitTruncatesEachFraction) {
    const int width = 24 * 11 + 7;  // the remainder is lost: u = 11, picture 203
    ASSERT_EQ(LayoutUnit(width), 11);
    const ModeLayout playback = LayOutMode(ModePlayback, width, true);
    const int y0 = PictureHeight(width);
    ASSERT_EQ(y0, 203);
    EXPECT_EQ(Find(playback.shown, id::kStatusIcon), (ControlRect{id::kStatusIcon, 0, 203, 16, 16}));
    // y1 = trunc(203 + 16.5) = 219; y2 = trunc(219 + 27.5) = 246
    EXPECT_EQ(Find(playback.shown, id::kPositionSlider), (ControlRect{id::kPositionSlider, 82, 219, 82, 22}));
    EXPECT_EQ(Find(playback.shown, id::kTimeText), (ControlRect{id::kTimeText, 16, 230, 55, 22}));
    EXPECT_EQ(Find(playback.shown, id::kPlaySpeedList), (ControlRect{id::kPlaySpeedList, 187, 246, 60, 22}));
    EXPECT_EQ(Find(playback.shown, id::kLiveButton).y, 246 + 22 + 5);  // trunc(268 + 5.5)

    const ModeLayout camera = LayOutMode(ModeCamera, width, true);
    // r1 = trunc(203 + 5.5) = 208, r3 = 252, cursor trunc(252 + 19.8) = 271, toolbar trunc(276.5)
    EXPECT_EQ(Find(camera.shown, id::kCamDown).y, 252);
    EXPECT_EQ(Find(camera.shown, id::kExitButton).y, 276);

    const ModeLayout login = LayOutMode(ModeLogin, width, false);
    // r1 = trunc(30 + 5.5) = 35, r2 = trunc(35 + 49.5) = 84
    EXPECT_EQ(Find(login.shown, id::kHostLabel), (ControlRect{id::kHostLabel, 11, 35, 16, 22}));
    EXPECT_EQ(Find(login.shown, id::kHostCombo).x, 27);
    EXPECT_EQ(Find(login.shown, id::kPortEdit).x, 170);
    EXPECT_EQ(Find(login.shown, id::kUserCombo), (ControlRect{id::kUserCombo, 71, 84, 66, 22}));
}

TEST(LayoutGeometry, FullScreenHidesEveryGroupAndLeavesTheFocusHolderAlone) {
    const ModeLayout m = LayOutMode(ModeFullScreen, 240, true);
    EXPECT_TRUE(m.shown.empty());
    EXPECT_TRUE(m.twinRects.empty());
    for (const auto* group : {&ToolbarIds(), &CameraPadIds(), &PlaybackBarIds(), &LoginRowIds()}) {
        for (int controlId : *group) EXPECT_TRUE(Contains(m.hidden, controlId)) << controlId;
    }
    EXPECT_TRUE(Contains(m.hidden, id::kBarText));
    EXPECT_FALSE(m.focusHolderShown);
    EXPECT_FALSE(Contains(m.hidden, id::kFocusHolder));
    EXPECT_EQ(m.datePicker, ControlRect{});
    EXPECT_EQ(m.timePicker, ControlRect{});
}

// Whatever the mode and width: each control is either shown or hidden, never both; every twin is
// hidden at its button's rectangle; "bar" never shows; nothing leaves the window's width.
TEST(LayoutGeometry, EveryModeAccountsForEveryControlOnce) {
    const std::vector<int> twins = AllTwins();
    ASSERT_EQ(twins.size(), 22u);
    for (int mode : kModes) {
        for (int width : {240, 263, 480, 800}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " width " << width);
            const ModeLayout m = LayOutMode(mode, width, true);
            std::set<int> shown;
            for (const ControlRect& r : m.shown) {
                EXPECT_TRUE(shown.insert(r.id).second) << "shown twice: " << r.id;
                EXPECT_FALSE(IsTwin(r.id)) << r.id;
                EXPECT_FALSE(Contains(m.hidden, r.id)) << r.id;
                EXPECT_GE(r.x, 0);
                EXPECT_LE(r.x + r.width, width) << r.id;
                EXPECT_GT(r.width, 0);
                EXPECT_GT(r.height, 0);
            }
            for (const auto* group : {&ToolbarIds(), &CameraPadIds(), &PlaybackBarIds(), &LoginRowIds()}) {
                for (int controlId : *group) {
                    EXPECT_TRUE(shown.count(controlId) || Contains(m.hidden, controlId)) << controlId;
                }
            }
            for (int twin : twins) EXPECT_TRUE(Contains(m.hidden, twin)) << twin;
            for (const ControlRect& t : m.twinRects) {
                ControlRect button = Find(m.shown, ButtonOfTwin(t.id));
                button.id = t.id;
                EXPECT_EQ(t, button);
            }
            EXPECT_TRUE(Contains(m.hidden, id::kBarText));
            EXPECT_FALSE(shown.count(id::kFocusHolder));
            EXPECT_EQ(m.focusHolderShown, mode != ModeLogin && mode != ModeFullScreen);
        }
    }
}

TEST(LayoutGeometry, GroupsStackWithoutOverlapping) {
    const int u = 10;
    const GroupLayout pad = LayOutCameraPad(u, 180);
    const GroupLayout toolbar = LayOutToolbar(u, pad.cursorEnd);
    int padBottom = 0;
    for (const ControlRect& r : pad.rects) padBottom = std::max(padBottom, r.y + r.height);
    for (const ControlRect& r : toolbar.rects) EXPECT_GE(r.y, padBottom) << r.id;

    const GroupLayout bar = LayOutPlaybackBar(u, 180);
    int barBottom = 0;
    for (const ControlRect& r : bar.rects) barBottom = std::max(barBottom, r.y + r.height);
    EXPECT_LE(barBottom, bar.cursorEnd);
}

TEST(LayoutGeometry, EnableListCoversTheInteractiveControlsOnly) {
    const std::vector<int>& order = EnableControlOrder();
    std::set<int> seen;
    for (int controlId : order) {
        EXPECT_TRUE(seen.insert(controlId).second) << "listed twice: " << controlId;
        EXPECT_FALSE(IsTwin(controlId)) << controlId;
    }
    EXPECT_FALSE(seen.count(id::kStatusIcon));
    EXPECT_FALSE(seen.count(id::kFocusHolder));
    for (const auto* group : {&ToolbarIds(), &CameraPadIds(), &PlaybackBarIds(), &LoginRowIds()}) {
        for (int controlId : *group) {
            if (controlId == id::kStatusIcon) continue;
            EXPECT_TRUE(seen.count(controlId)) << controlId;
        }
    }
    EXPECT_TRUE(seen.count(id::kBarText));
    EXPECT_EQ(order.size(), 39u);
    // The playback bar comes first and the login row's two combos last.
    EXPECT_EQ(order.front(), id::kPositionSlider);
    EXPECT_EQ(order.back(), id::kUserCombo);
}

TEST(LayoutGeometry, TwinsPairBothWays) {
    for (int twin : AllTwins()) {
        const int button = ButtonOfTwin(twin);
        EXPECT_NE(button, 0);
        EXPECT_EQ(TwinOf(button), twin);
        EXPECT_FALSE(IsTwin(button));
    }
    for (int b = id::kFirstCameraButton; b <= id::kLastCameraButton; ++b) {
        EXPECT_EQ(TwinOf(b), b + id::kCameraTwinOffset);
    }
    EXPECT_EQ(TwinOf(id::kPlaybackButton), id::kPlaybackTwin);  // 1067 sits among the buttons
    EXPECT_EQ(TwinOf(id::kChannelList), 0);
    EXPECT_EQ(TwinOf(id::kStatusIcon), 0);
    EXPECT_EQ(ButtonOfTwin(id::kLiveButton), 0);
}

TEST(LayoutGeometry, UnknownModeShowsNothing) {
    for (int mode : {0, 6, -1}) {
        const ModeLayout m = LayOutMode(mode, 240, true);
        EXPECT_TRUE(m.shown.empty());
        EXPECT_TRUE(Contains(m.hidden, id::kLiveButton));
    }
}

}  // namespace
}  // namespace vistrel::app
