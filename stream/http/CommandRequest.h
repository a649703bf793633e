#pragma once
// One short synchronous HTTP GET whose answer is not read: the DVR's camera commands.

#include <cstdint>
#include <string>

namespace vistrel::http {

// Time limits of a command: a camera command must not hold its caller long.
constexpr long kCommandConnectTimeoutMs = 3000;
constexpr long kCommandTotalTimeoutMs = 5000;

struct CommandResult {
    bool answered = false;    // a status line came back
    long status = 0;          // its code, 0 when not answered
    std::string contentType;  // of the answer, when it gave one
    std::string error;        // why not answered (host unreachable, time-out...)
};

// Needs the root (OpenInternetRoot). User name and password are offered only if the server asks.
CommandResult SendCommandRequest(const std::string& url, const std::string& userName = {},
                                 const std::string& password = {},
                                 long connectTimeoutMs = kCommandConnectTimeoutMs,
                                 long totalTimeoutMs = kCommandTotalTimeoutMs);

}  // namespace vistrel::http
