#pragma once
// The window's keyboard shortcuts: one table that both the key handling and the Help > Keyboard
// window read, so the help never says what the keys do not do.

#include <QKeyEvent>
#include <QString>

#include <functional>
#include <set>
#include <vector>

#include "app/ScreenMode.h"

namespace vistrel::app {

enum class ShortcutAction {
    None,
    Channel,     // argument: channel 1..16
    FullScreen,  // toggles
    LeaveFullScreen,
    Grid,        // shows the grid, or steps to its next layout
    Statistics,  // toggles the statistics box
    CameraMove,  // argument: camera pad button id; held, stop on release
    PlayPause,
    StepFrame,
    SpeedUp,
    SpeedDown,
};

// Where the modes a key works in are listed: camera and playback keys only in their modes.
enum ShortcutModes : unsigned {
    kInLive = 1u << 0,
    kInCamera = 1u << 1,
    kInPlayback = 1u << 2,
    kInFullScreen = 1u << 3,
    kInPictureModes = kInLive | kInCamera | kInPlayback | kInFullScreen,
};

struct ShortcutBinding {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    unsigned modes = 0;
    ShortcutAction action = ShortcutAction::None;
    int argument = 0;
    QString keys;            // as the help shows them
    QString description;     // as the help shows it
    bool showInHelp = true;  // several rows of one family are listed once
};

// Every binding, in the order the help lists them.
const std::vector<ShortcutBinding>& ShortcutBindings();
// The binding for a key in a mode, or null. Keypad modifiers are ignored.
const ShortcutBinding* FindShortcut(int key, Qt::KeyboardModifiers modifiers, ScreenMode mode);

// What the shortcuts act on; the window implements it, tests fake it.
class ShortcutTarget {
public:
    virtual ~ShortcutTarget() = default;
    virtual void selectChannel(int channel) = 0;
    virtual void toggleFullScreen() = 0;
    virtual void leaveFullScreen() = 0;
    virtual void showGrid() = 0;
    virtual void toggleStatistics() = 0;
    // A camera pad button id (kCamUp ... kCamFocusFar, kCamStop), sent as the pad would send it.
    virtual void sendCameraCommand(int buttonId) = 0;
    virtual void togglePause() = 0;
    virtual void stepFrame() = 0;
    virtual void changeSpeed(int steps) = 0;
};

// Turns key presses and releases into target calls. A camera key sends its move once when
// pressed and the stop when released; the auto-repeat of a held key sends nothing.
class ShortcutHandler {
public:
    explicit ShortcutHandler(ShortcutTarget& target) : target_(target) {}

    // While it answers true the directional-key navigation owns the arrows and Enter.
    void setNavigationActive(std::function<bool()> active) { navigationActive_ = std::move(active); }

    // True when the key was taken (the caller then stops its delivery).
    bool keyPress(const QKeyEvent& event, ScreenMode mode);
    bool keyRelease(const QKeyEvent& event);
    // A mode change or lost focus ends a held camera key (the stop is sent).
    void releaseHeldKeys();

private:
    ShortcutTarget& target_;
    std::function<bool()> navigationActive_;
    std::set<int> heldCameraKeys_;
};

}  // namespace vistrel::app
