#pragma once
// What every side of the DVR conversation agrees on: the client's window and command line, its
// stream requests, and the emulator that stands in for the DVR.

#include <cstddef>

namespace vistrel::base {

// Camera channels of one DVR. People count them 1..16; requests and records count 0..15.
inline constexpr int kChannelCount = 16;

// Longest user name or password a DVR keeps; the login fields, the command line and the stream
// requests all hold to it.
inline constexpr std::size_t kMaxCredentialLength = 127;

// Longest DVR host name or address the client takes, in the login fields and in requests.
inline constexpr std::size_t kMaxHostNameLength = 127;

// User-Agent of live and playback stream requests: the DVRs answer streams only to it.
inline constexpr const char* kStreamUserAgent = "MSIE";
// User-Agent of camera commands, and the name the client gives its internet session.
inline constexpr const char* kCommandUserAgent = "KEMBQM/MSIE";

}  // namespace vistrel::base
