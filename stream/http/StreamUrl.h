#pragma once
// Splitting a stream URL into host, port and path, the way the DVR requests are addressed.

#include <cstdint>
#include <string>

namespace vistrel::http {

constexpr std::size_t kMaxUrlLength = 511;
constexpr std::size_t kMaxHostLength = 255;
constexpr std::uint16_t kDefaultHttpPort = 80;

struct StreamUrlParts {
    std::string host;
    std::uint16_t port = kDefaultHttpPort;
    std::string path;  // keeps its leading slash, parameters after ';' and the query; may be empty
};

// False when the URL cannot name a server: empty or over-long host, a port that is not a decimal
// number from 1 to 65535.
//   "http://h:81/p.htm;3?x=1" -> h, 81, "/p.htm;3?x=1";  "http://h" -> h, 80, "";
//   "h:81" (no scheme)        -> host "h:81", 80, ""   (the whole text is the host name).
bool SplitStreamUrl(const std::string& url, StreamUrlParts* parts);

// The URL handed to the HTTP client: scheme, host, explicit port and the path with the bytes an
// HTTP request line cannot carry percent-encoded. False when the host holds characters no host
// name can have.
bool BuildRequestUrl(const StreamUrlParts& parts, std::string* url);

}  // namespace vistrel::http
