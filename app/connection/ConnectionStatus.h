// Connection status codes and the texts the user is shown when a connection cannot be had.
#pragma once

namespace vistrel::app {

inline constexpr int kConnStatusUnknown = 0x00;
inline constexpr int kConnStatusDisconnected = 0x20;
inline constexpr int kConnStatusConnectionFailed = 0x21;
inline constexpr int kConnStatusUserAborted = 0x22;
inline constexpr int kConnStatusNoPathToDestination = 0x24;
inline constexpr int kConnStatusPathUnavailable = 0x25;
inline constexpr int kConnStatusCallInProgress = 0x26;
inline constexpr int kConnStatusWaitingConnection = 0x40;
inline constexpr int kConnStatusResourcesInUse = 0x41;
inline constexpr int kConnStatusDisconnecting = 0x80;
inline constexpr int kConnStatusAbortingConnection = 0x81;

// Any status without a text of its own gives "The connection attempt failed".
const char* ConnectionStatusText(int status);

}  // namespace vistrel::app
