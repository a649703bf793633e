// Request head and query parsing for the emulator.

#include "tools/dvr/HttpRequest.h"

#include <cctype>

namespace vistrel::dvr {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const std::string* HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoreCase(key, name)) return &value;
    return nullptr;
}

std::size_t findHeadEnd(std::string_view buffer) {
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] != '\n') continue;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n') return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') return i + 3;
    }
    return std::string_view::npos;
}

bool parseRequestHead(std::string_view head, HttpRequest& out, std::string* error) {
    auto fail = [error](const char* why) {
        if (error) *error = why;
        return false;
    };
    out = HttpRequest{};
    if (head.size() > kMaxRequestHead) return fail("request head too long");

    std::size_t lineEnd = head.find('\n');
    if (lineEnd == std::string_view::npos) return fail("no request line");
    std::string_view line = trim(head.substr(0, lineEnd));
    head.remove_prefix(lineEnd + 1);

    const std::size_t sp1 = line.find(' ');
    if (sp1 == std::string_view::npos || sp1 == 0) return fail("malformed request line");
    const std::size_t sp2 = line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || sp2 == sp1 + 1) return fail("malformed request line");
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    for (char c : method)
        if (!isTokenChar(c)) return fail("malformed method");
    if (target.front() != '/') return fail("target is not a path");
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return fail("control character in target");
    if (version != "HTTP/1.0" && version != "HTTP/1.1") return fail("unsupported HTTP version");

    out.method = method;
    out.target = target;
    out.version = version;
    const std::size_t q = target.find('?');
    out.path = target.substr(0, q);
    if (q != std::string_view::npos) out.query = target.substr(q + 1);

    while (!head.empty()) {
        lineEnd = head.find('\n');
        std::string_view raw = lineEnd == std::string_view::npos ? head : head.substr(0, lineEnd);
        head.remove_prefix(lineEnd == std::string_view::npos ? head.size() : lineEnd + 1);
        std::string_view h = trim(raw);
        if (h.empty()) break;
        if (raw.front() == ' ' || raw.front() == '\t') return fail("folded header line");
        const std::size_t colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0) return fail("malformed header line");
        std::string_view name = h.substr(0, colon);
        for (char c : name)
            if (!isTokenChar(c)) return fail("malformed header name");
        if (out.headers.size() >= kMaxHeaderCount) return fail("too many headers");
        std::string_view value = trim(h.substr(colon + 1));
        for (char c : value)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
                return fail("control character in header");
        out.headers.emplace_back(std::string(name), std::string(value));
    }
    return true;
}

bool percentDecode(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '+') {
            out += ' ';
        } else if (in[i] == '%') {
            if (i + 2 >= in.size()) return false;
            const int hi = hexDigit(in[i + 1]), lo = hexDigit(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += in[i];
        }
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        std::string_view item = query.substr(0, amp);
        query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        std::string name, value;
        if (!percentDecode(item.substr(0, eq), name)) continue;
        if (eq != std::string_view::npos && !percentDecode(item.substr(eq + 1), value)) continue;
        if (name.empty()) continue;
        pairs.emplace_back(std::move(name), std::move(value));
    }
    return pairs;
}

std::optional<std::string> queryValue(const std::vector<std::pair<std::string, std::string>>& query,
                                      std::string_view name) {
    for (const auto& [key, value] : query)
        if (equalsIgnoreCase(key, name)) return value;
    return std::nullopt;
}

std::optional<long long> parseDecimal(std::string_view text, long long max) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > max) return std::nullopt;
    return v;
}

std::optional<unsigned long long> parseHex(std::string_view text, unsigned long long max) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    unsigned long long v = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + unsigned(d);
    }
    if (v > max) return std::nullopt;
    return v;
}

}  // namespace vistrel::dvr
