#pragma once
// The main window's screen modes. The values are compared throughout the window code and kept as
// plain integers, as the mode machine stores them.

namespace vistrel::app {

enum ScreenMode : int {
    ModeLive = 1,        // picture, toolbar and channel list
    ModeLogin = 2,       // login row
    ModeCamera = 3,      // picture, toolbar, channel list and the camera pad
    ModePlayback = 4,    // picture, toolbar, channel list and the playback bar
    ModeFullScreen = 5,  // picture only; every control hidden and disabled
};

}  // namespace vistrel::app
