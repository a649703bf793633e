#include "app/layout/ImagePictures.h"

#include <array>

#include "app/ControlIds.h"
#include "app/layout/Geometry.h"

namespace vistrel::app {

namespace {

struct ButtonPicture {
    int id;
    const char* file;     // below ":/buttons/", without ".svg"
    const char* purpose;  // tooltip and accessible name
};

constexpr std::array<ButtonPicture, 22> kButtons{{
    {id::kLiveButton, "live", "Live"},
    {id::kPlaybackButton, "playback", "Playback"},
    {id::kCameraButton, "camera-control", "Camera control"},
    {id::kFullScreenButton, "full-screen", "Full screen"},
    {id::kLoginModeButton, "back-to-login", "Back to login"},
    {id::kExitButton, "exit", "Exit"},
    {id::kPlayButton, "play", "Play"},
    {id::kStopButton, "stop", "Stop"},
    {id::kPauseButton, "pause", "Pause"},
    {id::kCamUpLeft, "up-left", "Up-left"},
    {id::kCamUp, "up", "Up"},
    {id::kCamUpRight, "up-right", "Up-right"},
    {id::kCamLeft, "left", "Left"},
    {id::kCamStop, "camera-stop", "Stop camera"},
    {id::kCamRight, "right", "Right"},
    {id::kCamDownLeft, "down-left", "Down-left"},
    {id::kCamDown, "down", "Down"},
    {id::kCamDownRight, "down-right", "Down-right"},
    {id::kCamZoomIn, "zoom-in", "Zoom in"},
    {id::kCamZoomOut, "zoom-out", "Zoom out"},
    {id::kCamFocusNear, "focus-near", "Focus near"},
    {id::kCamFocusFar, "focus-far", "Focus far"},
}};

const ButtonPicture* FindButton(int buttonId) {
    for (const ButtonPicture& b : kButtons) {
        if (b.id == buttonId) return &b;
    }
    return nullptr;
}

}  // namespace

QString PicturePath(int controlId) {
    const int twinOf = ButtonOfTwin(controlId);
    const ButtonPicture* b = FindButton(twinOf ? twinOf : controlId);
    if (!b) return {};
    return QStringLiteral(":/buttons/%1%2.svg")
        .arg(QLatin1String(b->file), twinOf ? QStringLiteral("-highlighted") : QString());
}

QString StatusIconPath(int kind) {
    switch (kind) {
        case 1: return QStringLiteral(":/status/playing.svg");
        case 3: return QStringLiteral(":/status/stopped.svg");
        case 4: return QStringLiteral(":/status/waiting.svg");
        case 5: return QStringLiteral(":/status/paused.svg");
        default: return {};
    }
}

QString ProgramIconPath() { return QStringLiteral(":/vistrel.svg"); }

QString ButtonToolTip(int controlId) {
    const int twinOf = ButtonOfTwin(controlId);
    const ButtonPicture* b = FindButton(twinOf ? twinOf : controlId);
    return b ? QString::fromLatin1(b->purpose) : QString();
}

}  // namespace vistrel::app
