// Hosts reached without any network connection being brought up.
#pragma once

#include <string_view>

namespace vistrel::app {

// Loopback (127.0.0.0/8, ::1, "localhost" and names below it) and link-local (169.254.0.0/16,
// fe80::/10) hosts, also as IPv4-mapped IPv6 or in brackets, with or without a zone.
bool HostNeedsNoBringUp(std::string_view host);

}  // namespace vistrel::app
