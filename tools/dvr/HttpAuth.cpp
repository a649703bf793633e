// Basic and Digest credential checks.

#include "tools/dvr/HttpAuth.h"

#include <cctype>
#include <chrono>
#include <map>

#include "tools/dvr/Md5.h"

namespace vistrel::dvr {

namespace {

constexpr std::size_t kMaxAuthParameters = 32;
constexpr std::size_t kNonceSignatureChars = 16;

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Splits "scheme rest" and returns rest when the scheme matches.
bool takeScheme(std::string_view header, std::string_view scheme, std::string_view& rest) {
    if (header.size() <= scheme.size() || header[scheme.size()] != ' ') return false;
    if (!equalsIgnoreCase(header.substr(0, scheme.size()), scheme)) return false;
    rest = header.substr(scheme.size() + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    return true;
}

// key=value and key="quoted \"value\"" pairs separated by commas. False when malformed.
bool parseAuthParameters(std::string_view s, std::map<std::string, std::string>& out) {
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        const std::size_t keyStart = i;
        while (i < s.size() && s[i] != '=' && s[i] != ',' && s[i] != ' ') ++i;
        if (i >= s.size() || s[i] != '=' || i == keyStart) return false;
        std::string key(s.substr(keyStart, i - keyStart));
        for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
        ++i;
        std::string value;
        if (i < s.size() && s[i] == '"') {
            ++i;
            bool closed = false;
            while (i < s.size()) {
                if (s[i] == '\\' && i + 1 < s.size()) {
                    value += s[i + 1];
                    i += 2;
                } else if (s[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += s[i++];
                }
            }
            if (!closed) return false;
        } else {
            while (i < s.size() && s[i] != ',' && s[i] != ' ') value += s[i++];
        }
        if (out.size() >= kMaxAuthParameters) return false;
        out[key] = value;
    }
    return true;
}

}  // namespace

bool base64Decode(std::string_view in, std::string& out) {
    out.clear();
    unsigned buffer = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (char c : in) {
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0) return false;  // data after padding
        const int v = base64Value(c);
        if (v < 0) return false;
        buffer = (buffer << 6) | unsigned(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((buffer >> bits) & 0xFF);
        }
    }
    return padding <= 2 && (in.size() % 4 == 0 || padding == 0);
}

std::string base64Encode(std::string_view in) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = unsigned(std::uint8_t(in[i])) << 16 | unsigned(std::uint8_t(in[i + 1])) << 8 |
                           unsigned(std::uint8_t(in[i + 2]));
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i + 1 == in.size()) {
        const unsigned v = unsigned(std::uint8_t(in[i])) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const unsigned v = unsigned(std::uint8_t(in[i])) << 16 | unsigned(std::uint8_t(in[i + 1])) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

HttpAuth::HttpAuth(AuthMode mode, std::string user, std::string password, std::uint64_t secret)
    : mode_(mode), user_(std::move(user)), password_(std::move(password)), secret_(std::to_string(secret)) {}

std::string HttpAuth::makeNonce() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string stamp = std::to_string(now);
    return stamp + "-" + md5Hex(stamp + ":" + secret_).substr(0, kNonceSignatureChars);
}

bool HttpAuth::nonceIsOurs(std::string_view nonce) const {
    const std::size_t dash = nonce.find('-');
    if (dash == std::string_view::npos || dash == 0) return false;
    const std::string stamp(nonce.substr(0, dash));
    return nonce.substr(dash + 1) == md5Hex(stamp + ":" + secret_).substr(0, kNonceSignatureChars);
}

bool HttpAuth::check(const HttpRequest& request) const {
    if (mode_ == AuthMode::None) return true;
    const std::string* header = request.header("Authorization");
    if (header == nullptr) return false;
    std::string_view rest;
    if (mode_ == AuthMode::Basic) return takeScheme(*header, "Basic", rest) && checkBasic(rest);
    return takeScheme(*header, "Digest", rest) && checkDigest(rest, request);
}

bool HttpAuth::checkBasic(std::string_view credentials) const {
    while (!credentials.empty() && credentials.back() == ' ') credentials.remove_suffix(1);
    std::string decoded;
    if (!base64Decode(credentials, decoded)) return false;
    return decoded == user_ + ":" + password_;
}

bool HttpAuth::checkDigest(std::string_view parameters, const HttpRequest& request) const {
    std::map<std::string, std::string> p;
    if (!parseAuthParameters(parameters, p)) return false;
    auto get = [&p](const char* key) -> const std::string& {
        static const std::string kEmpty;
        auto it = p.find(key);
        return it == p.end() ? kEmpty : it->second;
    };
    if (get("username") != user_ || get("realm") != kAuthRealm) return false;
    if (!nonceIsOurs(get("nonce"))) return false;
    if (get("uri") != request.target) return false;
    const std::string& algorithm = get("algorithm");
    if (!algorithm.empty() && !equalsIgnoreCase(algorithm, "MD5")) return false;
    const std::string ha1 = md5Hex(user_ + ":" + kAuthRealm + ":" + password_);
    const std::string ha2 = md5Hex(request.method + ":" + get("uri"));
    const std::string& qop = get("qop");
    std::string expected;
    if (qop.empty()) {
        expected = md5Hex(ha1 + ":" + get("nonce") + ":" + ha2);
    } else if (qop == "auth") {
        if (get("nc").empty() || get("cnonce").empty()) return false;
        expected = md5Hex(ha1 + ":" + get("nonce") + ":" + get("nc") + ":" + get("cnonce") + ":auth:" + ha2);
    } else {
        return false;
    }
    return equalsIgnoreCase(get("response"), expected);
}

std::string HttpAuth::challengeValue() const {
    if (mode_ == AuthMode::Basic) return std::string("Basic realm=\"") + kAuthRealm + "\"";
    return std::string("Digest realm=\"") + kAuthRealm + "\", qop=\"auth\", algorithm=MD5, nonce=\"" +
           makeNonce() + "\"";
}

std::string HttpAuth::challengeHeaders() const {
    if (mode_ == AuthMode::None) return {};
    return "WWW-Authenticate: " + challengeValue() + "\r\n";
}

std::string HttpAuth::proxyChallengeHeaders() const {
    if (mode_ == AuthMode::None) return {};
    return "Proxy-Authenticate: " + challengeValue() + "\r\n";
}

}  // namespace vistrel::dvr
