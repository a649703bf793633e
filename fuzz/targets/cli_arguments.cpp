// The command-line readers of vistrel-cli's DVR commands on argument vectors the input makes up
// (NUL-separated words): option names and values, ports, channels, seconds, host checks.

#include <string>
#include <vector>

#include "cli/DvrArguments.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "stream/live/DvrAddress.h"

using namespace vistrel;
using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(cli_arguments) {
    std::vector<std::string> words;
    std::string current;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current.push_back(char(data[i]));
        }
    }
    words.push_back(current);
    live::DvrAddress address;
    bool channelGiven = false;
    std::string error;
    // As the commands read them: an option given last without its value gets the message, and
    // the reader is only asked about options that have one.
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i + 1 >= words.size()) {
            cli::MissingValueMessage(words[i], {"--seconds"});
            break;
        }
        const char* value = words[++i].c_str();
        cli::TakeDvrOption(words[i - 1], value, &address, &channelGiven, &error);
    }
    if (cli::CheckDvrAddress(address, &error)) {
        if (address.channel < 1 || address.channel > live::kChannelCount || address.port == 0)
            Finding("address accepted with a channel or port out of range");
        live::LiveUrl(address);
    }
    std::uint16_t port = 0;
    int channel = 0;
    double seconds = 0;
    for (const std::string& w : words) {
        if (live::ParsePort(w.c_str(), &port, &error) && port == 0) Finding("port 0 accepted");
        if (live::ParseChannel(w.c_str(), &channel, &error) && (channel < 1 || channel > live::kChannelCount))
            Finding("channel out of range accepted");
        if (live::ParseSeconds(w.c_str(), &seconds, &error) && !(seconds >= 0))
            Finding("negative seconds accepted");
    }
    return 0;
}
