#include "stream/http/StreamUrl.h"

#include <cctype>
#include <cstdio>

namespace vistrel::http {

namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLength = sizeof(kScheme) - 1;
constexpr unsigned long kMaxPort = 65535;

bool isHostCharacter(unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; }

// Port digits end at the path or the end of the text; anything else makes the URL unusable
// rather than silently picking some other port.
bool parsePort(const std::string& text, std::uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned long value = 0;
    for (unsigned char c : text) {
        if (!std::isdigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    if (value == 0 || value > kMaxPort) return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

bool SplitStreamUrl(const std::string& fullUrl, StreamUrlParts* parts) {
    const std::string url = fullUrl.substr(0, kMaxUrlLength);
    *parts = StreamUrlParts{};
    if (url.compare(0, kSchemeLength, kScheme) != 0) {
        parts->host = url;
        return !url.empty() && url.size() <= kMaxHostLength;
    }
    const std::size_t hostEnd = url.find_first_of("/\\:", kSchemeLength);
    parts->host =
        url.substr(kSchemeLength, hostEnd == std::string::npos ? std::string::npos : hostEnd - kSchemeLength);
    if (parts->host.empty() || parts->host.size() > kMaxHostLength) return false;
    if (hostEnd == std::string::npos) return true;
    if (url[hostEnd] == ':') {
        std::size_t pathStart = url.find('/', hostEnd + 1);
        if (pathStart == std::string::npos) pathStart = url.find('\\', hostEnd + 1);
        if (!parsePort(url.substr(hostEnd + 1,
                                  pathStart == std::string::npos ? std::string::npos : pathStart - hostEnd - 1),
                       &parts->port))
            return false;
        if (pathStart != std::string::npos) parts->path = url.substr(pathStart);
        return true;
    }
    parts->path = url.substr(hostEnd);
    return true;
}

bool BuildRequestUrl(const StreamUrlParts& parts, std::string* url) {
    if (parts.host.empty()) return false;
    for (unsigned char c : parts.host)
        if (!isHostCharacter(c)) return false;
    std::string out = kScheme + parts.host + ":" + std::to_string(parts.port);
    if (parts.path.empty() || (parts.path[0] != '/')) out += '/';
    for (unsigned char c : parts.path) {
        if (c <= 0x20 || c >= 0x7F || c == '\\' || c == '#' || c == '"' || c == '<' || c == '>') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    *url = std::move(out);
    return true;
}

}  // namespace vistrel::http
