// Deciding whether a host lies on this machine or on the local link.
#include "app/connection/LocalHost.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace vistrel::app {

namespace {

bool IsLocalIpv4(const unsigned char* address) {
    return address[0] == 127 || (address[0] == 169 && address[1] == 254);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

bool HostNeedsNoBringUp(std::string_view host) {
    host = Trimmed(host);
    if (host.find('\0') != std::string_view::npos) return false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }

    std::string name(host);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!name.empty() && name.back() == '.') name.pop_back();
    // Every name below "localhost" is loopback as well.
    static constexpr std::string_view kLocalhost = "localhost";
    static constexpr std::string_view kDotLocalhost = ".localhost";
    if (name == kLocalhost || (name.size() > kDotLocalhost.size() && name.ends_with(kDotLocalhost))) {
        return true;
    }

    unsigned char v4[4];
    if (inet_pton(AF_INET, name.c_str(), v4) == 1) return IsLocalIpv4(v4);

    // A zone ("fe80::1%eth0") names the interface and says nothing of the address.
    if (const std::size_t zone = name.find('%'); zone != std::string::npos) name.resize(zone);
    unsigned char v6[16];
    if (inet_pton(AF_INET6, name.c_str(), v6) != 1) return false;
    static constexpr unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(v6, v6 + 16, kLoopback)) return true;
    if (v6[0] == 0xfe && (v6[1] & 0xc0) == 0x80) return true;
    return std::equal(v6, v6 + 12, kMappedPrefix) && IsLocalIpv4(v6 + 12);
}

}  // namespace vistrel::app
