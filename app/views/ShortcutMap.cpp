#include "app/views/ShortcutMap.h"

#include <QCoreApplication>

#include "app/ControlIds.h"

namespace vistrel::app {

namespace {

using namespace id;

QString tr(const char* text) { return QCoreApplication::translate("ShortcutMap", text); }

unsigned modeBit(ScreenMode mode) {
    switch (mode) {
        case ModeLive: return kInLive;
        case ModeCamera: return kInCamera;
        case ModePlayback: return kInPlayback;
        case ModeFullScreen: return kInFullScreen;
        default: return 0;
    }
}

// No key event carries this code, so a row with it is never matched.
constexpr int kHelpOnlyKey = 0;

bool isNavigationKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down ||
           key == Qt::Key_Return || key == Qt::Key_Enter;
}

std::vector<ShortcutBinding> makeBindings() {
    std::vector<ShortcutBinding> b;
    const auto add = [&b](int key, Qt::KeyboardModifiers mods, unsigned modes, ShortcutAction action, int argument,
                          QString keys, QString description, bool inHelp = true) {
        b.push_back(
            ShortcutBinding{key, mods, modes, action, argument, std::move(keys), std::move(description), inHelp});
    };
    for (int n = 1; n <= 10; ++n)
        add(n == 10 ? Qt::Key_0 : Qt::Key_0 + n, Qt::NoModifier, kInPictureModes, ShortcutAction::Channel, n,
            n == 10 ? "0" : QString::number(n), tr("Channel %1").arg(n), false);
    b.front().showInHelp = true;
    b.front().keys = "1 ... 9, 0";
    b.front().description = tr("Channels 1 to 10");
    for (int n = 11; n <= 16; ++n)
        add(Qt::Key_0 + (n - 10), Qt::ControlModifier, kInPictureModes, ShortcutAction::Channel, n,
            "Ctrl+" + QString::number(n - 10), tr("Channel %1").arg(n), false);
    b[10].showInHelp = true;
    b[10].keys = "Ctrl+1 ... Ctrl+6";
    b[10].description = tr("Channels 11 to 16");
    add(Qt::Key_F, Qt::NoModifier, kInPictureModes, ShortcutAction::FullScreen, 0, "F",
        tr("Full screen on or off"));
    add(Qt::Key_Escape, Qt::NoModifier, kInFullScreen, ShortcutAction::LeaveFullScreen, 0, "Esc",
        tr("Leave full screen"));
    add(Qt::Key_G, Qt::NoModifier, kInLive | kInFullScreen, ShortcutAction::Grid, 0, "G",
        tr("Grid of channels; again for 2x2, 3x3, 4x4"));
    add(Qt::Key_I, Qt::NoModifier, kInPictureModes, ShortcutAction::Statistics, 0, "I",
        tr("Stream statistics on or off"));

    const struct {
        int key;
        int button;
        const char* keys;
        const char* what;
    } camera[] = {
        {Qt::Key_Up, kCamUp, "Up", "Camera up"},
        {Qt::Key_Down, kCamDown, "Down", "Camera down"},
        {Qt::Key_Left, kCamLeft, "Left", "Camera left"},
        {Qt::Key_Right, kCamRight, "Right", "Camera right"},
        {Qt::Key_Home, kCamUpLeft, "Home", "Camera up and left"},
        {Qt::Key_PageUp, kCamUpRight, "PgUp", "Camera up and right"},
        {Qt::Key_End, kCamDownLeft, "End", "Camera down and left"},
        {Qt::Key_PageDown, kCamDownRight, "PgDown", "Camera down and right"},
        {Qt::Key_Plus, kCamZoomIn, "+", "Zoom in"},
        {Qt::Key_Minus, kCamZoomOut, "-", "Zoom out"},
        {Qt::Key_BracketLeft, kCamFocusNear, "[", "Focus near"},
        {Qt::Key_BracketRight, kCamFocusFar, "]", "Focus far"},
    };
    for (const auto& c : camera)
        add(c.key, Qt::NoModifier, kInCamera, ShortcutAction::CameraMove, c.button, c.keys,
            tr(c.what) + tr(" (while held)"));
    // "=" is "+" without Shift on most layouts.
    add(Qt::Key_Equal, Qt::NoModifier, kInCamera, ShortcutAction::CameraMove, kCamZoomIn, "=", tr("Zoom in"),
        false);

    // Taken by the window's Snapshot action; listed here only so that the help shows it.
    add(kHelpOnlyKey, Qt::NoModifier, kInPictureModes, ShortcutAction::None, 0, "S",
        tr("Save a snapshot of the picture"));

    add(Qt::Key_Space, Qt::NoModifier, kInPlayback, ShortcutAction::PlayPause, 0, "Space", tr("Pause or play"));
    add(Qt::Key_Period, Qt::NoModifier, kInPlayback, ShortcutAction::StepFrame, 0, ".", tr("One frame forward"));
    add(Qt::Key_Up, Qt::ControlModifier, kInPlayback, ShortcutAction::SpeedUp, 1, "Ctrl+Up", tr("Faster"));
    add(Qt::Key_Down, Qt::ControlModifier, kInPlayback, ShortcutAction::SpeedDown, -1, "Ctrl+Down", tr("Slower"));
    return b;
}

}  // namespace

