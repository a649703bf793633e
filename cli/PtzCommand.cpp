// vistrel-cli ptz: not built yet.

#include <cstdio>

#include "cli/Commands.h"

namespace vistrel::cli {

int runPtz(int, char**) {
    std::fprintf(stderr, "vistrel-cli ptz: not available in this build\n");
    return 1;
}

}  // namespace vistrel::cli
