// The direction-key rings of the main window, driven against a host that records what the window
// would be asked to do.

#include <gtest/gtest.h>

#include <Qt>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/ScreenMode.h"
#include "app/navigation/KeyNavigator.h"

using namespace vistrel::app;
namespace cid = vistrel::app::id;

namespace {

class RecordingHost : public NavigationHost {
public:
    void setHighlighted(int buttonId, bool on) override {
        if (on) highlighted.insert(buttonId);
        else highlighted.erase(buttonId);
        ++highlightCalls;
    }
    void focusControl(int controlId) override {
        focus = controlId;
        actions.push_back("focus " + std::to_string(controlId));
    }
    void runCommand(int buttonId) override {
        actions.push_back("run " + std::to_string(buttonId));
        if (onCommand) onCommand(buttonId);
    }
    void openDateCalendar() override { actions.push_back("calendar"); }
    void selectTimeSection(int field) override { actions.push_back("time " + std::to_string(field)); }
    void leaveFullScreen() override { actions.push_back("leave full screen"); }

    // The actions since the last call.
    std::vector<std::string> take() { return std::exchange(actions, {}); }

    std::set<int> highlighted;  // buttons whose twin shows
    int focus = 0;
    int highlightCalls = 0;
    std::vector<std::string> actions;
    std::function<void(int)> onCommand;
};

using Actions = std::vector<std::string>;
using Shown = std::set<int>;

std::string focusOn(int id) { return "focus " + std::to_string(id); }

class KeyNavigatorTest : public ::testing::Test {
protected:
    // A key that must be consumed; returns the actions it caused.
    Actions press(int key) {
        EXPECT_TRUE(nav.keyPressed(key));
        return host.take();
    }
    Actions right() { return press(Qt::Key_Right); }
    Actions left() { return press(Qt::Key_Left); }

    RecordingHost host;
    KeyNavigator nav{host};
};

TEST_F(KeyNavigatorTest, LiveRingWalksRightThroughTheToolbarToTheChannelListAndBack) {
    nav.setMode(ModeLive);
    EXPECT_EQ(nav.ring(), 1);
    const int toolbar[] = {cid::kPlaybackButton, cid::kCameraButton, cid::kFullScreenButton, cid::kLoginModeButton,
                           cid::kExitButton};
    for (int button : toolbar) {
        // A plain highlight move: the focus stays where it was.
        EXPECT_EQ(right(), Actions{});
        EXPECT_EQ(host.highlighted, Shown{button});
    }
    EXPECT_EQ(right(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(host.highlighted, Shown{});
    EXPECT_EQ(nav.position(), 6);
    EXPECT_EQ(right(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kLiveButton});
    EXPECT_EQ(nav.position(), 0);
}

TEST_F(KeyNavigatorTest, LiveRingLeftFromLiveFocusesTheChannelListWhereUpAndDownGoOnAfterEnter) {
    nav.setMode(ModeLive);
    EXPECT_EQ(left(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(nav.position(), 6);
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Down));  // consumed until Enter hands the keys to the list
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Return));
    EXPECT_TRUE(nav.passKeys());
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Up));
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Down));
    EXPECT_EQ(host.take(), Actions{});

    // Leaving the list parks the focus and takes the keys back.
    EXPECT_EQ(left(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kExitButton});
    EXPECT_FALSE(nav.passKeys());
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Up));
}

TEST_F(KeyNavigatorTest, EveryMoveResetsTheWholeRingFirst) {
    nav.setMode(ModeLive);
    // Twins left showing by anything else (a mouse click, an earlier ring) are hidden by the next move.
    host.highlighted = {cid::kExitButton, cid::kLoginModeButton};
    right();
    EXPECT_EQ(host.highlighted, Shown{cid::kPlaybackButton});
    nav.setMode(ModeCamera);
    host.highlighted.insert(cid::kCamFocusFar);
    left();
    EXPECT_EQ(host.highlighted, Shown{});
}

