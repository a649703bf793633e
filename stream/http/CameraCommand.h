#pragma once
// The DVR's camera control request "cam_ctrl.htm": the thirteen pan, tilt, zoom and focus commands
// and the URL that carries one of them.

#include <cstdint>
#include <string>

namespace vistrel::http {

// The speeds as the camera speed list orders them; the DVR receives the index.
enum class CameraSpeed : int { Slow = 0, Normal = 1, Fast = 2 };

// The command names as the DVR spells them, in the order of the window's camera pad (its buttons
// and their ids follow it).
inline constexpr const char* kCameraCommandNames[] = {
    "upleft", "up",        "upright", "left",    "stoppt",    "right",    "downleft",
    "down",   "downright", "zoomin",  "zoomout", "focusnear", "focusfar",
};

// One of kCameraCommandNames ("up", "upleft", "stoppt", "zoomin"...).
bool IsCameraCommandName(const std::string& name);
bool CameraSpeedFromName(const std::string& name, CameraSpeed* speed);

// "&Speed=S&camctrl_X=X"; speed -1 when none is selected.
std::string CameraCommandSuffix(const std::string& name, int speed);

// "http://H:P/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=C&zzw=R" + suffix. The channel is
// counted from 1 here, unlike in the live request; zzw is a fresh random number 0..998 that
// keeps caches from answering.
std::string CameraCommandUrl(const std::string& host, std::uint16_t port, int channel, int zzw,
                             const std::string& suffix);

}  // namespace vistrel::http
