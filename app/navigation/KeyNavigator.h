#pragma once
// Working the main window with the direction keys and Enter: a highlight moves around a ring of
// the current mode's buttons and lists. No widgets here; the window acts through NavigationHost.

namespace vistrel::app {

// What the navigation asks of the window. Ids are those of app/ControlIds.h.
class NavigationHost {
public:
    virtual ~NavigationHost() = default;
    // on: hide the button and show its twin; off: the reverse.
    virtual void setHighlighted(int buttonId, bool on) = 0;
    // Keyboard focus to 1003, 1038, 1039, 1008, 1012, or 1077 (the invisible list that parks it).
    virtual void focusControl(int id) = 0;
    // Exactly what a click on the button does. May change the mode (and so call setMode).
    virtual void runCommand(int buttonId) = 0;
    // Open the date edit's calendar popup, show the paused status icon and pause the player.
    virtual void openDateCalendar() = 0;
    // Focus the time edit and select its section: 0 hour, 1 minute, 2 second.
    virtual void selectTimeSection(int field) = 0;
    // Leave full screen as a tap on the picture does, without its 3000 ms rule.
    virtual void leaveFullScreen() = 0;
};

// Used on the GUI thread only.
class KeyNavigator {
public:
    explicit KeyNavigator(NavigationHost& host);

    // The window's mode changed (a ScreenMode): its ring, position 0. Login also sets pass keys.
    void setMode(int screenMode);

    // Qt::Key_Left, Key_Right, Key_Up, Key_Down, Key_Return, Key_Enter; true when the key is
    // consumed, false when it goes on to the focused control. Other keys always go on.
    bool keyPressed(int qtKey);

    // Rings: 0 none (login row), 1 live, 2 playback, 3 camera, 4 full screen.
    int ring() const { return ring_; }
    int position() const { return position_; }
    // Up and down go on to the focused control (a list, the time edit) instead of being consumed.
    bool passKeys() const { return passKeys_; }
    bool dateCalendarOpen() const { return dateCalendarOpen_; }
    // Left and right move between the time edit's sections.
    bool timeFieldsActive() const { return timeFieldsActive_; }
    int timeField() const { return timeField_; }  // 0 hour, 1 minute, 2 second

private:
    bool enter();
    bool upDown();
    bool leftRight(bool right);
    void moveLeft();
    void moveRight();
    void moveLeftPlayback();
    void moveRightPlayback();
    void resetRing();
    void highlight();
    void parkFocus();
    void focusEntry(int position);
    void enterTimeEdit(int field);
    void leaveTimeEdit(int position);
    int ringSize() const;
    int buttonAt(int position) const;  // 0 when the entry is not an image button

    NavigationHost& host_;
    int ring_ = 0;
    int position_ = 0;
    bool passKeys_ = false;
    bool dateCalendarOpen_ = false;
    bool timeFieldsActive_ = false;
    int timeField_ = 0;
};

}  // namespace vistrel::app