const std::vector<ShortcutBinding>& ShortcutBindings() {
    static const std::vector<ShortcutBinding> bindings = makeBindings();
    return bindings;
}

const ShortcutBinding* FindShortcut(int key, Qt::KeyboardModifiers modifiers, ScreenMode mode) {
    // Shift is part of the character for "+", "[" and friends on many layouts; the keypad flag
    // says only where the key sits.
    modifiers &= ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const unsigned bit = modeBit(mode);
    for (const ShortcutBinding& b : ShortcutBindings())
        if (b.action != ShortcutAction::None && b.key == key && b.modifiers == modifiers && (b.modes & bit) != 0)
            return &b;
    return nullptr;
}

bool ShortcutHandler::keyPress(const QKeyEvent& event, ScreenMode mode) {
    const int key = event.key();
    if (isNavigationKey(key) && event.modifiers() == Qt::NoModifier && navigationActive_ && navigationActive_())
        return false;
    const ShortcutBinding* b = FindShortcut(key, event.modifiers(), mode);
    if (b == nullptr) return false;
    if (b->action == ShortcutAction::CameraMove) {
        // A held key repeats; the camera keeps moving without being told again.
        if (event.isAutoRepeat() || heldCameraKeys_.count(key) != 0) return true;
        heldCameraKeys_.insert(key);
        target_.sendCameraCommand(b->argument);
        return true;
    }
    if (event.isAutoRepeat() && b->action != ShortcutAction::StepFrame) return true;
    switch (b->action) {
        case ShortcutAction::Channel: target_.selectChannel(b->argument); break;
        case ShortcutAction::FullScreen: target_.toggleFullScreen(); break;
        case ShortcutAction::LeaveFullScreen: target_.leaveFullScreen(); break;
        case ShortcutAction::Grid: target_.showGrid(); break;
        case ShortcutAction::Statistics: target_.toggleStatistics(); break;
        case ShortcutAction::PlayPause: target_.togglePause(); break;
        case ShortcutAction::StepFrame: target_.stepFrame(); break;
        case ShortcutAction::SpeedUp:
        case ShortcutAction::SpeedDown: target_.changeSpeed(b->argument); break;
        case ShortcutAction::CameraMove:
        case ShortcutAction::None: break;
    }
    return true;
}

bool ShortcutHandler::keyRelease(const QKeyEvent& event) {
    // Auto-repeat delivers release-press pairs while the key is still down.
    if (event.isAutoRepeat()) return heldCameraKeys_.count(event.key()) != 0;
    if (heldCameraKeys_.erase(event.key()) == 0) return false;
    // One stop for the last camera key let go; another one still held keeps its move going.
    if (heldCameraKeys_.empty()) target_.sendCameraCommand(id::kCamStop);
    return true;
}

void ShortcutHandler::releaseHeldKeys() {
    if (heldCameraKeys_.empty()) return;
    heldCameraKeys_.clear();
    target_.sendCameraCommand(id::kCamStop);
}

}  // namespace vistrel::app
