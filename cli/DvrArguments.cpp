#include "cli/DvrArguments.h"

#include <cstdio>

namespace vistrel::cli {

std::string MissingValueMessage(const std::string& name, std::initializer_list<const char*> commandOptions) {
    bool known = false;
    for (const char* option : {"--host", "--port", "--user", "--password", "--channel"})
        known = known || name == option;
    for (const char* option : commandOptions) known = known || name == option;
    return known ? name + " needs a value" : "unknown argument '" + name + "'";
}

OptionResult TakeDvrOption(const std::string& name, const char* value, live::DvrAddress* address,
                           bool* channelGiven, std::string* error) {
    if (name == "--host") {
        address->host = value;
    } else if (name == "--port") {
        if (!live::ParsePort(value, &address->port, error)) return OptionResult::Bad;
    } else if (name == "--user") {
        address->user = value;
    } else if (name == "--password") {
        address->password = value;
    } else if (name == "--channel") {
        if (!live::ParseChannel(value, &address->channel, error)) return OptionResult::Bad;
        if (channelGiven != nullptr) *channelGiven = true;
    } else {
        return OptionResult::NotMine;
    }
    return OptionResult::Taken;
}

bool CheckDvrAddress(const live::DvrAddress& address, std::string* error) {
    if (!live::CheckHost(address.host, error)) return false;
    if (address.user.size() > live::kMaxCredentialLength || address.password.size() > live::kMaxCredentialLength) {
        *error = "user name and password hold at most 127 characters";
        return false;
    }
    return true;
}

bool ParseClockTime(const char* text, int* hour, int* minute, int* second) {
    char tail = 0;
    if (std::sscanf(text, "%2d:%2d:%2d%c", hour, minute, second, &tail) != 3) return false;
    return *hour >= 0 && *hour <= 23 && *minute >= 0 && *minute <= 59 && *second >= 0 && *second <= 59;
}

}  // namespace vistrel::cli
