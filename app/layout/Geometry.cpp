#include "app/layout/Geometry.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/ControlIds.h"
#include "app/ScreenMode.h"

namespace vistrel::app {

namespace {

// Before the first mode other than login there is no picture yet, and the login row starts this
// far from the top.
constexpr int kTopMarginBeforePicture = 30;

// Fractional multiples of the unit are worked out in floating point and truncated toward zero,
// so that odd units keep the same proportions the whole-number figures have at u = 10.
int Trunc(double value) { return static_cast<int>(value); }

constexpr std::array<std::pair<int, int>, 22> kTwins{{
    {id::kLiveButton, id::kLiveTwin},
    {id::kPlaybackButton, id::kPlaybackTwin},
    {id::kCameraButton, id::kCameraTwin},
    {id::kFullScreenButton, id::kFullScreenTwin},
    {id::kLoginModeButton, id::kLoginModeTwin},
    {id::kExitButton, id::kExitTwin},
    {id::kPlayButton, id::kPlayTwin},
    {id::kStopButton, id::kStopTwin},
    {id::kPauseButton, id::kPauseTwin},
    {id::kCamUpLeft, id::kCamUpLeftTwin},
    {id::kCamUp, id::kCamUpTwin},
    {id::kCamUpRight, id::kCamUpRightTwin},
    {id::kCamLeft, id::kCamLeftTwin},
    {id::kCamStop, id::kCamStopTwin},
    {id::kCamRight, id::kCamRightTwin},
    {id::kCamDownLeft, id::kCamDownLeftTwin},
    {id::kCamDown, id::kCamDownTwin},
    {id::kCamDownRight, id::kCamDownRightTwin},
    {id::kCamZoomIn, id::kCamZoomInTwin},
    {id::kCamZoomOut, id::kCamZoomOutTwin},
    {id::kCamFocusNear, id::kCamFocusNearTwin},
    {id::kCamFocusFar, id::kCamFocusFarTwin},
}};

// Adds the button's rectangle and, when it has one, its twin's at the same place.
void AddButton(std::vector<ControlRect>& rects, int buttonId, int x, int y, int w, int h) {
    rects.push_back({buttonId, x, y, w, h});
    rects.push_back({TwinOf(buttonId), x, y, w, h});
}

enum class Group { Toolbar, CameraPad, PlaybackBar, LoginRow };

const std::vector<int>& IdsOf(Group group) {
    switch (group) {
        case Group::Toolbar: return ToolbarIds();
        case Group::CameraPad: return CameraPadIds();
        case Group::PlaybackBar: return PlaybackBarIds();
        case Group::LoginRow: break;
    }
    return LoginRowIds();
}

GroupLayout LayOut(Group group, int u, int y0) {
    switch (group) {
        case Group::Toolbar: return LayOutToolbar(u, y0);
        case Group::CameraPad: return LayOutCameraPad(u, y0);
        case Group::PlaybackBar: return LayOutPlaybackBar(u, y0);
        case Group::LoginRow: break;
    }
    return LayOutLoginRow(u, y0);
}

// The groups a mode hides, then the ones it shows top to bottom.
struct ModeGroups {
    std::vector<Group> hidden;
    std::vector<Group> shown;
};

ModeGroups GroupsOf(int mode) {
    using G = Group;
    switch (mode) {
        case ModeLive: return {{G::PlaybackBar, G::LoginRow, G::CameraPad}, {G::Toolbar}};
        case ModeLogin: return {{G::PlaybackBar, G::CameraPad, G::Toolbar}, {G::LoginRow}};
        case ModeCamera: return {{G::PlaybackBar, G::LoginRow}, {G::CameraPad, G::Toolbar}};
        case ModePlayback: return {{G::LoginRow, G::CameraPad}, {G::PlaybackBar, G::Toolbar}};
        default: break;
    }
    // Full screen, and any mode the table does not know: nothing on top of the picture.
    return {{G::PlaybackBar, G::LoginRow, G::CameraPad, G::Toolbar}, {}};
}

void HideTwinsOf(Group group, std::vector<int>& hidden) {
    for (int control : IdsOf(group)) {
        if (int twin = TwinOf(control)) hidden.push_back(twin);
    }
}

}  // namespace

int LayoutUnit(int workWidth) { return workWidth / 24; }

int PictureHeight(int workWidth) { return workWidth * 3 / 4; }

GroupLayout LayOutToolbar(int u, int y0) {
    const int y = Trunc(y0 + 0.5 * u);
    GroupLayout out{{}, y + 2 * u};
    const int buttons[] = {id::kLiveButton,       id::kPlaybackButton,  id::kCameraButton,
                           id::kFullScreenButton, id::kLoginModeButton, id::kExitButton};
    for (int i = 0; i < 6; ++i) AddButton(out.rects, buttons[i], (1 + 3 * i) * u, y, 3 * u, 2 * u);
    out.rects.push_back({id::kChannelList, 19 * u, y, 4 * u, 2 * u});
    return out;
}

GroupLayout LayOutCameraPad(int u, int y0) {
    const int r1 = Trunc(y0 + 0.5 * u);
    const int r2 = r1 + 2 * u;
    const int r3 = r2 + 2 * u;
    GroupLayout out{{}, Trunc(r3 + 1.8 * u)};
    const int side = 2 * u;
    const int columns[] = {4 * u, 6 * u, 8 * u, 12 * u, 16 * u};
    const int row1[] = {id::kCamUpLeft, id::kCamUp, id::kCamUpRight, id::kCamFocusNear, id::kCamFocusFar};
    const int row2[] = {id::kCamLeft, id::kCamStop, id::kCamRight, id::kCamZoomIn, id::kCamZoomOut};
    const int row3[] = {id::kCamDownLeft, id::kCamDown, id::kCamDownRight};
    for (int i = 0; i < 5; ++i) AddButton(out.rects, row1[i], columns[i], r1, side, side);
    for (int i = 0; i < 5; ++i) AddButton(out.rects, row2[i], columns[i], r2, side, side);
    for (int i = 0; i < 3; ++i) AddButton(out.rects, row3[i], columns[i], r3, side, side);
    out.rects.push_back({id::kCameraSpeedList, 12 * u, r3, 6 * u, 2 * u});
    return out;
}

GroupLayout LayOutPlaybackBar(int u, int y0) {
    const int a = Trunc(1.5 * u);
    const int y1 = Trunc(y0 + 1.5 * u);
    const int y2 = Trunc(y1 + 2.5 * u);
    GroupLayout out{{}, y2 + 2 * u};
    out.rects.push_back({id::kStatusIcon, 0, y0, a, a});
    out.rects.push_back({id::kTimeText, a, y1 + u, 5 * u, 2 * u});
    out.rects.push_back({id::kPositionSlider, Trunc(7.5 * u), y1, Trunc(7.5 * u), 2 * u});
    AddButton(out.rects, id::kPlayButton, 16 * u, y1, 2 * u, 2 * u);
    AddButton(out.rects, id::kStopButton, 18 * u, y1, 2 * u, 2 * u);
    AddButton(out.rects, id::kPauseButton, 20 * u, y1, 2 * u, 2 * u);
    out.rects.push_back({id::kDatePicker, u, y2, 6 * u, 2 * u});
    out.rects.push_back({id::kTimePicker, 7 * u, y2, 8 * u, 2 * u});
    out.rects.push_back({id::kPlaySpeedList, Trunc(17.0 * u), y2, Trunc(5.5 * u), 2 * u});
    return out;
}

GroupLayout LayOutLoginRow(int u, int y0) {
    const int r1 = Trunc(y0 + 0.5 * u);
    const int r2 = Trunc(r1 + 4.5 * u);
    const int h = 2 * u;
    return GroupLayout{{
                           {id::kHostLabel, u, r1, Trunc(1.5 * u), h},
                           {id::kHostCombo, Trunc(2.5 * u), r1, 10 * u, h},
                           {id::kPortLabel, 13 * u, r1, Trunc(2.5 * u), h},
                           {id::kPortEdit, Trunc(15.5 * u), r1, 3 * u, h},
                           {id::kLoginButton, 19 * u, r1, 4 * u, h},
                           {id::kUserLabel, u, r2, 5 * u, h},
                           {id::kUserCombo, Trunc(6.5 * u), r2, 6 * u, h},
                           {id::kPasswordLabel, 13 * u, r2, 5 * u, h},
                           {id::kPasswordEdit, 18 * u, r2, 5 * u, h},
                       },
                       r2 + h};
}

ModeLayout LayOutMode(int mode, int workWidth, bool pictureReserved) {
    const int u = LayoutUnit(workWidth);
    const ModeGroups groups = GroupsOf(mode);
    ModeLayout out;
    int cursor = pictureReserved ? PictureHeight(workWidth) : kTopMarginBeforePicture;

    for (Group group : groups.hidden) {
        const std::vector<int>& ids = IdsOf(group);
        out.hidden.insert(out.hidden.end(), ids.begin(), ids.end());
        HideTwinsOf(group, out.hidden);
        if (group == Group::PlaybackBar) out.hidden.push_back(id::kBarText);
    }
    for (Group group : groups.shown) {
        const GroupLayout laid = LayOut(group, u, cursor);
        cursor = laid.cursorEnd;
        for (const ControlRect& r : laid.rects) {
            if (IsTwin(r.id)) {
                out.twinRects.push_back(r);
                out.hidden.push_back(r.id);
            } else {
                out.shown.push_back(r);
            }
            if (r.id == id::kDatePicker) out.datePicker = r;
            if (r.id == id::kTimePicker) out.timePicker = r;
        }
        if (group == Group::PlaybackBar) out.hidden.push_back(id::kBarText);
        if (group == Group::LoginRow) {
            out.hidden.push_back(id::kFocusHolder);
            out.focusHolderShown = false;
        } else {
            out.focusHolderShown = true;
        }
    }
    out.cursorEnd = cursor;
    return out;
}

const std::vector<int>& EnableControlOrder() {
    static const std::vector<int> order = [] {
        std::vector<int> ids{id::kPositionSlider, id::kBarText,       id::kTimePicker,
                             id::kDatePicker,     id::kPlayButton,    id::kStopButton,
                             id::kPauseButton,    id::kPlaySpeedList, id::kTimeText};
        for (int b = id::kFirstCameraButton; b <= id::kLastCameraButton; ++b) ids.push_back(b);
        ids.push_back(id::kCameraSpeedList);
        for (int b = id::kLiveButton; b <= id::kExitButton; ++b) ids.push_back(b);
        ids.insert(ids.end(),
                   {id::kChannelList, id::kPasswordEdit, id::kPortEdit, id::kHostLabel, id::kUserLabel,
                    id::kPasswordLabel, id::kPortLabel, id::kLoginButton, id::kHostCombo, id::kUserCombo});
        return ids;
    }();
    return order;
}

int DropDownVisibleItems(int controlId) {
    switch (controlId) {
        case id::kHostCombo: return 4;
        case id::kUserCombo: return 3;
        case id::kCameraSpeedList: return 3;
        case id::kChannelList: return 5;
        default: return 0;
    }
}

const std::vector<int>& ToolbarIds() {
    static const std::vector<int> ids{id::kLiveButton,       id::kPlaybackButton,  id::kCameraButton,
                                      id::kFullScreenButton, id::kLoginModeButton, id::kExitButton,
                                      id::kChannelList};
    return ids;
}

const std::vector<int>& CameraPadIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        for (int b = id::kFirstCameraButton; b <= id::kLastCameraButton; ++b) v.push_back(b);
        v.push_back(id::kCameraSpeedList);
        return v;
    }();
    return ids;
}

const std::vector<int>& PlaybackBarIds() {
    static const std::vector<int> ids{id::kStatusIcon, id::kTimeText,   id::kPositionSlider,
                                      id::kPlayButton, id::kStopButton, id::kPauseButton,
                                      id::kDatePicker, id::kTimePicker, id::kPlaySpeedList};
    return ids;
}

const std::vector<int>& LoginRowIds() {
    static const std::vector<int> ids{id::kHostLabel, id::kHostCombo,     id::kPortLabel,
                                      id::kPortEdit,  id::kLoginButton,   id::kUserLabel,
                                      id::kUserCombo, id::kPasswordLabel, id::kPasswordEdit};
    return ids;
}

int TwinOf(int buttonId) {
    auto it =
        std::find_if(kTwins.begin(), kTwins.end(), [buttonId](const auto& p) { return p.first == buttonId; });
    return it == kTwins.end() ? 0 : it->second;
}

int ButtonOfTwin(int twinId) {
    auto it = std::find_if(kTwins.begin(), kTwins.end(), [twinId](const auto& p) { return p.second == twinId; });
    return it == kTwins.end() ? 0 : it->first;
}

bool IsTwin(int controlId) { return ButtonOfTwin(controlId) != 0; }

}  // namespace vistrel::app
