// vistrel-cli live: not built yet.

#include <cstdio>

#include "cli/Commands.h"

namespace vistrel::cli {

int runLive(int, char**) {
    std::fprintf(stderr, "vistrel-cli live: not available in this build\n");
    return 1;
}

}  // namespace vistrel::cli
