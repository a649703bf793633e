#pragma once
// The connection options that live, playback and ptz share: --host, --port, --user, --password,
// --channel, read into one DvrAddress and checked the same way for every command.

#include <initializer_list>
#include <string>

#include "stream/live/DvrAddress.h"

namespace vistrel::cli {

enum class OptionResult { Taken, NotMine, Bad };

// The message for an option given last without its value: a known option needs a value, anything
// else is simply unknown. `commandOptions` lists the command's own valued options.
std::string MissingValueMessage(const std::string& name, std::initializer_list<const char*> commandOptions);

// Takes `name value` when it is a connection option. Bad: `error` says why.
OptionResult TakeDvrOption(const std::string& name, const char* value, live::DvrAddress* address,
                           bool* channelGiven, std::string* error);

// What every DVR command needs once all options are read: a usable host and credentials that fit.
bool CheckDvrAddress(const live::DvrAddress& address, std::string* error);

// Reads the --time of a recording, HH:MM:SS from 00:00:00 to 23:59:59 with nothing after it.
bool ParseClockTime(const char* text, int* hour, int* minute, int* second);

}  // namespace vistrel::cli
