#pragma once
// Parsing of the HTTP requests the emulator receives: request line, headers and query strings.
// Everything here treats its input as hostile: bounded, no reads past the text given.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vistrel::dvr {

// Request heads longer than this are refused rather than buffered.
constexpr std::size_t kMaxRequestHead = 8192;
constexpr std::size_t kMaxHeaderCount = 64;

struct HttpRequest {
    std::string method;                                        // "GET"
    std::string target;                                        // as sent: "/pushall.htm;3?scrw=1024"
    std::string version;                                       // "HTTP/1.0"
    std::string path;                                          // target up to '?', parameters after ';' included
    std::string query;                                         // after '?', not decoded
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed

    // The value of the first header of that name (compared without regard to case), or null.
    const std::string* header(std::string_view name) const;
};

// Offset just past the blank line ending a request head ("\r\n\r\n" or "\n\n"), or npos.
std::size_t findHeadEnd(std::string_view buffer);

// Parses a complete request head. On failure returns false with a short reason.
bool parseRequestHead(std::string_view head, HttpRequest& out, std::string* error);

// Decodes %XX escapes and '+' (as a space). False on a malformed escape.
bool percentDecode(std::string_view in, std::string& out);

// name=value pairs of a query string, decoded; pairs that do not decode are left out.
std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query);

// The value of the first parameter of that name (compared without regard to case).
std::optional<std::string> queryValue(const std::vector<std::pair<std::string, std::string>>& query,
                                      std::string_view name);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Whole-text decimal or hexadecimal numbers within [0, max]; no sign, no spaces, no overflow.
std::optional<long long> parseDecimal(std::string_view text, long long max);
std::optional<unsigned long long> parseHex(std::string_view text, unsigned long long max);

}  // namespace vistrel::dvr