TEST_F(KeyNavigatorTest, PlaybackRingWalksThroughTheDateTheTimeSectionsAndTheSpeedList) {
    nav.setMode(ModePlayback);
    EXPECT_EQ(nav.ring(), 2);
    EXPECT_EQ(right(), Actions{});
    EXPECT_EQ(host.highlighted, Shown{cid::kStopButton});
    EXPECT_EQ(right(), Actions{});
    EXPECT_EQ(host.highlighted, Shown{cid::kPauseButton});

    EXPECT_EQ(right(), Actions{focusOn(cid::kDatePicker)});
    EXPECT_EQ(host.highlighted, Shown{});
    EXPECT_EQ(nav.position(), 3);
    EXPECT_FALSE(nav.timeFieldsActive());

    EXPECT_EQ(right(), Actions{"time 0"});
    EXPECT_EQ(nav.position(), 4);
    EXPECT_TRUE(nav.timeFieldsActive());
    EXPECT_TRUE(nav.passKeys());
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Up));  // up and down change the selected section

    // Each further move first gives the time edit the focus back, then selects the next section.
    EXPECT_EQ(right(), (Actions{focusOn(cid::kTimePicker), "time 1"}));
    EXPECT_EQ(nav.timeField(), 1);
    EXPECT_EQ(right(), (Actions{focusOn(cid::kTimePicker), "time 2"}));
    EXPECT_EQ(nav.timeField(), 2);
    EXPECT_EQ(right(), (Actions{focusOn(cid::kTimePicker), focusOn(cid::kPlaySpeedList)}));
    EXPECT_EQ(nav.position(), 5);
    EXPECT_FALSE(nav.timeFieldsActive());
    EXPECT_FALSE(nav.passKeys());

    EXPECT_EQ(right(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kLiveButton});
    EXPECT_EQ(nav.position(), 6);

    // And back.
    EXPECT_EQ(left(), Actions{focusOn(cid::kPlaySpeedList)});
    EXPECT_EQ(host.highlighted, Shown{});
    EXPECT_EQ(left(), Actions{"time 2"});
    EXPECT_TRUE(nav.timeFieldsActive());
    EXPECT_TRUE(nav.passKeys());
    EXPECT_EQ(nav.position(), 4);
    EXPECT_EQ(left(), (Actions{focusOn(cid::kTimePicker), "time 1"}));
    EXPECT_EQ(left(), (Actions{focusOn(cid::kTimePicker), "time 0"}));
    EXPECT_EQ(left(), (Actions{focusOn(cid::kTimePicker), focusOn(cid::kDatePicker)}));
    EXPECT_EQ(nav.position(), 3);
    EXPECT_FALSE(nav.timeFieldsActive());
    EXPECT_FALSE(nav.passKeys());
    EXPECT_EQ(left(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kPauseButton});
    EXPECT_EQ(nav.position(), 2);
}

TEST_F(KeyNavigatorTest, PlaybackRingClosesOverTheChannelList) {
    nav.setMode(ModePlayback);
    EXPECT_EQ(left(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(nav.position(), 12);
    EXPECT_EQ(left(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kExitButton});
    EXPECT_EQ(right(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(right(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kPlayButton});
    EXPECT_EQ(nav.position(), 0);
}

TEST_F(KeyNavigatorTest, EnterOnEachKindOfPlaybackEntry) {
    nav.setMode(ModePlayback);
    // Nothing highlighted yet: Enter acts on entry 0.
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Enter));
    EXPECT_EQ(host.take(), Actions{"run " + std::to_string(cid::kPlayButton)});
    right();
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{"run " + std::to_string(cid::kStopButton)});

    // The date edit: Enter opens its calendar; the next arrow puts the navigation back on it.
    right();
    right();
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{"calendar"});
    EXPECT_TRUE(nav.dateCalendarOpen());
    EXPECT_EQ(right(), (Actions{focusOn(cid::kDatePicker), "time 0"}));
    EXPECT_FALSE(nav.dateCalendarOpen());

    // The time edit: the key is taken and nothing runs, beyond keeping the focus on it.
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{focusOn(cid::kTimePicker)});

    // Up or down in the open calendar closes the navigation's claim on it.
    left();
    EXPECT_EQ(nav.position(), 3);
    nav.keyPressed(Qt::Key_Return);
    host.take();
    nav.keyPressed(Qt::Key_Down);
    EXPECT_FALSE(nav.dateCalendarOpen());

    // The speed list takes Enter and, from then on, up and down.
    right();
    right();
    right();
    right();
    EXPECT_EQ(nav.position(), 5);
    host.take();
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Return));
    EXPECT_TRUE(nav.passKeys());
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Down));
    EXPECT_EQ(host.take(), Actions{});

    // A toolbar entry's command changes the mode from inside the key: the navigator follows it.
    host.onCommand = [this](int button) {
        if (button == cid::kLiveButton) nav.setMode(ModeLive);
    };
    right();
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{"run " + std::to_string(cid::kLiveButton)});
    EXPECT_EQ(nav.ring(), 1);
    EXPECT_EQ(nav.position(), 0);
}

