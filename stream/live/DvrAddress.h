#pragma once
// A DVR's address, account and channel as a user types them, checked and turned into the
// live request URL.

#include <cstdint>
#include <string>

#include "base/DvrProtocol.h"

namespace vistrel::live {

using base::kChannelCount;
using base::kMaxCredentialLength;
inline constexpr std::size_t kMaxHostLength = base::kMaxHostNameLength;

struct DvrAddress {
    std::string host;
    std::uint16_t port = 80;
    std::string user;
    std::string password;
    int channel = 1;  // 1..16 as the user counts them
};

// Reads a port 1..65535; false (with `error` set) otherwise.
bool ParsePort(const char* text, std::uint16_t* port, std::string* error);
// Reads a channel 1..16.
bool ParseChannel(const char* text, int* channel, std::string* error);
// Reads a whole non-negative decimal number of seconds (fractions allowed, e.g. 2.5).
bool ParseSeconds(const char* text, double* seconds, std::string* error);
// Checks the host text: non-empty, at most 127 characters, no spaces or URL punctuation.
bool CheckHost(const std::string& host, std::string* error);

// "http://H:P/pushall.htm;N?scrw=1024" with N = channel - 1.
std::string LiveUrl(const DvrAddress& address);

}  // namespace vistrel::live
