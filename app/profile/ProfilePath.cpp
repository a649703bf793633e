// Where the profile lives: the user's configuration folder, after the XDG base directory rules.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "app/profile/Profile.h"

namespace vistrel::app {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    // A service started without HOME still has a passwd entry.
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

std::string DefaultProfilePath() {
    const std::string folder = std::string("vistrel/") + kProfileFileName;
    // Relative paths in XDG variables are to be ignored: they would depend on the working folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/" + folder;
    const std::string home = HomeFolder();
    if (!home.empty()) return home + "/.config/" + folder;
    return kProfileFileName;
}

}  // namespace vistrel::app
