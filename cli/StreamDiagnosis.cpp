#include "cli/StreamDiagnosis.h"

namespace vistrel::cli {

namespace {

// A diagnosis of a failed stream waits no longer than this for the DVR's answer.
constexpr long kProbeTimeoutMs = 3000;

}  // namespace

http::CommandResult ProbeStream(const live::DvrAddress& address, const std::string& url) {
    return http::SendCommandRequest(url, address.user, address.password, kProbeTimeoutMs, kProbeTimeoutMs);
}

std::optional<std::string> RefusalReason(const http::CommandResult& probe) {
    if (!probe.answered) return "host unreachable: " + probe.error;
    if (probe.status == 401 || probe.status == 407)
        return std::to_string(probe.status) + " after retries (wrong user name or password)";
    if (probe.status != 200) return "the DVR answered " + std::to_string(probe.status);
    return std::nullopt;
}

}  // namespace vistrel::cli
