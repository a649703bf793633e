#pragma once
// Why a stream brought nothing: one short request of the same URL, read only up to its headers,
// and the reasons every stream command gives alike.

#include <optional>
#include <string>

#include "stream/http/CommandRequest.h"
#include "stream/live/DvrAddress.h"

namespace vistrel::cli {

// Asks `url` once more with the address's credentials, waiting a few seconds at most.
http::CommandResult ProbeStream(const live::DvrAddress& address, const std::string& url);

// The reason when the DVR could not be reached or refused the request; nothing for a 200 answer,
// whose content the command judges itself.
std::optional<std::string> RefusalReason(const http::CommandResult& probe);

}  // namespace vistrel::cli
