#pragma once
// The virtual PTZ cameras of the 16 channels: pan and tilt move at a speed until stopped, zoom
// and focus move by a fixed step per command.

#include <array>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "tools/dvr/DvrOptions.h"
#include "tools/dvr/DvrServer.h"

namespace vistrel::dvr {

enum class CameraCommand {
    Up,
    Down,
    Left,
    Right,
    UpLeft,
    UpRight,
    DownLeft,
    DownRight,
    Stop,
    ZoomIn,
    ZoomOut,
    FocusNear,
    FocusFar
};

// "up", "stoppt", "zoomin"... as the camctrl_X parameter names them.
std::optional<CameraCommand> cameraCommandFromName(std::string_view name);
const char* cameraCommandName(CameraCommand command);

constexpr int kZoomStepPercent = 25;
constexpr int kZoomMinPercent = 100;
constexpr int kZoomMaxPercent = 400;
constexpr int kFocusLimit = 5;
constexpr int kPanLimit = 20000;
// Pan/tilt speeds in scene pixels per second for Speed 0 (slow), 1 (normal), 2 (fast).
constexpr int kPanSpeeds[3] = {20, 60, 160};

class CameraBank {
public:
    using Clock = std::chrono::steady_clock;

    // speed: 0..2; anything else moves at the normal speed. Returns the position after it.
    CameraPosition apply(int channelIndex, CameraCommand command, int speed, Clock::time_point now);
    CameraPosition position(int channelIndex, Clock::time_point now) const;

private:
    struct Camera {
        double panX = 0, tiltY = 0;           // position at `since`
        double velocityX = 0, velocityY = 0;  // pixels per second
        Clock::time_point since{};
        int zoomPercent = 100;
        int focus = 0;
        int commands = 0;
    };
    static void advance(Camera& camera, Clock::time_point now);
    static CameraPosition snapshot(const Camera& camera, Clock::time_point now);

    mutable std::mutex lock_;
    std::array<Camera, kChannelCount> cameras_{};  // guarded by lock_
};

}  // namespace vistrel::dvr
