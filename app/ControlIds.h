#pragma once
// The ids of the main window's controls. Commands, the layout, the enable list and the key
// navigation all name controls by these numbers, so they live in one place.

namespace vistrel::app::id {

// Login row
inline constexpr int kHostCombo = 1069;      // combo with edit: DVR host; list = remembered hosts
inline constexpr int kPortEdit = 1004;       // DVR port
inline constexpr int kUserCombo = 1070;      // combo with edit: user name; list = remembered users
inline constexpr int kPasswordEdit = 1007;   // password edit
inline constexpr int kLoginButton = 1025;    // "Login"
inline constexpr int kHostLabel = 1010;      // "IP"
inline constexpr int kPortLabel = 1030;      // "Port"
inline constexpr int kUserLabel = 1011;      // "Username"
inline constexpr int kPasswordLabel = 1024;  // "Password"

// Lists, pickers, slider, texts
inline constexpr int kChannelList = 1003;      // "1".."16"
inline constexpr int kCameraSpeedList = 1038;  // "slow", "normal", "fast"
inline constexpr int kPlaySpeedList = 1039;    // "Full", "1X", "2X", "4X", "(1/2)X", "(1/4)X", "(1/8)X"
inline constexpr int kDatePicker = 1008;
inline constexpr int kTimePicker = 1012;
inline constexpr int kPositionSlider = 1005;  // 0..3600 s
inline constexpr int kTimeText = 1032;        // "00:00:00"
inline constexpr int kStatusIcon = 1068;
inline constexpr int kBarText = 1006;      // "bar": never shown
inline constexpr int kFocusHolder = 1077;  // invisible list that parks the keyboard focus

// Toolbar image buttons and their highlighted twins
inline constexpr int kLiveButton = 1061, kLiveTwin = 1078;
inline constexpr int kPlaybackButton = 1062, kPlaybackTwin = 1067;
inline constexpr int kCameraButton = 1063, kCameraTwin = 1075;
inline constexpr int kFullScreenButton = 1064, kFullScreenTwin = 1072;
inline constexpr int kLoginModeButton = 1065, kLoginModeTwin = 1073;
inline constexpr int kExitButton = 1066, kExitTwin = 1074;

// Playback bar image buttons and twins
inline constexpr int kPlayButton = 1045, kPlayTwin = 1071;
inline constexpr int kStopButton = 1046, kStopTwin = 1076;
inline constexpr int kPauseButton = 1047, kPauseTwin = 1079;

// Camera pad image buttons (1048..1060) and twins (1080..1092), in the same order
inline constexpr int kCamUpLeft = 1048, kCamUpLeftTwin = 1080;
inline constexpr int kCamUp = 1049, kCamUpTwin = 1081;
inline constexpr int kCamUpRight = 1050, kCamUpRightTwin = 1082;
inline constexpr int kCamLeft = 1051, kCamLeftTwin = 1083;
inline constexpr int kCamStop = 1052, kCamStopTwin = 1084;
inline constexpr int kCamRight = 1053, kCamRightTwin = 1085;
inline constexpr int kCamDownLeft = 1054, kCamDownLeftTwin = 1086;
inline constexpr int kCamDown = 1055, kCamDownTwin = 1087;
inline constexpr int kCamDownRight = 1056, kCamDownRightTwin = 1088;
inline constexpr int kCamZoomIn = 1057, kCamZoomInTwin = 1089;
inline constexpr int kCamZoomOut = 1058, kCamZoomOutTwin = 1090;
inline constexpr int kCamFocusNear = 1059, kCamFocusNearTwin = 1091;
inline constexpr int kCamFocusFar = 1060, kCamFocusFarTwin = 1092;
inline constexpr int kFirstCameraButton = 1048, kLastCameraButton = 1060;
inline constexpr int kCameraTwinOffset = kCamUpLeftTwin - kCamUpLeft;  // 32

}  // namespace vistrel::app::id
