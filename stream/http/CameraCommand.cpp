#include "stream/http/CameraCommand.h"

namespace vistrel::http {

namespace {

constexpr const char* kSpeedNames[] = {"slow", "normal", "fast"};

}  // namespace

bool IsCameraCommandName(const std::string& name) {
    for (const char* n : kCameraCommandNames)
        if (name == n) return true;
    return false;
}

bool CameraSpeedFromName(const std::string& name, CameraSpeed* speed) {
    for (int i = 0; i < 3; ++i) {
        if (name == kSpeedNames[i]) {
            *speed = static_cast<CameraSpeed>(i);
            return true;
        }
    }
    return false;
}

std::string CameraCommandSuffix(const std::string& name, int speed) {
    return "&Speed=" + std::to_string(speed) + "&camctrl_" + name + "=" + name;
}

std::string CameraCommandUrl(const std::string& host, std::uint16_t port, int channel, int zzw,
                             const std::string& suffix) {
    return "http://" + host + ":" + std::to_string(port) +
           "/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=" + std::to_string(channel) +
           "&zzw=" + std::to_string(zzw) + suffix;
}

}  // namespace vistrel::http
