// vistrel-cli playback: not built yet.

#include <cstdio>

#include "cli/Commands.h"

namespace vistrel::cli {

int runPlayback(int, char**) {
    std::fprintf(stderr, "vistrel-cli playback: not available in this build\n");
    return 1;
}

}  // namespace vistrel::cli
