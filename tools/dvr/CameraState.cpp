// Virtual camera motion.

#include "tools/dvr/CameraState.h"

#include <algorithm>
#include <cmath>

namespace vistrel::dvr {

namespace {

struct CommandName {
    CameraCommand command;
    const char* name;
};

constexpr CommandName kNames[] = {{CameraCommand::Up, "up"},
                                  {CameraCommand::Down, "down"},
                                  {CameraCommand::Left, "left"},
                                  {CameraCommand::Right, "right"},
                                  {CameraCommand::UpLeft, "upleft"},
                                  {CameraCommand::UpRight, "upright"},
                                  {CameraCommand::DownLeft, "downleft"},
                                  {CameraCommand::DownRight, "downright"},
                                  {CameraCommand::Stop, "stoppt"},
                                  {CameraCommand::ZoomIn, "zoomin"},
                                  {CameraCommand::ZoomOut, "zoomout"},
                                  {CameraCommand::FocusNear, "focusnear"},
                                  {CameraCommand::FocusFar, "focusfar"}};

}  // namespace

std::optional<CameraCommand> cameraCommandFromName(std::string_view name) {
    for (const auto& n : kNames)
        if (name == n.name) return n.command;
    return std::nullopt;
}

const char* cameraCommandName(CameraCommand command) {
    for (const auto& n : kNames)
        if (n.command == command) return n.name;
    return "?";
}

void CameraBank::advance(Camera& c, Clock::time_point now) {
    if (c.since != Clock::time_point{} && now > c.since) {
        const double seconds = std::chrono::duration<double>(now - c.since).count();
        c.panX = std::clamp(c.panX + c.velocityX * seconds, double(-kPanLimit), double(kPanLimit));
        c.tiltY = std::clamp(c.tiltY + c.velocityY * seconds, double(-kPanLimit), double(kPanLimit));
    }
    c.since = now;
}

CameraPosition CameraBank::snapshot(const Camera& c, Clock::time_point now) {
    Camera copy = c;
    advance(copy, now);
    CameraPosition p;
    p.panX = int(std::lround(copy.panX));
    p.tiltY = int(std::lround(copy.tiltY));
    p.zoomPercent = copy.zoomPercent;
    p.focus = copy.focus;
    p.commands = copy.commands;
    return p;
}

CameraPosition CameraBank::apply(int channelIndex, CameraCommand command, int speed, Clock::time_point now) {
    std::lock_guard guard(lock_);
    Camera& c = cameras_[std::size_t(std::clamp(channelIndex, 0, kChannelCount - 1))];
    advance(c, now);
    ++c.commands;
    const double v = kPanSpeeds[speed >= 0 && speed <= 2 ? speed : 1];
    auto move = [&c, v](int dx, int dy) {
        c.velocityX = dx * v;
        c.velocityY = dy * v;
    };
    switch (command) {
        case CameraCommand::Up: move(0, -1); break;
        case CameraCommand::Down: move(0, 1); break;
        case CameraCommand::Left: move(-1, 0); break;
        case CameraCommand::Right: move(1, 0); break;
        case CameraCommand::UpLeft: move(-1, -1); break;
        case CameraCommand::UpRight: move(1, -1); break;
        case CameraCommand::DownLeft: move(-1, 1); break;
        case CameraCommand::DownRight: move(1, 1); break;
        case CameraCommand::Stop: move(0, 0); break;
        case CameraCommand::ZoomIn:
            c.zoomPercent = std::min(kZoomMaxPercent, c.zoomPercent + kZoomStepPercent);
            break;
        case CameraCommand::ZoomOut:
            c.zoomPercent = std::max(kZoomMinPercent, c.zoomPercent - kZoomStepPercent);
            break;
        case CameraCommand::FocusNear: c.focus = std::max(-kFocusLimit, c.focus - 1); break;
        case CameraCommand::FocusFar: c.focus = std::min(kFocusLimit, c.focus + 1); break;
    }
    return snapshot(c, now);
}

CameraPosition CameraBank::position(int channelIndex, Clock::time_point now) const {
    std::lock_guard guard(lock_);
    return snapshot(cameras_[std::size_t(std::clamp(channelIndex, 0, kChannelCount - 1))], now);
}

}  // namespace vistrel::dvr
