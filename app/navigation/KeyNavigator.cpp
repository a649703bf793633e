#include "app/navigation/KeyNavigator.h"

#include <Qt>

#include <array>

#include "app/ControlIds.h"
#include "app/ScreenMode.h"

namespace vistrel::app {

namespace {

constexpr int kRingNone = 0;
constexpr int kRingLive = 1;
constexpr int kRingPlayback = 2;
constexpr int kRingCamera = 3;
constexpr int kRingFullScreen = 4;

// An entry is an image button with its twin, or (twin 0) a control that takes the focus.
struct Entry {
    int control;
    int twin;
};

#define TOOLBAR_ENTRIES                                                                     \
    {id::kLiveButton, id::kLiveTwin}, {id::kPlaybackButton, id::kPlaybackTwin},             \
        {id::kCameraButton, id::kCameraTwin}, {id::kFullScreenButton, id::kFullScreenTwin}, \
        {id::kLoginModeButton, id::kLoginModeTwin}, {                                       \
        id::kExitButton, id::kExitTwin                                                      \
    }

constexpr Entry kLiveRing[] = {TOOLBAR_ENTRIES, {id::kChannelList, 0}};

constexpr Entry kPlaybackRing[] = {
    {id::kPlayButton, id::kPlayTwin},
    {id::kStopButton, id::kStopTwin},
    {id::kPauseButton, id::kPauseTwin},
    {id::kDatePicker, 0},
    {id::kTimePicker, 0},
    {id::kPlaySpeedList, 0},
    TOOLBAR_ENTRIES,
    {id::kChannelList, 0},
};

// The pad row by row, then focus before zoom.
constexpr Entry kCameraRing[] = {
    {id::kCamUpLeft, id::kCamUpLeftTwin},
    {id::kCamUp, id::kCamUpTwin},
    {id::kCamUpRight, id::kCamUpRightTwin},
    {id::kCamLeft, id::kCamLeftTwin},
    {id::kCamStop, id::kCamStopTwin},
    {id::kCamRight, id::kCamRightTwin},
    {id::kCamDownLeft, id::kCamDownLeftTwin},
    {id::kCamDown, id::kCamDownTwin},
    {id::kCamDownRight, id::kCamDownRightTwin},
    {id::kCamFocusNear, id::kCamFocusNearTwin},
    {id::kCamFocusFar, id::kCamFocusFarTwin},
    {id::kCamZoomIn, id::kCamZoomInTwin},
    {id::kCamZoomOut, id::kCamZoomOutTwin},
    {id::kCameraSpeedList, 0},
    TOOLBAR_ENTRIES,
    {id::kChannelList, 0},
};

#undef TOOLBAR_ENTRIES

// Positions of the playback ring whose moves are not plain highlights.
constexpr int kPlayPause = 2;
constexpr int kPlayDate = 3;
constexpr int kPlayTime = 4;
constexpr int kPlaySpeed = 5;
constexpr int kPlayToolbarFirst = 6;
constexpr int kPlayToolbarLast = 11;
constexpr int kPlayChannels = 12;

// Of the live ring.
constexpr int kLiveToolbarLast = 5;
constexpr int kLiveChannels = 6;

// Of the camera ring.
constexpr int kCamPadLast = 12;
constexpr int kCamSpeed = 13;
constexpr int kCamToolbarFirst = 14;
constexpr int kCamToolbarLast = 19;
constexpr int kCamChannels = 20;

constexpr int kHourField = 0;
constexpr int kMinuteField = 1;
constexpr int kSecondField = 2;

struct RingView {
    const Entry* entries;
    int size;
};

RingView ringEntries(int ring) {
    switch (ring) {
        case kRingLive: return {kLiveRing, int(std::size(kLiveRing))};
        case kRingPlayback: return {kPlaybackRing, int(std::size(kPlaybackRing))};
        case kRingCamera: return {kCameraRing, int(std::size(kCameraRing))};
        default: return {nullptr, 0};
    }
}

}  // namespace

KeyNavigator::KeyNavigator(NavigationHost& host) : host_(host) {}

void KeyNavigator::setMode(int screenMode) {
    switch (screenMode) {
        case ModeLive: ring_ = kRingLive; break;
        case ModeCamera: ring_ = kRingCamera; break;
        case ModePlayback: ring_ = kRingPlayback; break;
        case ModeFullScreen: ring_ = kRingFullScreen; break;
        default:
            ring_ = kRingNone;
            passKeys_ = true;
            break;
    }
    position_ = 0;
    // The picker states belong to the playback bar just left; kept, they would pull every later
    // left or right back to position 3 or 4 of whatever ring follows.
    dateCalendarOpen_ = false;
    timeFieldsActive_ = false;
    timeField_ = kHourField;
}

bool KeyNavigator::keyPressed(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return enter();
        case Qt::Key_Up:
        case Qt::Key_Down: return upDown();
        case Qt::Key_Left: return leftRight(false);
        case Qt::Key_Right: return leftRight(true);
        default: return false;
    }
}

int KeyNavigator::ringSize() const { return ringEntries(ring_).size; }

int KeyNavigator::buttonAt(int position) const {
    const RingView view = ringEntries(ring_);
    if (position < 0 || position >= view.size || view.entries[position].twin == 0) return 0;
    return view.entries[position].control;
}

