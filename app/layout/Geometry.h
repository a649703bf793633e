#pragma once
// Where the main window's control groups go for each screen mode, as plain arithmetic on the work
// width (no Qt here, so every figure can be checked without a window).

#include <vector>

namespace vistrel::app {

// x, y, width, height in pixels of the window's client area.
struct ControlRect {
    int id;
    int x;
    int y;
    int width;
    int height;
    bool operator==(const ControlRect&) const = default;
};

// Every position derives from this unit: workWidth / 24, the remainder dropped.
int LayoutUnit(int workWidth);
// Height of the picture area at the top of the window: workWidth * 3 / 4.
int PictureHeight(int workWidth);

// One group placed at a cursor. rects include the twins at their buttons' rectangles; cursorEnd
// is where the next group starts.
struct GroupLayout {
    std::vector<ControlRect> rects;
    int cursorEnd;
};
GroupLayout LayOutToolbar(int u, int y0);
GroupLayout LayOutCameraPad(int u, int y0);
// Also gives the date and time picker rectangles (ids 1008 and 1012 among the rects).
GroupLayout LayOutPlaybackBar(int u, int y0);
GroupLayout LayOutLoginRow(int u, int y0);

// Everything a mode change needs to move, show and hide.
struct ModeLayout {
    // Controls to move there and show: buttons, lists, labels. Never twins, never 1077.
    std::vector<ControlRect> shown;
    // Controls to hide: the hidden groups' controls, every twin, 1006, and 1077 when the login row
    // is shown. In the order the groups are processed.
    std::vector<int> hidden;
    // The pickers as last laid out (for the key navigation); zero when the playback bar is hidden.
    ControlRect datePicker{}, timePicker{};
    // 1077 goes to (0,0,1,1) and is shown. When it is neither shown here nor in hidden (full
    // screen) it keeps whatever state it had.
    bool focusHolderShown = false;
    int cursorEnd = 0;
    // Every twin of a shown group, moved to its button's rectangle but kept hidden, so that the
    // key navigation can show it in place of its button.
    std::vector<ControlRect> twinRects;
};
// The groups hidden and shown in the order of the mode's table; the cursor starts at
// PictureHeight(workWidth) when pictureReserved, else at 30. An unknown mode shows nothing and
// hides every group, as full screen does.
ModeLayout LayOutMode(int mode /* ScreenMode */, int workWidth, bool pictureReserved);

// The ids EnableControls(enable) sets, in order. Twins and the status icon are never disabled.
const std::vector<int>& EnableControlOrder();

// Items a drop-down list shows when opened: 4 for 1069, 3 for 1070 and 1038, 5 for 1003;
// 0 = keep its own height (1039 and any other).
int DropDownVisibleItems(int id);

// Group membership: buttons, lists, labels and texts of each group, without twins.
const std::vector<int>& ToolbarIds();
const std::vector<int>& CameraPadIds();
const std::vector<int>& PlaybackBarIds();
const std::vector<int>& LoginRowIds();

int TwinOf(int buttonId);      // 0 when the id has no twin
int ButtonOfTwin(int twinId);  // 0 when the id is not a twin
bool IsTwin(int id);

}  // namespace vistrel::app