TEST_F(KeyNavigatorTest, CameraRingOrderAndItsWrapPoints) {
    nav.setMode(ModeCamera);
    EXPECT_EQ(nav.ring(), 3);
    // The pad in ring order: the focus pair comes before the zoom pair.
    const int pad[] = {cid::kCamUp,        cid::kCamUpRight,  cid::kCamLeft,   cid::kCamStop,
                       cid::kCamRight,     cid::kCamDownLeft, cid::kCamDown,   cid::kCamDownRight,
                       cid::kCamFocusNear, cid::kCamFocusFar, cid::kCamZoomIn, cid::kCamZoomOut};
    for (int button : pad) {
        EXPECT_EQ(right(), Actions{});
        EXPECT_EQ(host.highlighted, Shown{button});
    }
    EXPECT_EQ(nav.position(), 12);
    EXPECT_EQ(right(), Actions{focusOn(cid::kCameraSpeedList)});
    EXPECT_EQ(host.highlighted, Shown{});
    EXPECT_EQ(right(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kLiveButton});
    EXPECT_EQ(nav.position(), 14);
    EXPECT_EQ(left(), Actions{focusOn(cid::kCameraSpeedList)});
    EXPECT_EQ(left(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kCamZoomOut});
    right();
    right();
    for (int i = 0; i < 5; ++i) right();
    EXPECT_EQ(nav.position(), 19);
    EXPECT_EQ(host.highlighted, Shown{cid::kExitButton});
    EXPECT_EQ(right(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(nav.position(), 20);
    EXPECT_EQ(right(), Actions{focusOn(cid::kFocusHolder)});
    EXPECT_EQ(host.highlighted, Shown{cid::kCamUpLeft});
    EXPECT_EQ(left(), Actions{focusOn(cid::kChannelList)});
    EXPECT_EQ(nav.position(), 20);
}

TEST_F(KeyNavigatorTest, CameraEnterRunsThePadButtonAndHandsKeysToTheSpeedList) {
    nav.setMode(ModeCamera);
    right();
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{"run " + std::to_string(cid::kCamUp)});
    for (int i = 0; i < 12; ++i) right();
    host.take();
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Return));
    EXPECT_TRUE(nav.passKeys());
    EXPECT_EQ(host.take(), Actions{});
}

TEST_F(KeyNavigatorTest, FullScreenLoginAndOtherKeysLeaveKeysToTheWindow) {
    nav.setMode(ModeFullScreen);
    EXPECT_EQ(nav.ring(), 4);
    EXPECT_TRUE(nav.keyPressed(Qt::Key_Return));
    EXPECT_EQ(host.take(), Actions{"leave full screen"});
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Left));
    EXPECT_FALSE(nav.keyPressed(Qt::Key_Right));

    nav.setMode(ModeLogin);
    EXPECT_EQ(nav.ring(), 0);
    EXPECT_TRUE(nav.passKeys());
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        EXPECT_FALSE(nav.keyPressed(key));
    nav.setMode(ModeLive);  // keys other than the arrows and Enter are never looked at
    for (int key : {int(Qt::Key_Tab), int(Qt::Key_Space), int(Qt::Key_Escape), 0, -1})
        EXPECT_FALSE(nav.keyPressed(key));
    EXPECT_EQ(host.take(), Actions{});
    EXPECT_EQ(host.highlightCalls, 0);
}

TEST_F(KeyNavigatorTest, AModeChangeInsideTheTimeEditDoesNotCaptureTheNextRing) {
    nav.setMode(ModePlayback);
    for (int i = 0; i < 4; ++i) right();
    ASSERT_TRUE(nav.timeFieldsActive());
    nav.setMode(ModeLive);  // a click on Live while the time edit had the keys
    EXPECT_FALSE(nav.timeFieldsActive());
    host.take();
    EXPECT_EQ(right(), Actions{});
    EXPECT_EQ(host.highlighted, Shown{cid::kPlaybackButton});
    EXPECT_EQ(right(), Actions{});
    EXPECT_EQ(host.highlighted, Shown{cid::kCameraButton});
}

}  // namespace