bool KeyNavigator::enter() {
    if (timeFieldsActive_) host_.focusControl(id::kTimePicker);
    switch (ring_) {
        case kRingFullScreen: host_.leaveFullScreen(); return true;
        case kRingLive:
        case kRingPlayback:
        case kRingCamera: break;
        default: return false;
    }
    if (const int button = buttonAt(position_)) {
        // The command may change the mode, and with it this navigator: nothing follows it.
        host_.runCommand(button);
        return true;
    }
    if (ring_ == kRingPlayback && position_ == kPlayDate) {
        host_.openDateCalendar();
        dateCalendarOpen_ = true;
        return true;
    }
    if (ring_ == kRingPlayback && position_ == kPlayTime) return true;
    // A list: up and down now go to it, and so does this Enter.
    passKeys_ = true;
    return false;
}

bool KeyNavigator::upDown() {
    dateCalendarOpen_ = false;
    return !passKeys_;
}

bool KeyNavigator::leftRight(bool right) {
    if (dateCalendarOpen_) {
        host_.focusControl(id::kDatePicker);
        position_ = kPlayDate;
        dateCalendarOpen_ = false;
    }
    if (timeFieldsActive_) {
        host_.focusControl(id::kTimePicker);
        position_ = kPlayTime;
    }
    if (ring_ != kRingLive && ring_ != kRingPlayback && ring_ != kRingCamera) return false;
    resetRing();
    if (right) moveRight();
    else moveLeft();
    return true;
}

void KeyNavigator::resetRing() {
    const RingView view = ringEntries(ring_);
    for (int i = 0; i < view.size; ++i)
        if (view.entries[i].twin != 0) host_.setHighlighted(view.entries[i].control, false);
}

void KeyNavigator::highlight() {
    if (const int button = buttonAt(position_)) host_.setHighlighted(button, true);
}

void KeyNavigator::parkFocus() {
    host_.focusControl(id::kFocusHolder);
    passKeys_ = false;
}

void KeyNavigator::focusEntry(int position) {
    position_ = position;
    host_.focusControl(ringEntries(ring_).entries[position].control);
}

void KeyNavigator::enterTimeEdit(int field) {
    host_.selectTimeSection(field);
    position_ = kPlayTime;
    passKeys_ = true;
    timeField_ = field;
    timeFieldsActive_ = true;
}

void KeyNavigator::leaveTimeEdit(int position) {
    passKeys_ = false;
    timeFieldsActive_ = false;
    focusEntry(position);
}

void KeyNavigator::moveLeft() {
    if (ring_ == kRingPlayback) return moveLeftPlayback();
    const int last = ringSize() - 1;  // the channel list closes every ring
    if (position_ <= 0 || position_ > last) {
        focusEntry(last);
        return;
    }
    if (ring_ == kRingCamera && position_ == kCamToolbarFirst) {
        focusEntry(kCamSpeed);
        return;
    }
    parkFocus();
    --position_;
    highlight();
}

void KeyNavigator::moveRight() {
    if (ring_ == kRingPlayback) return moveRightPlayback();
    const int last = ringSize() - 1;
    if (position_ < 0 || position_ >= last) {
        position_ = 0;
        parkFocus();
        highlight();
        return;
    }
    const bool toList = (ring_ == kRingLive && position_ == kLiveToolbarLast) ||
                        (ring_ == kRingCamera && (position_ == kCamPadLast || position_ == kCamToolbarLast));
    if (toList) {
        focusEntry(position_ + 1);
        return;
    }
    if (ring_ == kRingCamera && position_ == kCamSpeed) {
        position_ = kCamToolbarFirst;
        parkFocus();
        highlight();
        return;
    }
    ++position_;
    highlight();
}

void KeyNavigator::moveLeftPlayback() {
    switch (position_) {
        case 0: focusEntry(kPlayChannels); return;
        case kPlayTime:
            if (timeField_ == kSecondField) {
                host_.selectTimeSection(kMinuteField);
                timeField_ = kMinuteField;
            } else if (timeField_ == kMinuteField) {
                host_.selectTimeSection(kHourField);
                timeField_ = kHourField;
            } else {
                leaveTimeEdit(kPlayDate);
            }
            return;
        case kPlaySpeed: enterTimeEdit(kSecondField); return;
        case kPlayToolbarFirst: focusEntry(kPlaySpeed); return;
        default:
            if (position_ < 0 || position_ > kPlayChannels) {
                focusEntry(kPlayChannels);
                return;
            }
            parkFocus();
            --position_;
            highlight();
            return;
    }
}

void KeyNavigator::moveRightPlayback() {
    switch (position_) {
        case kPlayPause: focusEntry(kPlayDate); return;
        case kPlayDate: enterTimeEdit(kHourField); return;
        case kPlayTime:
            if (timeField_ == kHourField) {
                host_.selectTimeSection(kMinuteField);
                timeField_ = kMinuteField;
            } else if (timeField_ == kMinuteField) {
                host_.selectTimeSection(kSecondField);
                timeField_ = kSecondField;
            } else {
                leaveTimeEdit(kPlaySpeed);
            }
            return;
        case kPlaySpeed:
            position_ = kPlayToolbarFirst;
            parkFocus();
            highlight();
            return;
        case kPlayToolbarLast: focusEntry(kPlayChannels); return;
        default:
            if (position_ < 0 || position_ >= kPlayChannels) {
                position_ = 0;
                parkFocus();
                highlight();
                return;
            }
            ++position_;
            highlight();
            return;
    }
}

}  // namespace vistrel::app
