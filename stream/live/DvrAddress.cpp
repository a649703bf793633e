#include "stream/live/DvrAddress.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vistrel::live {

namespace {
constexpr long kMaxPort = 65535;
constexpr double kMaxSeconds = 86400.0;
}  // namespace

bool ParsePort(const char* text, std::uint16_t* port, std::string* error) {
    const std::size_t n = text ? std::strlen(text) : 0;
    bool digits = n > 0 && n <= 5;
    for (std::size_t i = 0; digits && i < n; ++i) digits = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    const long value = digits ? std::strtol(text, nullptr, 10) : 0;
    if (!digits || value < 1 || value > kMaxPort) {
        *error = std::string("port must be a number from 1 to 65535, not '") + (text ? text : "") + "'";
        return false;
    }
    *port = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseChannel(const char* text, int* channel, std::string* error) {
    const std::size_t n = text ? std::strlen(text) : 0;
    bool digits = n > 0 && n <= 2;
    for (std::size_t i = 0; digits && i < n; ++i) digits = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    const int value = digits ? std::atoi(text) : 0;
    if (!digits || value < 1 || value > kChannelCount) {
        *error = std::string("channel must be a number from 1 to 16, not '") + (text ? text : "") + "'";
        return false;
    }
    *channel = value;
    return true;
}

bool ParseSeconds(const char* text, double* seconds, std::string* error) {
    char* end = nullptr;
    errno = 0;
    const double value = text && *text ? std::strtod(text, &end) : -1.0;
    if (end == nullptr || *end != '\0' || errno != 0 || !(value >= 0.0) || value > kMaxSeconds) {
        *error = std::string("seconds must be a number from 0 to 86400, not '") + (text ? text : "") + "'";
        return false;
    }
    *seconds = value;
    return true;
}

bool CheckHost(const std::string& host, std::string* error) {
    if (host.empty()) {
        *error = "--host is required";
        return false;
    }
    if (host.size() > kMaxHostLength) {
        *error = "host name longer than 127 characters";
        return false;
    }
    for (unsigned char c : host) {
        if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_')) {
            *error = "host '" + host + "' holds a character no host name has";
            return false;
        }
    }
    return true;
}

std::string LiveUrl(const DvrAddress& address) {
    return "http://" + address.host + ":" + std::to_string(address.port) + "/pushall.htm;" +
           std::to_string(address.channel - 1) + "?scrw=1024";
}

}  // namespace vistrel::live
